#pragma once

#include "rootinbox.h"

#include "foundation/cancellation.h"

#include <QList>
#include <qcoro/qcorotask.h>

struct SorvaneInboxRow;

// A plain inbox for the window's status area: loads the first inbox page
// and lists its rows; no selection, paging or actions. Stands where the
// full inbox model goes.
class FirstPageInbox final : public RootInbox
{
    Q_OBJECT
public:
    using RootInbox::RootInbox;
    ~FirstPageInbox() override;

    void clear() override;
    void refresh(const QSharedPointer<EditorModel> &editor) override;

    std::optional<ServiceReceipt> selectedRequest() const override { return std::nullopt; }
    std::optional<QUuid> operatorID() const override { return m_operatorID; }
    bool loading() const override { return m_loading; }
    bool mutating() const override { return false; }
    bool selectingRequest() const override { return false; }
    bool pipelineLoading() const override { return false; }
    bool metadataLoading() const override { return false; }
    QStringList rowTitles() const override { return m_rows; }
    std::optional<QString> error() const override { return m_error; }

private:
    QCoro::Task<void> load(QSharedPointer<EditorModel> editor, CancellationToken token);
    void setLoading(bool loading);

    CancellationToken m_token;
    bool m_loading = false;
    std::optional<QUuid> m_operatorID;
    QStringList m_rows;
    std::optional<QString> m_error;
};
