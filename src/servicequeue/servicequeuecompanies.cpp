// Company directory of the service queue: paged loading with its checks,
// superseding by token, and the choice of a company.

#include "servicequeuemodel.h"
#include "foundation/failuretext.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "foundation/logging.h"

#include <exception>

void ServiceQueueModel::clear()
{
    rememberSelection();
    set(m_generation, QUuid::createUuid(), &ServiceQueueModel::generationChanged);
    set(m_directoryGeneration, QUuid::createUuid(), &ServiceQueueModel::directoryGenerationChanged);
    set(m_sorvaneOpenIntent, QUuid::createUuid(), &ServiceQueueModel::sorvaneOpenIntentChanged);
    m_directory.setCompanies(QList<ServiceCompany>());
    m_directory.setNextCompanyID(std::optional<QUuid>());
    m_directory.setOperatorID(std::optional<QUuid>());
    m_directory.setCompaniesVerified(false);
    m_directory.setSelectedCompanyID(std::optional<QUuid>());
    m_directory.setCompanyError(std::optional<QString>());
    m_directory.setCompaniesLoaded(false);
    m_directory.setLoadingCompanies(false);
    m_revisionNote.reset();
    clearTasks();
}

void ServiceQueueModel::fetchCompanies(ServiceQueueEditor &editor, bool more)
{
    const auto startIdentity = identity(editor);
    const QString startCompany = editor.company();
    const QString title = more ? loc("Henter flere virksomheder…") : loc("Henter dine virksomheder…");
    QPointer<ServiceQueueModel> self(this);
    ServiceQueueEditor *editorPtr = &editor;
    editor.perform(
        title,
        [self, editorPtr, startIdentity, startCompany] {
            return self && self->identity(*editorPtr) == startIdentity && editorPtr->company() == startCompany;
        },
        [self, editorPtr, more](CancellationToken token) { return fetchOperation(self, editorPtr, more, std::move(token)); });
}

QCoro::Task<void> ServiceQueueModel::fetchOperation(QPointer<ServiceQueueModel> model, ServiceQueueEditor *editor,
                                                    bool more, CancellationToken token)
{
    if (!model)
        co_return;
    try {
        co_await model->loadCompanies(*editor, more, std::move(token));
    } catch (...) {
        // Already shown in companyError; the editor's own error stays untouched.
        logFailure(lcServiceQueue, "loading the companies");
    }
}

