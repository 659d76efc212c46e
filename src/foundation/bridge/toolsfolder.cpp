#include "toolsfolder.h"

#include "foundation/appbundle.h"
#include "foundation/errors.h"
#include "foundation/localization.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#ifndef TAVLON_SOURCE_TOOLING
#define TAVLON_SOURCE_TOOLING ""
#endif

namespace Bridge {

QString applicationTools(const QString &resourcesPath)
{
    if (!resourcesPath.isEmpty()) {
        const QString candidate = QDir(resourcesPath).filePath(QStringLiteral("tooling"));
        if (QFileInfo::exists(QDir(candidate).filePath(QLatin1String(markerFile))))
            return candidate;
    }
    return defaultRepository();
}

QString applicationTools()
{
    return applicationTools(AppBundle::resourcesPath());
}

QString defaultRepository()
{
    static const QString folder = QDir::cleanPath(QStringLiteral(TAVLON_SOURCE_TOOLING));
    return folder;
}

EditorAuthConfiguration authConfiguration()
{
    if (unsupportedTestLaunch())
        throw BridgeError::failed(loc("Lokal test kræver en DEBUG-build."));
    return authConfiguration(applicationTools());
}

EditorAuthConfiguration authConfiguration(const QString &toolsFolder)
{
    QFile file(QDir(toolsFolder).filePath(QLatin1String(configurationSource)));
    if (!file.open(QIODevice::ReadOnly))
        throw BridgeError::failed(loc("Appens cloudforbindelse kunne ikke læses, fordi filen ikke kunne åbnes: %@",
                                      {file.errorString()}));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw BridgeError::failed(loc("Appens cloudforbindelse kunne ikke læses, fordi filen ikke kunne åbnes: %@",
                                      {file.errorString()}));
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        throw BridgeError::failed(loc("Appens cloudforbindelse kunne ikke læses, fordi filen ikke er UTF-8."));
    return parseAuthConfiguration(text);
}

EditorAuthConfiguration parseAuthConfiguration(const QString &text)
{
    // \s as the configuration's own language reads it: Unicode white space.
    static const QRegularExpression addressPattern(QStringLiteral(R"re(url:\s*URL\(string:\s*"(https://[^"\s]+)")re"),
                                                   QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression keyPattern(QStringLiteral(R"re(publishableKey:\s*"(sb_publishable_[^"\s]+)")re"),
                                               QRegularExpression::UseUnicodePropertiesOption);
    const auto address = addressPattern.match(text);
    if (!address.hasMatch())
        throw BridgeError::failed(loc("Appens cloudforbindelse kunne ikke læses."));
    const auto key = keyPattern.match(text);
    if (!key.hasMatch())
        throw BridgeError::failed(loc("Appens cloudforbindelse kunne ikke læses."));

    const QUrl url(address.captured(1), QUrl::StrictMode);
    // An "@" with nothing before it still gives the address a user part (an
    // empty one), which QUrl keeps in every request but reports as no user.
    const bool valid = url.isValid() && url.scheme() == QLatin1String("https") && !url.host().isEmpty()
        && url.userName().isEmpty() && url.password().isEmpty() && !url.authority().contains(QLatin1Char('@'))
        && !url.hasQuery() && !url.hasFragment()
        && (url.path().isEmpty() || url.path() == QLatin1String("/"));
    if (!valid)
        throw BridgeError::failed(loc("Ugyldig cloudforbindelse."));
    return EditorAuthConfiguration{url, key.captured(1), url.host()};
}

bool requestsLocalTest(const QStringList &arguments, const std::optional<QVariant> &packagedConfiguration)
{
    if (packagedConfiguration)
        return true;
    for (const QString &argument : arguments) {
        if (argument.startsWith(QLatin1String("--local-service-test-config")))
            return true;
    }
    return false;
}

bool unsupportedTestLaunch()
{
    const QStringList arguments = QCoreApplication::instance() ? QCoreApplication::arguments() : QStringList{};
    return requestsLocalTest(arguments, AppBundle::infoValue(QStringLiteral("TavlonEditorLocalTestConfiguration")));
}

QString profileTemporaryDirectory()
{
    if (unsupportedTestLaunch())
        throw BridgeError::failed(loc("Lokal test kræver en DEBUG-build. Ingen cloudforbindelse er startet."));
    return QDir::tempPath();
}

} // namespace Bridge
