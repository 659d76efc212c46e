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
        // The stages of a video version.
        {QStringLiteral("doc.badge.clock"), QStringLiteral("document-open-recent")},
        {QStringLiteral("checkmark.shield"), QStringLiteral("security-high")},
        {QStringLiteral("arrow.up.circle"), QStringLiteral("go-up")},
        {QStringLiteral("exclamationmark.arrow.triangle.2.circlepath"), QStringLiteral("dialog-warning")},
        {QStringLiteral("paperplane"), QStringLiteral("mail-send")},
        {QStringLiteral("bubble.left"), QStringLiteral("mail-message-new")},
        {QStringLiteral("checkmark.seal"), QStringLiteral("emblem-default")},
    };
    return QIcon::fromTheme(theme.value(symbol, symbol));
}

void apply(QAbstractButton *button, const QString &symbol)
{
    button->setProperty("symbol", symbol);
    button->setIcon(icon(symbol));
}

// Where the icon theme has no icon (no theme, or only symbolic names), a
// label still has to show its state: which backup is chosen, a warning.
QString glyph(const QString &symbol)
{
    static const QHash<QString, QString> glyphs = {
        {QStringLiteral("checkmark.circle.fill"), QStringLiteral("\u25C9")},
        {QStringLiteral("circle"), QStringLiteral("\u25CB")},
        {QStringLiteral("scissors"), QStringLiteral("\u2702")},
        {QStringLiteral("lightbulb"), QStringLiteral("\u2727")},
        {QStringLiteral("text.book.closed"), QStringLiteral("\u270E")},
        {QStringLiteral("exclamationmark.triangle"), QStringLiteral("\u26A0")},
        {QStringLiteral("checkmark.circle"), QStringLiteral("\u2713")},
        {QStringLiteral("checkmark"), QStringLiteral("\u2713")},
        {QStringLiteral("building.2"), QStringLiteral("\u25A6")},
        {QStringLiteral("person.crop.circle"), QStringLiteral("\u263A")},
        {QStringLiteral("externaldrive"), QStringLiteral("\u25A4")},
        {QStringLiteral("point.3.connected.trianglepath.dotted"), QStringLiteral("\u2234")},
        {QStringLiteral("icloud"), QStringLiteral("\u2601")},
        {QStringLiteral("shippingbox"), QStringLiteral("\u25A3")},
        {QStringLiteral("character.bubble"), QStringLiteral("A")},
        {QStringLiteral("arrow.down.circle"), QStringLiteral("\u21E9")},
        {QStringLiteral("wrench.and.screwdriver"), QStringLiteral("\u2692")},
        {QStringLiteral("film.stack"), QStringLiteral("\u25A3")},
        {QStringLiteral("gearshape"), QStringLiteral("\u2699")},
        // The stages of a video version: a label without its stage picture reads as no stage at all.
        {QStringLiteral("doc.badge.clock"), QStringLiteral("\u25F7")},
        {QStringLiteral("checkmark.shield"), QStringLiteral("\u2713")},
        {QStringLiteral("arrow.up.circle"), QStringLiteral("\u21E7")},
        {QStringLiteral("exclamationmark.arrow.triangle.2.circlepath"), QStringLiteral("\u26A0")},
        {QStringLiteral("paperplane"), QStringLiteral("\u2709")},
        {QStringLiteral("bubble.left"), QStringLiteral("\u270E")},
        {QStringLiteral("checkmark.seal"), QStringLiteral("\u2714")},
    };
    return glyphs.value(symbol);
}

void apply(QLabel *label, const QString &symbol)
{
    label->setProperty("symbol", symbol);
    const QIcon image = icon(symbol);
    const QPixmap pixmap = image.isNull() ? QPixmap() : image.pixmap(16, 16);
    if (!pixmap.isNull())
        label->setPixmap(pixmap);
    else
        label->setText(glyph(symbol));
}

} // namespace EditorSymbols
