#include "updatefeed.h"

#include <QSysInfo>
#include <QUrl>
#include <QXmlStreamReader>

namespace UpdateFeed {

std::optional<QByteArray> canonicalBase64(QStringView text, qsizetype bytes)
{
    const QByteArray encoded = text.toLatin1();
    const auto decoded = QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != bytes || decoded.decoded.toBase64() != encoded)
        return std::nullopt;
    return decoded.decoded;
}

std::optional<QByteArray> signature(const QByteArray &text)
{
    return canonicalBase64(QString::fromLatin1(text.trimmed()), 64);
}

std::optional<QList<UpdateItem>> parse(const QByteArray &xml)
{
    QXmlStreamReader reader(xml);
    QList<UpdateItem> items;
    if (!reader.readNextStartElement() || reader.name() != u"feed")
        return std::nullopt;
    while (reader.readNextStartElement()) {
        if (reader.name() != u"item")
            return std::nullopt;
        const QXmlStreamAttributes a = reader.attributes();
        UpdateItem item;
        item.version = a.value(QLatin1StringView("version")).toString();
        item.shortVersion = a.value(QLatin1StringView("shortVersion")).toString();
        item.platform = a.value(QLatin1StringView("platform")).toString();
        item.url = QUrl(a.value(QLatin1StringView("url")).toString(), QUrl::StrictMode);
        bool lengthOK = false;
        item.length = a.value(QLatin1StringView("length")).toLongLong(&lengthOK);
        const auto signature = canonicalBase64(a.value(QLatin1StringView("signature")), 64);
        if (item.version.isEmpty() || item.shortVersion.isEmpty() || item.platform.isEmpty() || !item.url.isValid()
            || item.url.scheme() != u"https" || !lengthOK || item.length <= 0
            || item.length > archiveLimit || !signature)
            return std::nullopt;
        item.signature = *signature;
        items.append(item);
        reader.skipCurrentElement();
    }
    if (reader.hasError())
        return std::nullopt;
    return items;
}

int compareVersions(const QString &a, const QString &b)
{
    const QStringList left = a.split(QLatin1Char('.'));
    const QStringList right = b.split(QLatin1Char('.'));
    for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
        const QString l = i < left.size() ? left.at(i) : QStringLiteral("0");
        const QString r = i < right.size() ? right.at(i) : QStringLiteral("0");
        bool lNumber = false, rNumber = false;
        const qulonglong ln = l.toULongLong(&lNumber), rn = r.toULongLong(&rNumber);
        const int order = lNumber && rNumber ? (ln < rn ? -1 : ln > rn ? 1 : 0) : l.compare(r);
        if (order != 0)
            return order;
    }
    return 0;
}

QString currentPlatform()
{
    QString cpu = QSysInfo::currentCpuArchitecture();
    if (cpu == u"arm64")
        cpu = QStringLiteral("aarch64");
    return QSysInfo::kernelType() + QLatin1Char('-') + cpu;
}

} // namespace UpdateFeed
