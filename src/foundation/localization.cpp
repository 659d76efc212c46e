#include "localization.h"

#include "appbundle.h"
#include "logging.h"
#include "settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QMutex>

#include <algorithm>
#include <cstdio>

namespace EditorLocalization {

namespace {

QMutex g_mutex;
std::optional<QString> g_language;
std::optional<QString> g_resources;
QHash<QString, std::optional<QHash<QString, QString>>> g_tables;

QString resolveResourcesLocked()
{
    const QString name = QString::fromLatin1(resourceBundleName);
    const QString bundleResources = AppBundle::resourcesPath();
    if (!bundleResources.isEmpty())
        return bundleResources + QLatin1Char('/') + name;
    // A bare executable (development and tests): the bundle lies beside it.
    const QString exeDir = AppBundle::executableDirectory();
    const QStringList candidates{exeDir + QStringLiteral("/Resources/") + name, exeDir + QLatin1Char('/') + name};
    for (const QString &candidate : candidates)
        if (QFileInfo(candidate).isDir())
            return QDir(candidate).absolutePath();
    return exeDir + QLatin1Char('/') + name;
}

const std::optional<QHash<QString, QString>> &tableLocked(const QString &lang)
{
    auto it = g_tables.find(lang);
    if (it != g_tables.end())
        return *it;
    if (!g_resources)
        g_resources = resolveResourcesLocked();
    std::optional<QHash<QString, QString>> table;
    QFile file(*g_resources + QLatin1Char('/') + lang + QStringLiteral(".lproj/Localizable.json"));
    if (file.open(QIODevice::ReadOnly)) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
        if (error.error == QJsonParseError::NoError && doc.isObject()) {
            QHash<QString, QString> entries;
            const QJsonObject object = doc.object();
            bool sound = true;
            for (auto entry = object.begin(); entry != object.end(); ++entry) {
                if (!entry.value().isString()) {
                    sound = false;
                    break;
                }
                entries.insert(entry.key(), entry.value().toString());
            }
            if (sound)
                table = std::move(entries);
        }
        if (!table)
            qCWarning(lcFoundation) << "the string table" << file.fileName()
                                    << "could not be read; its texts show as written";
    }
    return *g_tables.insert(lang, std::move(table));
}

QString settle(const QString &lang) { return resolve(lang, {}); }

// The toolkit names a folder's type under a newer context than its older catalogues know; the
// same words are translated there under the file chooser's context.
class ToolkitTranslator final : public QTranslator
{
public:
    using QTranslator::QTranslator;
    QString translate(const char *context, const char *sourceText, const char *disambiguation,
                      int n) const override
    {
        QString text = QTranslator::translate(context, sourceText, disambiguation, n);
        if (text.isEmpty() && qstrcmp(context, "QAbstractFileIconProvider") == 0)
            text = QTranslator::translate("QFileDialog", sourceText, nullptr, n);
        return text;
    }
};

} // namespace

QString resolve(const std::optional<QString> &preference, const QStringList &preferredLanguages)
{
    if (preference && (*preference == QLatin1String("da") || *preference == QLatin1String("en")))
        return *preference;
    for (const QString &tag : preferredLanguages) {
        QStringList pieces;
        for (const QString &piece : tag.toLower().split(QLatin1Char('-')))
            for (const QString &sub : piece.split(QLatin1Char('_')))
                if (!sub.isEmpty())
                    pieces.append(sub);
        if (pieces.isEmpty())
            continue;
        if (pieces.first() == QLatin1String("da"))
            return QStringLiteral("da");
        if (pieces.first() == QLatin1String("en"))
            return QStringLiteral("en");
    }
    return QStringLiteral("en");
}

QString language()
{
    QMutexLocker lock(&g_mutex);
    if (!g_language) {
        const QVariant stored = SettingsStore::standard().value(QString::fromLatin1(preferenceKey));
        std::optional<QString> preference;
        if (stored.isValid())
            preference = stored.toString();
        g_language = resolve(preference, QLocale::system().uiLanguages());
    }
    return *g_language;
}

void overrideLanguageForTesting(const QString &lang)
{
    QMutexLocker lock(&g_mutex);
    g_language = settle(lang);
}

QString resources()
{
    QMutexLocker lock(&g_mutex);
    if (!g_resources)
        g_resources = resolveResourcesLocked();
    return *g_resources;
}

