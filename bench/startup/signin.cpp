// Signs the demo editor in once against the running sign-in stand-in, through
// the application's own session code, so the session lands in the secret
// store as it does for a person; the timed starts then restore it.
// Usage: bench_startup_signin <tools folder>
#include "foundation/bridge/toolsfolder.h"
#include "session/editorsession.h"

#include <QCoreApplication>
#include <cstdio>
#include <qcoro/qcorotask.h>

namespace {

QCoro::Task<void> signIn(EditorSession *session, bool *done)
{
    co_await session->login(QStringLiteral("editor@example.com"), QStringLiteral("Tavlon-demo-2026"));
    *done = true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString tools = QString::fromLocal8Bit(argv[1]);
    EditorSession session([tools] { return Bridge::authConfiguration(tools); });
    bool done = false;
    auto task = signIn(&session, &done);
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (session.credentialURL().isEmpty()) {
        std::fprintf(stderr, "sign-in failed: %s\n", qPrintable(session.issue().value_or(QStringLiteral("no session"))));
        return 1;
    }
    return 0;
}
