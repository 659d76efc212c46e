#include "detailparts.h"

#include "foundation/ui/uikit.h"
#include "foundation/ui/symbols.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace DetailText {

QPushButton *button(QWidget *parent, const QString &title, const QString &symbol, const QString &name, bool prominent)
{
    auto *button = new QPushButton(title, parent);
    button->setObjectName(name);
    if (!symbol.isEmpty())
        Symbols::applyThemed(button, symbol);
    if (prominent)
        UiKit::makeProminent(button);
    return button;
}

QWidget *symbolLabel(QWidget *parent, const QString &symbol, const QString &text, const QString &name)
{
    auto *row = new QWidget(parent);
    row->setObjectName(name);
    auto *icon = new QLabel(row);
    Symbols::apply(icon, symbol);
    auto *words = UiKit::label(text, {.name = name + QStringLiteral(".text")}, row);
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
