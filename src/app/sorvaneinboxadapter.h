#pragma once

#include "rootinbox.h"

#include "servicequeue/serviceeditor.h"

#include <memory>

class SettingsStore;
class SorvaneInboxModel;

// The window's inbox model as its root view sees it. Owns the model and
// deletes it before letting go of the window's editor, which the model's
// running work refers to.
class SorvaneInboxAdapter final : public RootInbox
{
    Q_OBJECT
public:
    SorvaneInboxAdapter(std::shared_ptr<ServiceQueueEditor> editor, ServiceBridge bridge, SettingsStore &defaults,
                        QObject *parent = nullptr);
    ~SorvaneInboxAdapter() override;

    SorvaneInboxModel &model() const { return *m_model; }

    void clear() override;
    void refresh() override;
    std::optional<ServiceReceipt> selectedRequest() const override;
    std::optional<QUuid> operatorID() const override;
    bool loading() const override;
    bool mutating() const override;
    bool selectingRequest() const override;
    bool pipelineLoading() const override;
    bool metadataLoading() const override;
    QStringList rowTitles() const override;
    std::optional<QString> error() const override;
    std::optional<int> selectedRow() const override;
    void selectRow(int row) override;

private:
    std::shared_ptr<ServiceQueueEditor> m_editor;
    std::unique_ptr<SorvaneInboxModel> m_model;
};
