#include "firstpageinbox.h"

#include "editor/editormodel.h"
#include "foundation/decoding/strictjson.h"
#include "foundation/errors.h"
#include "foundation/localization.h"
#include "inbox/sorvaneinboxrecords.h"

#include <QPointer>

FirstPageInbox::~FirstPageInbox()
{
    m_token.cancel();
}

void FirstPageInbox::clear()
{
    m_token.cancel();
    m_token = CancellationToken();
    setLoading(false);
    m_operatorID.reset();
    m_error.reset();
    m_rows.clear();
    Q_EMIT rowsChanged();
}

void FirstPageInbox::refresh(const QSharedPointer<EditorModel> &editor)
{
    m_token.cancel();
    m_token = CancellationToken();
    load(editor, m_token);
}

QCoro::Task<void> FirstPageInbox::load(QSharedPointer<EditorModel> editor, CancellationToken token)
{
    QPointer<FirstPageInbox> self(this);
    const QUrl credentials = editor->credentials();
    if (credentials.isEmpty())
        co_return;
    setLoading(true);
    std::optional<SorvaneInboxPage> page;
    std::optional<QString> failure;
    try {
        const QByteArray answer = co_await editor->toolRunner()(
            BridgeCommand::serviceInbox(credentials, std::nullopt, std::nullopt), editor->repository(), token);
        page = SorvaneInboxPage::fromJson(JsonObjectReader::parse(answer));
    } catch (const OperationCancelled &) {
    } catch (const BridgeError &error) {
        failure = error.message();
    } catch (const std::exception &) {
        failure = loc("Indbakken kunne ikke læses. Opdatér igen.");
    }
    // A cleared or newer load owns the state now.
    if (!self || token.isCancelled())
        co_return;
    setLoading(false);
    m_error = failure;
    m_rows.clear();
    if (page) {
        m_operatorID = page->operatorID;
        for (const SorvaneInboxRow &row : std::as_const(page->items))
            m_rows << row.film.title + QStringLiteral(" · ") + row.company.name;
    }
    Q_EMIT rowsChanged();
}

void FirstPageInbox::setLoading(bool loading)
{
    if (m_loading == loading)
        return;
    m_loading = loading;
    Q_EMIT activityChanged();
}
