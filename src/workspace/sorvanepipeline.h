#pragma once

#include "inbox/sorvaneinboxmodel.h"
#include "inbox/sorvaneinboxrecords.h"

#include <QList>
#include <QString>
#include <QUuid>
#include <optional>
#include <utility>

// A customer's films by production stage, as the pipeline panel shows them.
// No widgets.
namespace SorvanePipeline {

// Columns list this many films until their stage is expanded.
inline constexpr qsizetype listedFilms = 4;

enum class State { loaded, loading, unavailable };

// The column a film stands in: the service's status first (a task being made,
// in review or approved), otherwise the film's own stage word; none when
// neither places it.
std::optional<SorvanePipelineStage> column(const SorvanePipelineFilm &film);

struct Columns
{
    // One list per stage in stage order, each in the page's order.
    QList<QList<SorvanePipelineFilm>> films;
    // Films no column takes: only counted, never dropped silently.
    qsizetype unplaced = 0;

    const QList<SorvanePipelineFilm> &of(SorvanePipelineStage stage) const { return films.at(int(stage)); }
};
Columns place(const QList<SorvanePipelineFilm> &films);

// What a column lists: the first few, or all of them while expanded.
QList<SorvanePipelineFilm> listed(const QList<SorvanePipelineFilm> &column, bool expanded);
bool offersToggle(const QList<SorvanePipelineFilm> &column);

// A held page of another customer counts as none.
State state(const SorvaneInboxModel &inbox, const SorvaneInboxRow &item);
// Offered whenever the held page lets the operator manage sharing, whoever
// its customer is: the model refuses a request for another customer itself.
bool offersSharing(const SorvaneInboxModel &inbox);
// A film button is usable unless a request selection or an editor operation runs.
bool filmsEnabled(const SorvaneInboxModel &inbox, const std::optional<QString> &editorBusy);

QString stageTitle(SorvanePipelineStage stage);

} // namespace SorvanePipeline

// The edited values of the metadata-sharing sheet and its rules: which
// settings fill the fields, when saving is possible, and what is saved.
class SorvaneMetadataForm
{
public:
    // In UTF-16 code units, counted on the name as typed.
    static constexpr qsizetype contactLimit = 200;

    explicit SorvaneMetadataForm(const QUuid &companyID) : m_companyID(companyID) {}

    bool allowPipeline = false;
    QString contact;
    // The fields hold this customer's settings.
    bool loaded() const { return m_loaded; }

    // Takes the held settings into the fields when they are this customer's
    // and their company or revision differs from what was last seen: a
    // revision alone can repeat across customers. True when the fields changed.
    bool sync(const std::optional<SorvaneMetadataSettings> &held);
    bool canSave(bool metadataLoading) const;
    // What a save sends, or none when no settings of this customer are held.
    std::optional<SorvaneInboxModel::MetadataUpdate> update(const std::optional<SorvaneMetadataSettings> &held) const;

    // Whether the person's last save was stored: the sheet stays open after
    // a save, so it says so until the next edit or save.
    bool saved() const { return m_saved; }
    void saveSent();
    void settingsArrived() { m_answered = m_saving; }
    void requestEnded(bool failed);
    void edited() { m_saved = false; }

private:
    QUuid m_companyID;
    bool m_saving = false;
    bool m_answered = false; // the save's answer was taken (a stale one is dropped)
    bool m_saved = false;
    bool m_loaded = false;
    bool m_looked = false;
    std::optional<std::pair<QUuid, qint64>> m_seen;
};
