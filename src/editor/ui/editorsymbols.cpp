#include "editorsymbols.h"

#include <QAbstractButton>
#include <QHash>
#include <QLabel>

namespace EditorSymbols {

QIcon icon(const QString &symbol)
{
    static const QHash<QString, QString> theme = {
        {QStringLiteral("scissors"), QStringLiteral("edit-cut")},
        {QStringLiteral("lightbulb"), QStringLiteral("dialog-information")},
        {QStringLiteral("text.book.closed"), QStringLiteral("accessories-text-editor")},
        {QStringLiteral("arrow.clockwise"), QStringLiteral("view-refresh")},
        {QStringLiteral("arrow.down.circle"), QStringLiteral("go-down")},
        {QStringLiteral("checkmark.circle.fill"), QStringLiteral("emblem-default")},
        {QStringLiteral("circle"), QStringLiteral("radio")},
        {QStringLiteral("doc.text"), QStringLiteral("text-x-generic")},
        {QStringLiteral("folder"), QStringLiteral("folder")},
        {QStringLiteral("externaldrive"), QStringLiteral("drive-harddisk")},
        {QStringLiteral("exclamationmark.triangle"), QStringLiteral("dialog-warning")},
        {QStringLiteral("film.stack"), QStringLiteral("video-x-generic")},
    };
    return QIcon::fromTheme(theme.value(symbol, symbol));
}

void apply(QAbstractButton *button, const QString &symbol)
{
    button->setProperty("symbol", symbol);
    button->setIcon(icon(symbol));
}

void apply(QLabel *label, const QString &symbol)
{
    label->setProperty("symbol", symbol);
    const QIcon image = icon(symbol);
    if (!image.isNull())
        label->setPixmap(image.pixmap(16, 16));
}

} // namespace EditorSymbols
