#include "scrollingcolumn.h"

#include <QFrame>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWidget>

QVBoxLayout *addScrollingColumn(QWidget *owner, int maximumWidth, int spacing)
{
    auto *outer = new QVBoxLayout(owner);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(owner);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    outer->addWidget(scroll);
    auto *content = new QWidget(scroll);
    content->setMaximumWidth(maximumWidth);
    scroll->setWidget(content);
    auto *layout = new QVBoxLayout(content);
    layout->setSpacing(spacing);
    layout->setContentsMargins(30, 30, 30, 30);
    layout->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return layout;
}
