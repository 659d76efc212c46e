#include "foundation/localization.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cstdio>

namespace {

// Prints the localization report: sorted keys, every "/" escaped.
int verifyLocalizations()
{
    const QString da = EditorLocalization::text(QStringLiteral("Projektplacering"), QStringLiteral("da"));
    const QString en = EditorLocalization::text(QStringLiteral("Projektplacering"), QStringLiteral("en"));
    if (da != QLatin1String("Projektplacering") || en != QLatin1String("Project location"))
        return 1;
    QJsonObject report{{QStringLiteral("da"), da},
                       {QStringLiteral("en"), en},
                       {QStringLiteral("language"), EditorLocalization::language()},
                       {QStringLiteral("resources"), EditorLocalization::resources()}};
    QByteArray line = QJsonDocument(report).toJson(QJsonDocument::Compact);
    line.replace("/", "\\/");
    line.append('\n');
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--verify-localizations") == 0) {
            QCoreApplication core(argc, argv);
            return verifyLocalizations();
        }
    }
    QApplication app(argc, argv);
    std::fputs("The workspace window is not built yet; run with --verify-localizations.\n", stderr);
    return 0;
}