QCoro::Task<void> ServiceQueueModel::loadCompanies(ServiceQueueEditor &editor, bool more, CancellationToken token)
{
    const auto loadIdentity = identity(editor);
    if (!loadIdentity || m_directory.loadingCompanies())
        co_return;
    if (more && (!m_directory.companiesVerified() || !m_directory.nextCompanyID() || m_directory.directoryIdentity() != loadIdentity))
        co_return;

    const std::optional<QUuid> cursor = more ? m_directory.nextCompanyID() : std::nullopt;
    const std::optional<QUuid> expectedOperator = more ? m_directory.operatorID() : std::nullopt;
    const QList<ServiceCompany> appendTo = more ? m_directory.companies() : QList<ServiceCompany>();
    const std::optional<QUuid> priorOperator = m_directory.operatorID();
    const std::optional<QUuid> priorSelection = m_directory.selectedCompanyID();
    const QString companyText = editor.company();

    const QUuid loadToken = QUuid::createUuid();
    set(m_directoryGeneration, loadToken, &ServiceQueueModel::directoryGenerationChanged);
    m_directory.setLoadingCompanies(true);
    m_directory.setCompaniesVerified(false);
    m_directory.setCompanyError(std::optional<QString>());
    rememberSelection();
    clearTasks();
    if (!more) {
        m_directory.setCompanies(QList<ServiceCompany>());
        m_directory.setNextCompanyID(std::optional<QUuid>());
        m_directory.setOperatorID(std::optional<QUuid>());
    }

    QPointer<ServiceQueueModel> self(this);
    ServiceQueueEditor *editorPtr = &editor;
    const auto isCurrent = [self, editorPtr, loadToken, loadIdentity, companyText] {
        return self && self->m_directoryGeneration == loadToken && self->identity(*editorPtr) == loadIdentity
            && editorPtr->company() == companyText;
    };
    // A superseded load leaves the flag to whoever superseded it.
    const auto finish = [self, loadToken] {
        if (self && self->m_directoryGeneration == loadToken)
            self->m_directory.setLoadingCompanies(false);
    };

    std::exception_ptr failure;
    std::optional<ServiceCompanyPage> page;
    try {
        const BridgeCommand command =
            BridgeCommand::serviceCompanies(loadIdentity->credentials, cursor, expectedOperator);
        const QString toolsFolder = loadIdentity->repository.toLocalFile();
        const QByteArray answer = co_await m_bridge(command, toolsFolder, token);
        token.throwIfCancelled();
        if (!isCurrent()) {
            finish();
            co_return;
        }
        page = ServiceCompanyPage::decode(answer);
        page->validate(cursor);
        if (more && page->operatorID != expectedOperator)
            throw BridgeError::failed(loc("Login er ændret. Hent virksomhederne igen, før du vælger en opgave."));
    } catch (...) {
        failure = std::current_exception();
    }

    if (failure) {
        if (!isCurrent()) {
            finish();
            co_return;
        }
        QString text;
        try {
            std::rethrow_exception(failure);
        } catch (const OperationCancelled &) {
            text = loc("Hentningen blev afbrudt. Hent virksomhederne igen.");
        } catch (...) {
            text = failureText(std::current_exception()).value_or(QString());
        }
        m_directory.setCompanies(QList<ServiceCompany>());
        m_directory.setNextCompanyID(std::optional<QUuid>());
        m_directory.setOperatorID(std::optional<QUuid>());
        m_directory.setSelectedCompanyID(std::optional<QUuid>());
        m_directory.setCompaniesVerified(false);
        m_directory.setCompanyError(std::optional<QString>(text));
        finish();
        std::rethrow_exception(failure);
    }

    m_directory.setCompanies(appendTo + page->companies);
    m_directory.setOperatorID(std::optional<QUuid>(page->operatorID));
    m_directory.setNextCompanyID(page->nextCompanyID);
    m_directory.setDirectoryIdentity(loadIdentity);
    m_directory.setCompaniesVerified(true);
    m_directory.setCompaniesLoaded(true);

    if (priorOperator && *priorOperator != page->operatorID) {
        m_directory.setSelectedCompanyID(std::optional<QUuid>());
        m_directory.setCompanyError(
            std::optional<QString>(loc("Login er ændret. Vælg virksomhed igen for denne konto.")));
        finish();
        co_return;
    }

    bool listed = false;
    if (priorSelection)
        for (const ServiceCompany &company : std::as_const(m_directory.companies()))
            listed = listed || company.id == *priorSelection;
    m_directory.setSelectedCompanyID(listed ? priorSelection : std::nullopt);
    if (priorSelection && !listed) {
        const QString text = page->nextCompanyID
            ? loc("Den tidligere virksomhed er ikke blandt de hentede. Hent flere, eller vælg en virksomhed.")
            : loc("Den tidligere virksomhed er ikke længere på listen. Vælg en virksomhed, du har adgang til.");
        m_directory.setCompanyError(std::optional<QString>(text));
    }
    finish();
}

void ServiceQueueModel::companyChanged(ServiceQueueEditor &editor)
{
    // Untrimmed on purpose: only the exact text the queue itself wrote counts as "no change".
    if (m_directory.selectedCompanyID()) {
        const auto exact = StrictFormats::parseUuid(editor.company());
        if (exact && *exact == *m_directory.selectedCompanyID())
            return;
    }
    const auto chosen = StrictFormats::parseUuid(editor.company().trimmed());
    if (chosen != m_directory.selectedCompanyID())
        m_directory.setSelectedCompanyID(std::optional<QUuid>());
    set(m_directoryGeneration, QUuid::createUuid(), &ServiceQueueModel::directoryGenerationChanged);
    m_directory.setLoadingCompanies(false);
    clearTasks();
}

void ServiceQueueModel::selectCompany(const std::optional<QUuid> &id, ServiceQueueEditor &editor)
{
    if (!m_directory.companiesVerified() || m_directory.loadingCompanies() || m_directory.directoryIdentity() != identity(editor))
        return;
    if (id) {
        bool listed = false;
        for (const ServiceCompany &company : std::as_const(m_directory.companies()))
            listed = listed || company.id == *id;
        if (!listed)
            return;
    }
    if (id == m_directory.selectedCompanyID())
        return;
    clearTasks();
    m_directory.setSelectedCompanyID(id);
    editor.setCompany(id ? StrictFormats::canonicalUuid(*id) : QString());
    editor.forgetCloudSelection();
}
