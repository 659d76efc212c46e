// The project folder of a task handed over from the inbox: the opened task
// and the project folder must stay consistent, and a folder chosen in a
// modal panel is applied only while nothing changed during the choice.

#include "servicequeuemodel.h"

#include "foundation/decoding/strictformats.h"
#include "foundation/localization.h"

#include <QDir>

namespace {

std::optional<QUuid> uuidOf(const QString &text)
{
    return StrictFormats::parseUuid(text);
}

QUrl standardized(const QUrl &url)
{
    if (!url.isLocalFile())
        return url.adjusted(QUrl::NormalizePathSegments);
    return QUrl::fromLocalFile(QDir::cleanPath(url.toLocalFile()));
}

} // namespace

bool ServiceQueueModel::selectionUsesStorage(const ServiceQueueEditor &editor) const
{
    if (!m_selectionKey)
        return false;
    if (!sameServiceUrl(m_selectionKey->inbox, editor.inbox()))
        return false;
    return m_directory.selectedCompanyID() == uuidOf(editor.company());
}

std::optional<SorvaneStorageSelection>
ServiceQueueModel::sorvaneStorageSelection(const std::optional<ServiceReceipt> &receipt,
                                           const std::optional<QUuid> &operatorID,
                                           const ServiceQueueEditor &editor) const
{
    if (editor.busy() || !receipt || !operatorID)
        return std::nullopt;
    const auto captured = scope(editor);
    if (!captured || captured->operatorID != *operatorID)
        return std::nullopt;
    if (uuidOf(receipt->company_id) != captured->companyID)
        return std::nullopt;
    if (!m_openedTask.detail() || m_openedTask.detail()->request.id != receipt->id)
        return std::nullopt;
    if (uuidOf(m_openedTask.detail()->request.company_id) != captured->companyID)
        return std::nullopt;
    if (!m_selectionKey)
        return std::nullopt;
    const SelectionKey &key = *m_selectionKey;
    if (!(key.scope == captured->identity) || key.companyID != captured->companyID || key.operatorID != *operatorID
        || key.requestID != receipt->id || !sameServiceUrl(key.inbox, editor.inbox()))
        return std::nullopt;
    return SorvaneStorageSelection{captured->identity, captured->companyID, *operatorID, receipt->id, m_generation};
}

bool ServiceQueueModel::chooseSorvaneStorage(const QUrl &url, const SorvaneStorageSelection &selection,
                                             const std::optional<ServiceReceipt> &receipt,
                                             const std::optional<QUuid> &operatorID, ServiceQueueEditor &editor)
{
    const auto fresh = sorvaneStorageSelection(receipt, operatorID, editor);
    if (!fresh || !(*fresh == selection)) {
        editor.setStorageIssue(loc("Projektplaceringen er ændret. Åbn opgaven igen."));
        return false;
    }
    editor.chooseStorage(url);
    const auto adopted = editor.inbox();
    if (!adopted || standardized(*adopted) != standardized(url))
        return false;
    return !editor.storageIssue();
}

void ServiceQueueModel::sorvaneStorageChanged(ServiceQueueEditor &editor, const std::optional<ServiceReceipt> &receipt,
                                              const std::optional<QUuid> &operatorID)
{
    if (selectionUsesStorage(editor))
        return;
    clearSelection();
    if (!receipt || !operatorID || !canUseCompany(editor))
        return;
    if (!m_directory.operatorID() || *m_directory.operatorID() != *operatorID)
        return;
    if (uuidOf(receipt->company_id) != m_directory.selectedCompanyID())
        return;
    if (m_sorvaneOpener)
        m_sorvaneOpener(*receipt, *operatorID, editor, true);
    else
        openSorvane(*receipt, *operatorID, editor, true);
}
