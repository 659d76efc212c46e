#pragma once

// What the service queue needs of the editor-side model: its session, tools
// folder, project folder and company, and its one-operation runner. The
// window's editor model is adapted to this; tests give a fake.

#include "foundation/bridge/bridgecommand.h"
#include "foundation/cancellation.h"
#include "foundation/records/packagerecords.h"

#include <QString>
#include <QUrl>
#include <functional>
#include <optional>
#include <qcoro/qcorotask.h>

class ServiceQueueEditor
{
public:
    virtual ~ServiceQueueEditor() = default;

    virtual std::optional<QUrl> credentials() const = 0;
    virtual QUrl repository() const = 0;
    // The chosen project folder; none when no folder is chosen.
    virtual std::optional<QUrl> inbox() const = 0;
    // The chosen company as text (as a rule the lower-case UUID text; empty = none).
    virtual QString company() const = 0;
    virtual void setCompany(const QString &company) = 0;
    // Forgets the company's cloud backup listing and the chosen backup.
    virtual void forgetCloudSelection() = 0;
    // Busy label of the running editor operation; none while idle.
    virtual std::optional<QString> busy() const = 0;
    virtual std::optional<QString> storageIssue() const = 0;
    virtual void setStorageIssue(const std::optional<QString> &issue) = 0;
    // Whether the process was launched as a refused local service test.
    virtual bool unsupportedTestLaunch() const = 0;

    using Operation = std::function<QCoro::Task<void>(CancellationToken)>;
    // Runs `operation` as the one editor operation (dropped while busy); shows
    // its failure only while `isCurrent` holds.
    virtual void perform(const QString &title, std::function<bool()> isCurrent, Operation operation) = 0;
    // Throws BridgeError when the command's project folder is no longer the chosen one.
    virtual void validateStorage(const BridgeCommand &command) = 0;
    // Adopts `url` as the project folder for the current company; failures end in storageIssue.
    virtual void chooseStorage(const QUrl &url) = 0;

    // ---- what the task actions write or call on the editor ----
    // The error text and the success note shown under the editor's work.
    virtual std::optional<QString> error() const = 0;
    virtual void setError(const std::optional<QString> &text) = 0;
    virtual std::optional<QString> message() const = 0;
    virtual void setMessage(const std::optional<QString> &text) = 0;
    // The project folder's packages and the folders that failed validation.
    virtual void setInventory(const PackageInventory &inventory) = 0;
    // Opens again the folder remembered for the current company.
    virtual void restoreStorage(bool loadInventory) = 0;
};

// Runs one tool command in a tools folder and returns its standard output.
// Throws BridgeError, or OperationCancelled when cancelled or timed out.
// Same shape as the editor model's tool runner, so the window shares one.
using ServiceBridge = std::function<QCoro::Task<QByteArray>(const BridgeCommand &command, const QString &toolsFolder,
                                                           CancellationToken token)>;
