// Hand-over of an inbox task to the queue. It runs on its own, outside the
// editor's one operation: it waits for the editor and the company directory
// to be idle, pages the directory until the task's company is listed, and
// then opens the task as an ordinary operation. Every call stamps a new
// intent; an older hand-over notices at its next check and ends quietly.

#include "servicequeuemodel.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/errors.h"
#include "foundation/failuretext.h"
#include "foundation/localization.h"
#include "foundation/logging.h"

#include <QTimer>
#include <qcoro/qcorotimer.h>

namespace {

using namespace std::chrono_literals;

QCoro::Task<void> preciseSleep(std::chrono::milliseconds duration)
{
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    timer.start(duration);
    co_await timer;
}

} // namespace

void ServiceQueueModel::openSorvane(const ServiceReceipt &receipt, const QUuid &operatorID,
                                    ServiceQueueEditor &editor, bool preservingCompany)
{
    const auto held = identity(editor);
    if (!held)
        return;
    const auto company = StrictFormats::parseUuid(receipt.company_id);
    if (!company)
        return;
    SorvaneHandOver handOver{QUuid::createUuid(), *held, *company, m_generation, operatorID, receipt,
                             preservingCompany};
    m_sorvaneOpening = SorvaneOpeningRow{handOver.intent, receipt.id};
    set(m_sorvaneOpenIntent, handOver.intent, &ServiceQueueModel::sorvaneOpenIntentChanged);
    Q_EMIT sorvaneOpeningChanged();
    // Started now and left to run; its frame holds what it needs until it ends.
    sorvaneOpenTask(QPointer<ServiceQueueModel>(this), &editor, std::move(handOver));
}

ServiceQueueModel::SorvaneOpening ServiceQueueModel::sorvaneOpening(const QString &requestID) const
{
    if (!m_sorvaneOpening || m_sorvaneOpening->intent != m_sorvaneOpenIntent || m_sorvaneOpening->requestID != requestID)
        return SorvaneOpening::none;
    return m_sorvaneOpening->failed ? SorvaneOpening::failed : SorvaneOpening::running;
}

void ServiceQueueModel::endSorvaneOpening(const QUuid &intent, bool failed)
{
    if (!m_sorvaneOpening || m_sorvaneOpening->intent != intent || m_sorvaneOpening->failed)
        return;
    if (failed)
        m_sorvaneOpening->failed = true;
    else
        m_sorvaneOpening.reset();
    Q_EMIT sorvaneOpeningChanged();
}

void ServiceQueueModel::editorErrorChanged()
{
    // The failure's own error is shown before the opening is marked failed, so
    // any later change clears or replaces the notice that said why.
    if (!m_sorvaneOpening || !m_sorvaneOpening->failed)
        return;
    m_sorvaneOpening.reset();
    Q_EMIT sorvaneOpeningChanged();
}

bool ServiceQueueModel::handOverCurrent(const SorvaneHandOver &handOver, const ServiceQueueEditor &editor) const
{
    // The intent first: a window that closed renews it before letting go of the editor.
    if (m_sorvaneOpenIntent != handOver.intent)
        return false;
    const auto now = identity(editor);
    if (!now || !(*now == handOver.identity))
        return false;
    if (!handOver.preservingCompany)
        return true;
    return m_generation == handOver.generation && m_directory.selectedCompanyID() == handOver.companyID
        && StrictFormats::parseUuid(editor.company()) == handOver.companyID;
}

QCoro::Task<void> ServiceQueueModel::sorvaneOpenTask(QPointer<ServiceQueueModel> model, ServiceQueueEditor *editor,
                                                     SorvaneHandOver handOver)
{
    const auto current = [&model, editor, &handOver] { return model && model->handOverCurrent(handOver, *editor); };
    const auto sleep = [&model](std::chrono::milliseconds duration) {
        return model->m_sorvaneSleeper ? model->m_sorvaneSleeper(duration) : preciseSleep(duration);
    };
    const auto opening = std::make_shared<SorvaneOpeningEnd>(model, handOver.intent);
    try {
        // Begin on a later turn, so that a call made right after this one supersedes it before it acts.
        co_await sleep(0ms);
        while (current() && (editor->busy() || model->m_directory.loadingCompanies()))
            co_await sleep(50ms);
        if (!current())
            co_return;

        const QUuid company = handOver.companyID;
        if (!model->m_directory.companiesVerified() || model->m_directory.directoryIdentity() != handOver.identity
            || !model->m_directory.listsCompany(company)) {
            co_await model->loadCompanies(*editor, false);
            if (!current())
                co_return;
        }
        while (!model->m_directory.listsCompany(company) && model->m_directory.nextCompanyID()) {
            const qsizetype listed = model->m_directory.companies().size();
            const auto cursor = model->m_directory.nextCompanyID();
            co_await model->loadCompanies(*editor, true);
            if (!current())
                co_return;
            // A next-page request can return without loading (a load already
            // running, a directory no longer verified): asking again would
            // never end, so the final check decides instead.
            if (model->m_directory.companies().size() == listed && model->m_directory.nextCompanyID() == cursor)
                break;
        }

        if (!current())
            co_return;
        if (editor->busy() || !model->m_directory.companiesVerified() || model->m_directory.operatorID() != handOver.operatorID
            || !model->m_directory.listsCompany(company))
            throw BridgeError::failed(loc("This task is no longer available to this account. Refresh the inbox."));

        model->selectCompany(company, *editor);
        if (!model->m_isDemo)
            editor->restoreStorage(false);
        model->openedTask().setListing(ServiceListing{handOver.receipt.company_id,
                                         StrictFormats::canonicalUuid(handOver.operatorID), {handOver.receipt}});
        model->openTask(handOver.receipt, *editor, opening);
    } catch (...) {
        logFailure(lcServiceQueue, "opening the inbox's task");
        if (!current())
            co_return;
        std::optional<QString> text = failureText(std::current_exception());
        // A company page that was cut off reads as the directory's own sentence.
        if (!text)
            text = model->m_directory.companyError();
        if (text)
            editor->setError(text);
        opening->failed = text.has_value();
    }
}

ServiceQueueModel::SorvaneOpeningEnd::~SorvaneOpeningEnd()
{
    if (model)
        model->endSorvaneOpening(intent, failed);
}

QCoro::Task<void> ServiceQueueModel::handedOverOpenOperation(OperationContext op, QUrl credentials,
                                                             ServiceReceipt receipt,
                                                             std::shared_ptr<SorvaneOpeningEnd> opening)
{
    // What the editor's runner asks before it shows a failure: a reading stopped
    // meanwhile, or one of a world that moved on, ends with no sentence saying why.
    const CancellationToken token = op.token;
    const QPointer<ServiceQueueModel> model = op.model;
    ServiceQueueEditor *editor = op.editor;
    const ServiceOperationScope scope = op.scope;
    try {
        co_await openOperation(std::move(op), std::move(credentials), std::move(receipt));
    } catch (const OperationCancelled &) {
        throw; // stopped or out of time, not failed: no sentence says why
    } catch (...) {
        opening->failed = !token.isCancelled() && model && model->current(scope, *editor);
        throw;
    }
}
