#include "detailparts.h"

#include "editor/ui/editorbuttonstyle.h"
#include "editor/ui/editorsymbols.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace DetailText {

QLabel *label(QWidget *parent, const QString &text, Style style, const QString &name)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    QFont font = label->font();
    const qreal base = font.pointSizeF();
    switch (style) {
    case Style::body:
        break;
    case Style::secondary:
        label->setForegroundRole(QPalette::PlaceholderText);
        break;
    case Style::caption:
        font.setPointSizeF(base * 0.88);
        break;
    case Style::captionSecondary:
        font.setPointSizeF(base * 0.88);
        label->setForegroundRole(QPalette::PlaceholderText);
        break;
    case Style::callout:
        font.setPointSizeF(base * 0.95);
        break;
    case Style::calloutSecondary:
        font.setPointSizeF(base * 0.95);
        label->setForegroundRole(QPalette::PlaceholderText);
        break;
    case Style::headline:
        font.setBold(true);
        break;
    case Style::title:
        font.setPointSizeF(base * 1.35);
        font.setBold(true);
        break;
    case Style::green: {
        QPalette green = label->palette();
        green.setColor(QPalette::WindowText, QColor(0x1e, 0x7b, 0x34));
        label->setPalette(green);
        break;
    }
    }
    label->setFont(font);
    return label;
}

QPushButton *button(QWidget *parent, const QString &title, const QString &symbol, const QString &name, bool prominent)
{
    auto *button = new QPushButton(title, parent);
    button->setObjectName(name);
    if (!symbol.isEmpty())
        EditorSymbols::apply(button, symbol);
    if (prominent)
        EditorButtonStyle::makeProminent(button);
    return button;
}

QWidget *symbolLabel(QWidget *parent, const QString &symbol, const QString &text, const QString &name)
{
    auto *row = new QWidget(parent);
    row->setObjectName(name);
    auto *icon = new QLabel(row);
    EditorSymbols::apply(icon, symbol);
    auto *words = label(row, text, Style::body, name + QStringLiteral(".text"));
    auto *line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(6);
    line->addWidget(icon, 0, Qt::AlignTop);
    line->addWidget(words, 1);
    return row;
}

} // namespace DetailText

void clearLater(QLayout *layout)
{
    while (QLayoutItem *item = layout->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        } else if (QLayout *inner = item->layout()) {
            clearLater(inner);
        }
        delete item;
    }
}
