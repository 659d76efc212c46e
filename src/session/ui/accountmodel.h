#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class EditorSession;

// What the account panel shows and what its buttons call.
class EditorAccountModel : public QObject
{
    Q_OBJECT
public:
    EditorAccountModel(EditorSession &session, std::function<void()> beforeLogout, QObject *parent = nullptr);

    EditorSession &session() const { return m_session; }

    bool signedIn() const;
    // The signed-in address, or "Editor" when the session has none.
    QString accountName() const;
    bool busy() const;
    const std::optional<QString> &issue() const;
    bool showsRetry() const;
    // The sign-in, sign-out and retry buttons.
    bool actionsEnabled() const { return !busy(); }

    // Runs the embedder's action at once, then starts the sign-out.
    void signOut();
    void retryRestore();

Q_SIGNALS:
    void changed();

private:
    EditorSession &m_session;
    std::function<void()> m_beforeLogout;
};
