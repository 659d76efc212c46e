#pragma once

// A real sign-in against a running StandinFixture: the session goes through
// the HTTPS client and keeps its tokens in memory instead of the secret store.
// Link tavlon_session.

#include "../session/awaittask.h"
#include "standinfixture.h"

#include "foundation/bridge/toolsfolder.h"
#include "session/editorsession.h"
#include "session/memorysessionvault.h"

#include <memory>

namespace Standin {

// Signed in, or null with the session's issue in `failure`.
inline std::unique_ptr<EditorSession> signIn(const StandinFixture &standin, const QString &email,
                                             QString *failure = nullptr)
{
    const QString tools = standin.toolsFolder();
    auto session = std::make_unique<EditorSession>([tools] { return Bridge::authConfiguration(tools); }, nullptr,
                                                   std::make_shared<MemorySessionVault>());
    TestAwait::run(session->login(email, QString::fromLatin1(StandinFixture::demoPassword)));
    if (session->issue() || session->credentialURL().isEmpty()) {
        if (failure)
            *failure = session->issue().value_or(QStringLiteral("no session after signing in"));
        return nullptr;
    }
    return session;
}

} // namespace Standin
