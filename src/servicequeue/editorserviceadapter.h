#pragma once

#include "serviceeditor.h"

#include <QPointer>
#include <QSharedPointer>

class EditorModel;

// The window's editor model as the service queue sees it.
class EditorServiceAdapter final : public ServiceQueueEditor
{
public:
    explicit EditorServiceAdapter(QSharedPointer<EditorModel> editor);

    std::optional<QUrl> credentials() const override;
    QUrl repository() const override;
    std::optional<QUrl> inbox() const override;
    QString company() const override;
    void setCompany(const QString &company) override;
    void forgetCloudSelection() override;
    std::optional<QString> busy() const override;
    std::optional<QString> storageIssue() const override;
    void setStorageIssue(const std::optional<QString> &issue) override;
    bool unsupportedTestLaunch() const override;
    void perform(const QString &title, std::function<bool()> isCurrent, Operation operation) override;
    void validateStorage(const BridgeCommand &command) override;
    void chooseStorage(const QUrl &url) override;
    std::optional<QString> error() const override;
    void setError(const std::optional<QString> &text) override;
    std::optional<QString> message() const override;
    void setMessage(const std::optional<QString> &text) override;
    void setInventory(const PackageInventory &inventory) override;
    void restoreStorage(bool loadInventory) override;

    // The editor's tool runner, shared with the queue model.
    ServiceBridge bridge() const;

private:
    QSharedPointer<EditorModel> m_editor;
};
