#pragma once

#include "inbox/sorvaneinboxrecords.h"
#include "servicequeue/servicerecords.h"

#include <QString>
#include <QUuid>
#include <optional>

// The sections of a ticket; the raw value is also the title's text key.
enum class SorvaneDetailTab { task, instructions, material, versions };

// What the ticket detail of one inbox task shows, worked out from the row and
// the models' current values. No widgets, no state.
namespace SorvaneTicket {

QString rawValue(SorvaneDetailTab tab);
// Exactly the four raw values, letter case included.
std::optional<SorvaneDetailTab> tabFromRaw(const QString &raw);
QList<SorvaneDetailTab> allTabs();

// The claim holder compared without letter case; no holder and no operator
// count as the same.
bool claimedByMe(const SorvaneInboxRow &row, const std::optional<QUuid> &operatorID);
bool isNext(const SorvaneInboxRow &row, const std::optional<SorvaneInboxRow> &next);
bool openedHere(const SorvaneInboxRow &row, const std::optional<ServiceDetail> &detail);
bool isClosed(const SorvaneInboxRow &row);

// The one control that moves the task forward, or the reason it cannot move.
struct Action
{
    enum class Kind { none, versions, takeNext, claim, start, blocked };
    Kind kind = Kind::none;
    QString text; // the button's title, or the blocked sentence
    bool enabled = true;
    std::optional<QString> hint;
    friend bool operator==(const Action &, const Action &) = default;
};
Action action(const SorvaneInboxRow &row, const std::optional<QUuid> &operatorID,
              const std::optional<SorvaneInboxRow> &next, const std::optional<ServiceDetail> &detail);

// What the sections show while the row's task is not open here: the opening
// under way, or one sentence on why it is not open, beside the one click
// that opens it again.
struct Unopened
{
    enum class Kind { opening, noCompany, otherCompany, failed, notOpen };
    Kind kind = Kind::opening;
    QString text;
    friend bool operator==(const Unopened &, const Unopened &) = default;
};
// `opening`: an opening of this row runs; `failed`: its last one failed and
// the notices show why; `company`: the editor's company as typed.
Unopened unopened(const SorvaneInboxRow &row, bool opening, bool failed, const QString &company);

// The one step toward reading the frozen submission.
struct SourceStep
{
    enum class Kind { openBrief, explanation, chooseFolder, download };
    Kind kind = Kind::explanation;
    QString text;
    bool enabled = true;
    friend bool operator==(const SourceStep &, const SourceStep &) = default;
};
// `folderChosen`: the editor has a project folder; `folderSelectable`: the
// queue model can offer a folder choice for this task.
SourceStep sourceStep(const SorvaneInboxRow &row, const std::optional<QUuid> &operatorID,
                      const std::optional<ServiceDownload> &download, bool folderChosen, bool folderSelectable);
// A download that failed its check counts as none.
bool hasVerifiedDownload(const std::optional<ServiceDownload> &download);

} // namespace SorvaneTicket
