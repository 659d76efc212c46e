// Company directory of the service queue: paged loading with its checks,
// superseding by token, and the choice of a company.

#include "servicequeuemodel.h"
#include "foundation/failuretext.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/errors.h"
#include "foundation/localization.h"

#include <exception>

void ServiceQueueModel::clear()
{
    rememberSelection();
    set(m_generation, QUuid::createUuid(), &ServiceQueueModel::generationChanged);
    set(m_directoryGeneration, QUuid::createUuid(), &ServiceQueueModel::directoryGenerationChanged);
    set(m_sorvaneOpenIntent, QUuid::createUuid(), &ServiceQueueModel::sorvaneOpenIntentChanged);
    set(m_companies, QList<ServiceCompany>(), &ServiceQueueModel::companiesChanged);
    set(m_nextCompanyID, std::optional<QUuid>(), &ServiceQueueModel::nextCompanyIDChanged);
    set(m_operatorID, std::optional<QUuid>(), &ServiceQueueModel::operatorIDChanged);
    set(m_companiesVerified, false, &ServiceQueueModel::companiesVerifiedChanged);
    set(m_selectedCompanyID, std::optional<QUuid>(), &ServiceQueueModel::selectedCompanyIDChanged);
    set(m_companyError, std::optional<QString>(), &ServiceQueueModel::companyErrorChanged);
    set(m_companiesLoaded, false, &ServiceQueueModel::companiesLoadedChanged);
    set(m_loadingCompanies, false, &ServiceQueueModel::loadingCompaniesChanged);
    setListing(std::nullopt);
    clearSelection();
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
    }
}

QCoro::Task<void> ServiceQueueModel::loadCompanies(ServiceQueueEditor &editor, bool more, CancellationToken token)
{
    const auto loadIdentity = identity(editor);
    if (!loadIdentity || m_loadingCompanies)
        co_return;
    if (more && (!m_companiesVerified || !m_nextCompanyID || m_directoryIdentity != loadIdentity))
        co_return;

    const std::optional<QUuid> cursor = more ? m_nextCompanyID : std::nullopt;
    const std::optional<QUuid> expectedOperator = more ? m_operatorID : std::nullopt;
    const QList<ServiceCompany> appendTo = more ? m_companies : QList<ServiceCompany>();
    const std::optional<QUuid> priorOperator = m_operatorID;
    const std::optional<QUuid> priorSelection = m_selectedCompanyID;
    const QString companyText = editor.company();

    const QUuid loadToken = QUuid::createUuid();
    set(m_directoryGeneration, loadToken, &ServiceQueueModel::directoryGenerationChanged);
    set(m_loadingCompanies, true, &ServiceQueueModel::loadingCompaniesChanged);
    set(m_companiesVerified, false, &ServiceQueueModel::companiesVerifiedChanged);
    set(m_companyError, std::optional<QString>(), &ServiceQueueModel::companyErrorChanged);
    rememberSelection();
    setListing(std::nullopt);
    clearSelection();
    if (!more) {
        set(m_companies, QList<ServiceCompany>(), &ServiceQueueModel::companiesChanged);
        set(m_nextCompanyID, std::optional<QUuid>(), &ServiceQueueModel::nextCompanyIDChanged);
        set(m_operatorID, std::optional<QUuid>(), &ServiceQueueModel::operatorIDChanged);
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
            self->set(self->m_loadingCompanies, false, &ServiceQueueModel::loadingCompaniesChanged);
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
        set(m_companies, QList<ServiceCompany>(), &ServiceQueueModel::companiesChanged);
        set(m_nextCompanyID, std::optional<QUuid>(), &ServiceQueueModel::nextCompanyIDChanged);
        set(m_operatorID, std::optional<QUuid>(), &ServiceQueueModel::operatorIDChanged);
        set(m_selectedCompanyID, std::optional<QUuid>(), &ServiceQueueModel::selectedCompanyIDChanged);
        set(m_companiesVerified, false, &ServiceQueueModel::companiesVerifiedChanged);
        set(m_companyError, std::optional<QString>(text), &ServiceQueueModel::companyErrorChanged);
        finish();
        std::rethrow_exception(failure);
    }

    set(m_companies, appendTo + page->companies, &ServiceQueueModel::companiesChanged);
    set(m_operatorID, std::optional<QUuid>(page->operatorID), &ServiceQueueModel::operatorIDChanged);
    set(m_nextCompanyID, page->nextCompanyID, &ServiceQueueModel::nextCompanyIDChanged);
    set(m_directoryIdentity, loadIdentity, &ServiceQueueModel::directoryIdentityChanged);
    set(m_companiesVerified, true, &ServiceQueueModel::companiesVerifiedChanged);
    set(m_companiesLoaded, true, &ServiceQueueModel::companiesLoadedChanged);

    if (priorOperator && *priorOperator != page->operatorID) {
        set(m_selectedCompanyID, std::optional<QUuid>(), &ServiceQueueModel::selectedCompanyIDChanged);
        set(m_companyError, std::optional<QString>(loc("Login er ændret. Vælg virksomhed igen for denne konto.")),
            &ServiceQueueModel::companyErrorChanged);
        finish();
        co_return;
    }

    bool listed = false;
    if (priorSelection)
        for (const ServiceCompany &company : std::as_const(m_companies))
            listed = listed || company.id == *priorSelection;
    set(m_selectedCompanyID, listed ? priorSelection : std::nullopt, &ServiceQueueModel::selectedCompanyIDChanged);
    if (priorSelection && !listed) {
        const QString text = page->nextCompanyID
            ? loc("Den tidligere virksomhed er ikke blandt de hentede. Hent flere, eller vælg en virksomhed.")
            : loc("Den tidligere virksomhed er ikke længere på listen. Vælg en virksomhed, du har adgang til.");
        set(m_companyError, std::optional<QString>(text), &ServiceQueueModel::companyErrorChanged);
    }
    finish();
}

void ServiceQueueModel::companyChanged(ServiceQueueEditor &editor)
{
    // Untrimmed on purpose: only the exact text the queue itself wrote counts as "no change".
    if (m_selectedCompanyID) {
        const auto exact = StrictFormats::parseUuid(editor.company());
        if (exact && *exact == *m_selectedCompanyID)
            return;
    }
    const auto chosen = StrictFormats::parseUuid(editor.company().trimmed());
    if (chosen != m_selectedCompanyID)
        set(m_selectedCompanyID, std::optional<QUuid>(), &ServiceQueueModel::selectedCompanyIDChanged);
    set(m_directoryGeneration, QUuid::createUuid(), &ServiceQueueModel::directoryGenerationChanged);
    set(m_loadingCompanies, false, &ServiceQueueModel::loadingCompaniesChanged);
    setListing(std::nullopt);
    clearSelection();
}

void ServiceQueueModel::selectCompany(const std::optional<QUuid> &id, ServiceQueueEditor &editor)
{
    if (!m_companiesVerified || m_loadingCompanies || m_directoryIdentity != identity(editor))
        return;
    if (id) {
        bool listed = false;
        for (const ServiceCompany &company : std::as_const(m_companies))
            listed = listed || company.id == *id;
        if (!listed)
            return;
    }
    if (id == m_selectedCompanyID)
        return;
    setListing(std::nullopt);
    clearSelection();
    set(m_selectedCompanyID, id, &ServiceQueueModel::selectedCompanyIDChanged);
    editor.setCompany(id ? StrictFormats::canonicalUuid(*id) : QString());
    editor.forgetCloudSelection();
}
