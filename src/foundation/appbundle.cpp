#include "appbundle.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

namespace AppBundle {

QString executableDirectory()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

QString bundlePath()
{
    QDir dir(executableDirectory());
    // .../<Name>.app/Contents/MacOS
    if (dir.dirName() != QLatin1String("MacOS"))
        return {};
    if (!dir.cdUp() || dir.dirName() != QLatin1String("Contents"))
        return {};
    if (!dir.cdUp() || !dir.dirName().endsWith(QLatin1String(".app")))
        return {};
    return dir.absolutePath();
}

QString resourcesPath()
{
    const QString bundle = bundlePath();
    if (bundle.isEmpty())
        return {};
    return bundle + QStringLiteral("/Contents/Resources");
}

namespace {

std::optional<QVariant> readValue(QXmlStreamReader &xml);

std::optional<QVariantMap> readDict(QXmlStreamReader &xml)
{
    QVariantMap map;
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("key"))
            return std::nullopt;
        const QString key = xml.readElementText();
        if (xml.hasError())
            return std::nullopt;
        if (!xml.readNextStartElement())
            return std::nullopt;
        auto value = readValue(xml);
        if (!value)
            return std::nullopt;
        map.insert(key, *value);
    }
    if (xml.hasError())
        return std::nullopt;
    return map;
}

// The element's text as a number by `convert`; nothing when it is none.
template<class Convert>
std::optional<QVariant> numberElement(QXmlStreamReader &xml, Convert convert)
{
    bool ok = false;
    const auto value = convert(xml.readElementText().trimmed(), &ok);
    if (!ok)
        return std::nullopt;
    return QVariant(value);
}

std::optional<QVariant> readValue(QXmlStreamReader &xml)
{
    const auto name = xml.name();
    if (name == QLatin1String("string"))
        return QVariant(xml.readElementText());
    if (name == QLatin1String("true") || name == QLatin1String("false")) {
        const bool value = name == QLatin1String("true");
        xml.skipCurrentElement();
        return QVariant(value);
    }
    if (name == QLatin1String("integer"))
        return numberElement(xml, [](const QString &text, bool *ok) { return text.toLongLong(ok); });
    if (name == QLatin1String("real"))
        return numberElement(xml, [](const QString &text, bool *ok) { return text.toDouble(ok); });
    if (name == QLatin1String("data"))
        return QVariant(QByteArray::fromBase64(xml.readElementText().simplified().remove(QLatin1Char(' ')).toLatin1()));
    if (name == QLatin1String("date")) {
        const QDateTime dt = QDateTime::fromString(xml.readElementText(), Qt::ISODate);
        if (!dt.isValid())
            return std::nullopt;
        return QVariant(dt);
    }
    if (name == QLatin1String("array")) {
        QVariantList list;
        while (xml.readNextStartElement()) {
            auto v = readValue(xml);
            if (!v)
                return std::nullopt;
            list.append(*v);
        }
        if (xml.hasError())
            return std::nullopt;
        return QVariant(list);
    }
    if (name == QLatin1String("dict")) {
        auto d = readDict(xml);
        if (!d)
            return std::nullopt;
        return QVariant(*d);
    }
    return std::nullopt;
}

} // namespace

std::optional<QVariantMap> parseInfoPlist(const QByteArray &data)
{
    QXmlStreamReader xml(data);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("plist"))
        return std::nullopt;
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("dict"))
        return std::nullopt;
    auto dict = readDict(xml);
    if (!dict)
        return std::nullopt;
    // Nothing but the closing </plist> may follow.
    if (xml.readNextStartElement() || xml.hasError())
        return std::nullopt;
    return dict;
}

QVariantMap infoDictionary()
{
    const QString bundle = bundlePath();
    if (bundle.isEmpty())
        return {};
    QFile file(bundle + QStringLiteral("/Contents/Info.plist"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parseInfoPlist(file.readAll()).value_or(QVariantMap());
}

std::optional<QVariant> infoValue(const QString &key)
{
    const QVariantMap info = infoDictionary();
    auto it = info.constFind(key);
    if (it == info.constEnd())
        return std::nullopt;
    return *it;
}

} // namespace AppBundle
