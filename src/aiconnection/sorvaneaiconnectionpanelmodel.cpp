#include "sorvaneaiconnectionpanelmodel.h"

#include "foundation/errors.h"
#include "foundation/failuretext.h"
#include "foundation/localization.h"
#include "foundation/logging.h"

SorvaneAIConnectionPanelModel::SorvaneAIConnectionPanelModel(Target target, Copy copy, Load load, QObject *parent)
    : QObject(parent), m_target(std::move(target)), m_copy(std::move(copy)), m_load(std::move(load))
{
    if (!m_load)
        m_load = [](Target t, CancellationToken cancel) {
            return SorvaneAIConnectionConfiguration::fetch(t.inbox, t.repository, cancel);
        };
}

SorvaneAIConnectionPanelModel::~SorvaneAIConnectionPanelModel()
{
    *m_alive = false;
    m_cancel.cancel();
}

void SorvaneAIConnectionPanelModel::check()
{
    m_cancel.cancel();
    m_cancel = CancellationToken();
    m_attempt = QUuid::createUuid();
    m_busy = true;
    m_error.reset();
    m_configuration.reset();
    Q_EMIT changed();
    run(m_attempt, m_cancel);
}

void SorvaneAIConnectionPanelModel::close()
{
    m_cancel.cancel();
    m_attempt = QUuid();
    if (m_busy) {
        m_busy = false;
        Q_EMIT changed();
    }
}

QCoro::Task<void> SorvaneAIConnectionPanelModel::run(QUuid attempt, CancellationToken cancel)
{
    const std::shared_ptr<bool> alive = m_alive;
    const Target target = m_target;
    std::optional<QString> failure;
    std::optional<SorvaneAIConnectionConfiguration> result;
    bool cancelled = false;
    try {
        if (target.validateStorage)
            target.validateStorage();
        SorvaneAIConnectionConfiguration loaded = co_await m_load(target, cancel);
        if (!*alive || cancel.isCancelled() || attempt != m_attempt)
            throw OperationCancelled();
        if (target.validateStorage)
            target.validateStorage();
        if (loaded.inbox != target.inbox.toLocalFile())
            throw BridgeError::failed(loc("Projektplaceringen er ændret. Åbn opgaven igen."));
        result = loaded;
    } catch (const OperationCancelled &) {
        cancelled = true;
    } catch (const BridgeError &error) {
        logFailure(lcAIConnection, "loading the AI connection");
        // The runner's time-out is the connection test taking too long, not a silent cancellation.
        const bool timedOut = error.message()
            == loc("Det lokale værktøj svarede ikke i tide og blev stoppet. Intet blev godkendt eller leveret.");
        failure = timedOut ? loc("Forbindelsestesten tog for lang tid. Prøv igen.") : error.message();
    } catch (...) {
        logFailure(lcAIConnection, "loading the AI connection");
        // An answer that could not be read, or anything else: one translated sentence, never the
        // decoder's own words, and never a busy panel left behind.
        failure = failureText(std::current_exception());
    }
    // A run that is no longer the panel's own (a new attempt, the panel closed) leaves no trace.
    if (!*alive || attempt != m_attempt || cancel.isCancelled())
        co_return;
    if (!cancelled) {
        m_configuration = result;
        m_error = failure;
    }
    m_busy = false;
    Q_EMIT changed();
}

void SorvaneAIConnectionPanelModel::copy(const QString &text, const QString &label)
{
    if (!m_copy || !m_copy(text))
        return;
    m_copied = label;
    Q_EMIT changed();
}

QString SorvaneAIConnectionPanelModel::startMessage(const std::optional<QString> &requestID)
{
    const QString first = requestID ? loc("Brug opgaven med requestID %@.", {*requestID})
                                    : loc("Vis de hentede filmopgaver, og lad mig vælge opgaven først.");
    return first + QLatin1Char('\n')
        + loc("Brug Tavlon MCP: list_local_tasks, hele read_context og den fastholdte reviewhistorik. Genbrug eller "
              "forbered arbejdsmappe, og hent de konkrete mediestier med get_editor_files. Bevar kundens fravalg og "
              "noter. Brug mine eksisterende editorværktøjer til klipning; originaler og ældre versioner skal bevares. "
              "Gem eksporten i exports og brug request_video_review til at klargøre den med din kommentar. Jeg "
              "gennemgår og sender fra Morvinge. Bekræft først, hvilken film, briefversion og eventuelle "
              "kunderettelser du har fundet.");
}
