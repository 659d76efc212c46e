#pragma once

#include "foundation/cancellation.h"
#include "sorvaneaiconnectionconfiguration.h"

#include <QObject>
#include <QUrl>
#include <QUuid>
#include <functional>
#include <optional>
#include <qcoro/qcorotask.h>

// The state of the AI connection panel: one check run at a time (a new attempt or the panel closing
// cancels the running one silently), the last accepted configuration, the error of a failed run and
// the confirmation of the last copy. The panel's widgets only read it. GUI thread only.
class SorvaneAIConnectionPanelModel final : public QObject
{
    Q_OBJECT
public:
    struct Target
    {
        QString repository; // the tools folder
        QUrl inbox; // the project folder the definition is wanted for
        std::optional<QString> requestID; // the open task, for the start message
        // Throws BridgeError when the folder is no longer the active one.
        std::function<void()> validateStorage;
    };
    using Load = std::function<QCoro::Task<SorvaneAIConnectionConfiguration>(Target, CancellationToken)>;
    // Puts a text on the clipboard; false when it was refused.
    using Copy = std::function<bool(const QString &)>;

    // `load` defaults to the tools' fetch.
    SorvaneAIConnectionPanelModel(Target target, Copy copy, Load load = {}, QObject *parent = nullptr);
    ~SorvaneAIConnectionPanelModel() override;

    const Target &target() const { return m_target; }
    const std::optional<SorvaneAIConnectionConfiguration> &configuration() const { return m_configuration; }
    bool busy() const { return m_busy; }
    const std::optional<QString> &error() const { return m_error; }
    const std::optional<QString> &copied() const { return m_copied; }
    // The connection block shows only for a ready check.
    bool showsConnection() const { return m_configuration && m_configuration->check.ready(); }

    // Starts a check, cancelling a running one ("Kontrollér igen", and the panel's first showing).
    void check();
    // The panel closes: the running check ends without a trace.
    void close();
    // Copies `text` and, when the clipboard took it, confirms with `label`.
    void copy(const QString &text, const QString &label);

    static QString startMessage(const std::optional<QString> &requestID);

Q_SIGNALS:
    void changed();

private:
    QCoro::Task<void> run(QUuid attempt, CancellationToken cancel);

    Target m_target;
    Copy m_copy;
    Load m_load;
    QUuid m_attempt;
    CancellationToken m_cancel;
    std::optional<SorvaneAIConnectionConfiguration> m_configuration;
    bool m_busy = false;
    std::optional<QString> m_error;
    std::optional<QString> m_copied;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
