#pragma once

#include "inbox/sorvaneinboxrecords.h"

#include <QString>
#include <QUuid>
#include <optional>

// One person as the profile tool describes them. Built only from an answer
// that passed every check of SorvaneProfileWire, so a present name keeps the
// name rule and a present photo is canonical Base64 of a profile JPEG.
struct SorvanePersonProfile
{
    QUuid userID;
    std::optional<QString> displayName;
    std::optional<QString> avatarJPEGBase64;
    std::optional<QString> updatedAt; // as received

    bool operator==(const SorvanePersonProfile &other) const = default;

    // The letters shown instead of a missing photo: the first character of
    // the first and of the last word, upper-cased; "?" for a name without words.
    static QString initials(const QString &name);
};

// The customer and (once claimed) the instructor of one inbox task.
struct SorvaneRequestParticipants
{
    QUuid requestID;
    SorvanePersonProfile customer;
    std::optional<SorvanePersonProfile> instructor;

    bool operator==(const SorvaneRequestParticipants &other) const = default;

    // Whether the record belongs to the row and names the row's submitter and
    // claimer as they are now (ids compared as UUID values).
    bool matches(const SorvaneInboxRow &row) const;
};

namespace SorvaneProfileNames {
// The name rule shared by the answers, the save and the form: 1 to 100
// UTF-16 units, no Unicode control or format character. `trimmed` first
// trims white space and newlines at both ends; otherwise such white space fails.
bool isValid(const QString &name, bool trimmed);
} // namespace SorvaneProfileNames
