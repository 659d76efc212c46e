#pragma once

#include "currentservicebrief.h"
#include "servicekind.h"
#include "sourcefacts.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class JsonObjectReader;
class JsonValueReader;

// The customer's request inside a package.
struct ServiceRequest
{
    qint64 schemaVersion = 0; // any integer is accepted
    ServiceKind kind = ServiceKind::filmEditing;
    QString instructions;
    QString deliverable;

    static ServiceRequest fromJson(const JsonObjectReader &json);
    bool operator==(const ServiceRequest &) const = default;
};
size_t qHash(const ServiceRequest &request, size_t seed = 0);

// One verified local package of the project folder; identified by packageID.
struct PackageSummary
{
    struct Counts
    {
        qint64 usable = 0;
        qint64 context = 0;
        qint64 rejected = 0;

        static Counts fromJson(const JsonObjectReader &json);
        bool operator==(const Counts &) const = default;
    };

    QString packageID;
    QString projectID;
    QString title;
    QString fingerprint;
    qint64 referencedFileCount = 0;
    qint64 referencedBytes = 0;
    Counts counts;
    std::optional<ServiceRequest> serviceRequest;

    const QString &id() const { return packageID; }

    static PackageSummary fromJson(const JsonObjectReader &json);
    bool operator==(const PackageSummary &) const = default;
};
size_t qHash(const PackageSummary::Counts &counts, size_t seed = 0);
size_t qHash(const PackageSummary &summary, size_t seed = 0);

// The answer of the inventory command.
struct PackageInventory
{
    QList<PackageSummary> packages;
    QStringList invalidPackages; // as the tool words them, in its order

    static PackageInventory fromJson(const JsonObjectReader &json);
    static PackageInventory decode(const QByteArray &bytes);
};

// One source item of a package, as offered for the edit.
struct Candidate
{
    QString id;
    QString title;
    QString mediaKind; // only "image" has a meaning of its own: a still picture
    std::optional<double> startSeconds;
    std::optional<double> endSeconds;
    std::optional<double> stillDurationSeconds;
    std::optional<QString> notes;
    std::optional<QString> overlayText;
    std::optional<QString> sourceItemID;
    std::optional<SourceSpeechEvidence> speechEvidence;

    static Candidate fromJson(const JsonObjectReader &json);

    bool isImage() const { return mediaKind == QLatin1String("image"); }
    // The shown time text, formatted under the interface language.
    QString interval() const;
};

// One package opened for work; identified by summary.packageID.
struct PackageContext
{
    PackageSummary summary;
    QString masterprompt;
    QList<Candidate> candidates;
    QString notice;
    std::optional<CurrentServiceBrief> currentBrief;
    std::optional<QString> contextRevision;

    const QString &id() const { return summary.packageID; }

    static PackageContext fromJson(const JsonObjectReader &json);
    static PackageContext decode(const QByteArray &bytes);
};

// The answer of preparing an editing or a writing hand-off.
struct PreparedHandoff
{
    QString handoffID;
    QString folder;
    std::optional<QString> fcpxml;
    qint64 clipCount = 0;
    QStringList notices;
    std::optional<ServiceKind> kind;
    std::optional<qint64> sourceFileCount;
    std::optional<SorvaneTimelineFormat> timelineFormat;

    static PreparedHandoff fromJson(const JsonObjectReader &json);
    static PreparedHandoff decode(const QByteArray &bytes);
};
