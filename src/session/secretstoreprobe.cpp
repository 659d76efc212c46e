#include "secretstoreprobe.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <qcoro/qcoroprocess.h>

namespace SecretStoreProbe {

namespace {

// The Secret Service, and KWallet, which the keychain library uses on Plasma desktops.
const QStringList &storeNames()
{
    static const QStringList names{QStringLiteral("org.freedesktop.secrets"), QStringLiteral("org.kde.kwalletd6"),
                                   QStringLiteral("org.kde.kwalletd5")};
    return names;
}

constexpr int replyTimeout = 2000;
constexpr std::chrono::milliseconds processTimeout{3000};

enum class Answer { reply, noBus, unknown };

struct BusReply
{
    Answer answer = Answer::unknown;
    QString text;
};

QCoro::Task<BusReply> askBus(std::optional<QString> busAddress, QStringList call)
{
    QStringList arguments{busAddress ? QStringLiteral("--bus=") + *busAddress : QStringLiteral("--session"),
                          QStringLiteral("--print-reply=literal"),
                          QStringLiteral("--reply-timeout=") + QString::number(replyTimeout),
                          QStringLiteral("--dest=org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus")};
    arguments += call;
    QProcess process;
    process.setProgram(QStringLiteral("dbus-send"));
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    if (!co_await qCoro(process).waitForStarted())
        co_return BusReply{};
    if (!co_await qCoro(process).waitForFinished(processTimeout)) {
        process.kill();
        process.waitForFinished(1000);
        co_return BusReply{};
    }
    const QString output = QString::fromUtf8(process.readAllStandardOutput());
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        co_return BusReply{Answer::reply, output};
    // dbus-send says so when it found no bus to talk to.
    const QString error = QString::fromUtf8(process.readAllStandardError());
    if (error.contains(QLatin1String("Failed to open connection")))
        co_return BusReply{Answer::noBus, {}};
    co_return BusReply{};
}

bool namesOne(const QString &literal, const QString &name)
{
    for (const QString &word : literal.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
        if (word == name)
            return true;
    return false;
}

} // namespace

QCoro::Task<bool> present(std::optional<QString> busAddress)
{
    // Lists built before each co_await: GCC 12 cannot keep a braced list alive across one.
    QStringList call;
    call << QStringLiteral("org.freedesktop.DBus.ListActivatableNames");
    const BusReply activatable = co_await askBus(busAddress, call);
    if (activatable.answer != Answer::reply)
        co_return activatable.answer != Answer::noBus;
    for (const QString &name : storeNames())
        if (namesOne(activatable.text, name))
            co_return true;
    for (const QString &name : storeNames()) {
        call.clear();
        call << QStringLiteral("org.freedesktop.DBus.NameHasOwner") << QStringLiteral("string:") + name;
        const BusReply owned = co_await askBus(busAddress, call);
        if (owned.answer != Answer::reply || owned.text.contains(QLatin1String("true")))
            co_return true;
    }
    co_return false;
}

} // namespace SecretStoreProbe
