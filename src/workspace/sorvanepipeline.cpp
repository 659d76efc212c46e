#include "sorvanepipeline.h"

#include "foundation/localization.h"

namespace SorvanePipeline {

std::optional<SorvanePipelineStage> column(const SorvanePipelineFilm &film)
{
    const QString status = film.serviceStatus.value_or(QString());
    if (status == QLatin1String("waiting") || status == QLatin1String("active")
        || status == QLatin1String("changes_requested"))
        return SorvanePipelineStage::post;
    if (status == QLatin1String("review"))
        return SorvanePipelineStage::review;
    if (status == QLatin1String("approved"))
        return SorvanePipelineStage::delivery;
    return SorvanePipelineStages::fromFilmStage(film.stage);
}

Columns place(const QList<SorvanePipelineFilm> &films)
{
    Columns result;
    result.films.resize(SorvanePipelineStages::allCases().size());
    for (const SorvanePipelineFilm &film : films) {
        if (const auto stage = column(film))
            result.films[int(*stage)].append(film);
        else
            ++result.unplaced;
    }
    return result;
}

QList<SorvanePipelineFilm> listed(const QList<SorvanePipelineFilm> &column, bool expanded)
{
    return expanded ? column : column.first(qMin(column.size(), listedFilms));
}

bool offersToggle(const QList<SorvanePipelineFilm> &column)
{
    return column.size() > listedFilms;
}

State state(const SorvaneInboxModel &inbox, const SorvaneInboxRow &item)
{
    if (inbox.pipeline() && inbox.pipeline()->company.id == item.company.id)
        return State::loaded;
    return inbox.pipelineLoading() ? State::loading : State::unavailable;
}

bool offersSharing(const SorvaneInboxModel &inbox)
{
    return inbox.pipeline() && inbox.pipeline()->company.canManageMetadata;
}

bool filmsEnabled(const SorvaneInboxModel &inbox, const std::optional<QString> &editorBusy)
{
    return !inbox.selectingRequest() && !editorBusy;
}

QString stageTitle(SorvanePipelineStage stage)
{
    switch (stage) {
    case SorvanePipelineStage::development:
        return loc("development");
    case SorvanePipelineStage::recording:
        return loc("recording");
    case SorvanePipelineStage::post:
        return loc("post");
    case SorvanePipelineStage::review:
        return loc("review");
    case SorvanePipelineStage::delivery:
        return loc("delivery");
    }
    return {};
}

} // namespace SorvanePipeline

bool SorvaneMetadataForm::sync(const std::optional<SorvaneMetadataSettings> &held)
{
    std::optional<std::pair<QUuid, qint64>> key;
    if (held)
        key = std::pair(held->companyID, held->revision);
    if (m_looked && key == m_seen)
        return false;
    m_looked = true;
    m_seen = key;
    if (!held || held->companyID != m_companyID)
        return false;
    allowPipeline = held->allowPipeline;
    contact = held->contactName.value_or(QString());
    m_loaded = true;
    return true;
}

void SorvaneMetadataForm::saveSent()
{
    m_saving = true;
    m_answered = false;
    m_saved = false;
}

void SorvaneMetadataForm::requestEnded(bool failed)
{
    if (!m_saving)
        return; // the load, not a save
    m_saving = false;
    m_saved = m_answered && !failed;
}

bool SorvaneMetadataForm::canSave(bool metadataLoading) const
{
    return m_loaded && !metadataLoading && contact.size() <= contactLimit;
}

std::optional<SorvaneInboxModel::MetadataUpdate>
SorvaneMetadataForm::update(const std::optional<SorvaneMetadataSettings> &held) const
{
    if (!held || held->companyID != m_companyID)
        return std::nullopt;
    const QString trimmed = contact.trimmed();
    return SorvaneInboxModel::MetadataUpdate{held->revision, allowPipeline,
                                             trimmed.isEmpty() ? std::nullopt : std::optional<QString>(trimmed)};
}
