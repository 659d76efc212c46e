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
        // Optional; a link the app could not open safely counts as none.
        const QUrl notes(a.value(QLatin1StringView("releaseNotes")).toString(), QUrl::StrictMode);
        if (notes.isValid() && notes.scheme() == u"https" && !notes.host().isEmpty())
            item.releaseNotes = notes;
        items.append(item);
        reader.skipCurrentElement();
    }
    if (reader.hasError())
        return std::nullopt;
    return items;
}

namespace {

// Numbers compare as numbers and come before words; words compare as text.
int compareParts(const QString &l, const QString &r)
{
    bool lNumber = false, rNumber = false;
    const qulonglong ln = l.toULongLong(&lNumber), rn = r.toULongLong(&rNumber);
    if (lNumber && rNumber)
        return ln < rn ? -1 : ln > rn ? 1 : 0;
    if (lNumber != rNumber)
        return lNumber ? -1 : 1;
    const int order = l.compare(r);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

} // namespace

int compareVersions(const QString &a, const QString &b)
{
    // "1.2.0-beta.2+build7": release "1.2.0", pre-release "beta.2"; what
    // follows "+" names a build and does not order.
    const auto split = [](const QString &version) {
        const QString plain = version.section(QLatin1Char('+'), 0, 0);
        const qsizetype dash = plain.indexOf(QLatin1Char('-'));
        return std::pair{dash < 0 ? plain : plain.left(dash), dash < 0 ? QString() : plain.mid(dash + 1)};
    };
    const auto [leftRelease, leftPre] = split(a);
    const auto [rightRelease, rightPre] = split(b);
    const QStringList left = leftRelease.split(QLatin1Char('.'));
    const QStringList right = rightRelease.split(QLatin1Char('.'));
    for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
        const QString l = i < left.size() ? left.at(i) : QStringLiteral("0");
        const QString r = i < right.size() ? right.at(i) : QStringLiteral("0");
        bool lNumber = false, rNumber = false;
        const qulonglong ln = l.toULongLong(&lNumber), rn = r.toULongLong(&rNumber);
        const int order = lNumber && rNumber ? (ln < rn ? -1 : ln > rn ? 1 : 0) : l.compare(r);
        if (order != 0)
            return order;
    }
    // The same release: a pre-release comes before it.
    if (leftPre.isEmpty() || rightPre.isEmpty())
        return leftPre.isEmpty() == rightPre.isEmpty() ? 0 : leftPre.isEmpty() ? 1 : -1;
    const QStringList lp = leftPre.split(QLatin1Char('.'));
    const QStringList rp = rightPre.split(QLatin1Char('.'));
    for (qsizetype i = 0; i < std::min(lp.size(), rp.size()); ++i)
        if (const int order = compareParts(lp.at(i), rp.at(i)))
            return order;
    return lp.size() < rp.size() ? -1 : lp.size() > rp.size() ? 1 : 0;
}

QString currentPlatform()
{
    QString cpu = QSysInfo::currentCpuArchitecture();
    if (cpu == u"arm64")
        cpu = QStringLiteral("aarch64");
    return QSysInfo::kernelType() + QLatin1Char('-') + cpu;
}

} // namespace UpdateFeed