bool installToolkitTranslations()
{
    const QString lang = language();
    if (lang == QLatin1String("en"))
        return true;
    // "qt_<lang>" names the toolkit's catalogues of that language (qtbase, qtmultimedia, …).
    auto *translator = new ToolkitTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qt_") + lang, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

bool tableLoaded(const QString &lang)
{
    QMutexLocker lock(&g_mutex);
    return tableLocked(settle(lang)).has_value();
}

QString text(const QString &key, const QString &lang, const std::vector<FormatArg> &arguments)
{
    const QString settled = settle(lang);
    QString sentence;
    {
        QMutexLocker lock(&g_mutex);
        const auto &table = tableLocked(settled);
        sentence = table ? table->value(key, key) : key;
    }
    if (arguments.empty())
        return sentence;
    return format(sentence, settled, arguments);
}

QString format(const QString &sentence, const QString &lang, const std::vector<FormatArg> &arguments)
{
    QLocale locale(settle(lang) == QLatin1String("da") ? QLocale::Danish : QLocale::English,
                   settle(lang) == QLatin1String("da") ? QLocale::Denmark : QLocale::UnitedStates);
    locale.setNumberOptions(QLocale::OmitGroupSeparator);

    auto asText = [&](const FormatArg &arg) -> QString {
        if (auto s = std::get_if<QString>(&arg))
            return *s;
        if (auto i = std::get_if<qint64>(&arg))
            return QString::number(*i);
        return locale.toString(std::get<double>(arg), 'g', 15);
    };
    auto asInteger = [&](const FormatArg &arg) -> QString {
        if (auto i = std::get_if<qint64>(&arg))
            return QString::number(*i);
        if (auto d = std::get_if<double>(&arg))
            return QString::number(static_cast<qint64>(*d));
        return std::get<QString>(arg);
    };
    // printf's own rounding (of the binary value: 4.25 gives "4.2"), then the
    // language's decimal separator.
    auto asDecimal = [&](const FormatArg &arg, int precision) -> QString {
        double value = 0;
        if (auto d = std::get_if<double>(&arg))
            value = *d;
        else if (auto i = std::get_if<qint64>(&arg))
            value = static_cast<double>(*i);
        else
            return std::get<QString>(arg);
        char buffer[512];
        std::snprintf(buffer, sizeof buffer, "%.*f", std::clamp(precision, 0, 100), value);
        QString digits = QString::fromLatin1(buffer);
        digits.replace(QLatin1Char('.'), locale.decimalPoint());
        return digits;
    };

    QString out;
    out.reserve(sentence.size() + 16);
    size_t next = 0;
    const qsizetype n = sentence.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sentence.at(i);
        if (c != QLatin1Char('%') || i + 1 >= n) {
            out.append(c);
            continue;
        }
        qsizetype j = i + 1;
        if (sentence.at(j) == QLatin1Char('%')) {
            out.append(QLatin1Char('%'));
            i = j;
            continue;
        }
        // Optional position "N$".
        std::optional<size_t> position;
        qsizetype k = j;
        while (k < n && sentence.at(k).isDigit())
            ++k;
        if (k > j && k < n && sentence.at(k) == QLatin1Char('$')) {
            position = sentence.mid(j, k - j).toULong() - 1;
            j = k + 1;
        }
        // Optional precision ".N".
        int precision = 6;
        if (j < n && sentence.at(j) == QLatin1Char('.')) {
            qsizetype p = j + 1;
            while (p < n && sentence.at(p).isDigit())
                ++p;
            precision = sentence.mid(j + 1, p - j - 1).toInt();
            j = p;
        }
        // Length modifiers.
        while (j < n && (sentence.at(j) == QLatin1Char('l') || sentence.at(j) == QLatin1Char('h')
                         || sentence.at(j) == QLatin1Char('q') || sentence.at(j) == QLatin1Char('z')))
            ++j;
        if (j >= n) {
            out.append(sentence.mid(i));
            break;
        }
        const QChar conv = sentence.at(j);
        const size_t index = position.value_or(next);
        if (!position)
            ++next;
        if (index >= arguments.size()) {
            // A missing argument leaves the directive as written rather than crash.
            out.append(sentence.mid(i, j - i + 1));
            i = j;
            continue;
        }
        const FormatArg &arg = arguments[index];
        switch (conv.unicode()) {
        case '@':
        case 's':
            out.append(asText(arg));
            break;
        case 'd':
        case 'i':
        case 'u':
            out.append(asInteger(arg));
            break;
        case 'f':
        case 'F':
            out.append(asDecimal(arg, precision));
            break;
        default:
            out.append(sentence.mid(i, j - i + 1));
            break;
        }
        i = j;
    }
    return out;
}

} // namespace EditorLocalization

QString loc(const char *key)
{
    return EditorLocalization::text(QString::fromUtf8(key), EditorLocalization::language());
}

QString loc(const char *key, std::initializer_list<FormatArg> arguments)
{
    return EditorLocalization::text(QString::fromUtf8(key), EditorLocalization::language(),
                                    std::vector<FormatArg>(arguments));
}

QString loc(const QString &key, const std::vector<FormatArg> &arguments)
{
    return EditorLocalization::text(key, EditorLocalization::language(), arguments);
}
