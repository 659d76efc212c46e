#include "sorvaneupdateconfiguration.h"

#include "foundation/appbundle.h"

#include <QByteArray>
#include <QtGlobal>

namespace {

std::optional<QString> textValue(const QVariantMap &info, const char *key)
{
    const auto it = info.constFind(QLatin1String(key));
    if (it == info.constEnd() || it->typeId() != QMetaType::QString)
        return std::nullopt;
    return it->toString();
}

bool isTrueBoolean(const QVariantMap &info, const char *key)
{
    const auto it = info.constFind(QLatin1String(key));
    return it != info.constEnd() && it->typeId() == QMetaType::Bool && it->toBool();
}

} // namespace

const QUrl &SorvaneUpdateConfiguration::feed()
{
    static const QUrl url = [] {
        QUrl parsed(QString::fromLatin1(feedText), QUrl::StrictMode);
        if (!parsed.isValid() || parsed.scheme() != QLatin1String("https"))
            qFatal("The built-in update feed address does not parse");
        return parsed;
    }();
    return url;
}

QString SorvaneUpdateConfiguration::pathExtension(const QString &path)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    const QString name = trimmed.mid(trimmed.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    // A name that is nothing but ".app" is a hidden file, not an extension.
    if (dot <= 0)
        return {};
    return name.mid(dot + 1);
}

bool SorvaneUpdateConfiguration::isCanonicalSigningKey(const QString &text)
{
    // Only ASCII can be base64; anything else would be mangled by toLatin1().
    for (const QChar c : text)
        if (c.unicode() > 0x7f)
            return false;
    const QByteArray encoded = text.toLatin1();
    const auto decoded = QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != 32)
        return false;
    // Qt tolerates missing padding and stray bits in the last character;
    // re-encoding refuses every text that is not the one canonical form.
    return decoded.decoded.toBase64() == encoded;
}

std::optional<SorvaneUpdateConfiguration> SorvaneUpdateConfiguration::check(const QString &bundlePath,
                                                                           const QVariantMap &info, bool isFixture)
{
    if (isFixture)
        return std::nullopt;
    if (pathExtension(bundlePath) != QLatin1String("app"))
        return std::nullopt;
    if (textValue(info, "CFBundleIdentifier") != QString::fromLatin1(expectedBundleIdentifier))
        return std::nullopt;

    const auto feedValue = textValue(info, "SUFeedURL");
    if (!feedValue)
        return std::nullopt;
    const QUrl feedURL(*feedValue, QUrl::StrictMode);
    // QUrl equality forgives the case of scheme and host; the address text
    // itself must match the built-in one.
    if (!feedURL.isValid() || feedURL != feed() || *feedValue != QLatin1String(feedText))
        return std::nullopt;

    const auto key = textValue(info, "SUPublicEDKey");
    if (!key || !isCanonicalSigningKey(*key))
        return std::nullopt;

    if (!isTrueBoolean(info, "SUVerifyUpdateBeforeExtraction") || !isTrueBoolean(info, "SURequireSignedFeed"))
        return std::nullopt;
    if (textValue(info, "CFBundleVersion").value_or(QString()).isEmpty())
        return std::nullopt;

    return SorvaneUpdateConfiguration(feedURL, *key);
}

std::optional<SorvaneUpdateConfiguration> SorvaneUpdateConfiguration::forRunningBundle()
{
    return check(AppBundle::bundlePath(), AppBundle::infoDictionary(), false);
}
