#include "sorvanenotices.h"

#include "foundation/localization.h"
#include "foundation/ui/uikit.h"
#include "foundation/ui/symbols.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

SorvaneNotices::SorvaneNotices(SorvaneWorkspace &workspace, QWidget *parent) : QWidget(parent), m_workspace(workspace)
{
    setObjectName(QStringLiteral("sorvane.notices"));
    // Opaque: what it floats over does not show through.
    setAutoFillBackground(true);
    parent->installEventFilter(this);
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    connect(&workspace, &SorvaneWorkspace::stateChanged, this, &SorvaneNotices::rebuild);
    rebuild();
}

void SorvaneNotices::rebuild()
{
    const QList<SorvaneNotice> notices = m_workspace.notices();
    if (notices == m_shown)
        return;
    m_shown = notices;
    while (QLayoutItem *item = m_layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const SorvaneNotice &notice : notices)
        m_layout->addWidget(banner(notice));
    if (!notices.isEmpty()) {
        // Where the banners end and the detail they float over begins.
        auto *line = new QFrame(this);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        m_layout->addWidget(line);
    }
    setVisible(!notices.isEmpty());
    place();
}

int SorvaneNotices::reservedHeight()
{
    using Kind = SorvaneNotice::Kind;
    int height = 0;
    for (const Kind kind : {Kind::profiles, Kind::busy, Kind::error, Kind::retryClaim, Kind::message, Kind::localTest}) {
        std::unique_ptr<QWidget> sample(banner({kind, QStringLiteral("X")}));
        height = qMax(height, sample->sizeHint().height());
    }
    QFrame line;
    line.setFrameShape(QFrame::HLine);
    line.setFrameShadow(QFrame::Sunken);
    return height + line.sizeHint().height();
}

bool SorvaneNotices::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::LayoutRequest)
        place();
    return handled;
}

bool SorvaneNotices::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        place();
    return QWidget::eventFilter(watched, event);
}

// Across the parent's full width, at its top, above its other children.
void SorvaneNotices::place()
{
    QWidget *column = parentWidget();
    if (!column || isHidden())
        return;
    const int width = column->width();
    const int height = qMin(column->height(), hasHeightForWidth() ? heightForWidth(width) : sizeHint().height());
    setGeometry(0, 0, width, height);
    raise();
}

QWidget *SorvaneNotices::banner(const SorvaneNotice &notice)
{
    using Kind = SorvaneNotice::Kind;
    auto *widget = new QWidget(this);
    auto *row = new QHBoxLayout(widget);
    row->setSpacing(8);
    const auto caption = UiKit::TextStyle::Caption;
    switch (notice.kind) {
    case Kind::profiles: {
        widget->setObjectName(QStringLiteral("sorvane.notice.profiles"));
        row->setContentsMargins(12, 12, 12, 12);
        row->setAlignment(Qt::AlignTop);
        auto *symbol = new QLabel(Symbols::glyph(QStringLiteral("person.crop.circle.badge.exclamationmark")), widget);
        symbol->setAlignment(Qt::AlignTop);
        UiKit::setTextStyle(symbol, caption);
        UiKit::setSecondary(symbol);
        row->addWidget(symbol);
        auto *text = UiKit::label(notice.text, caption, widget);
        text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        UiKit::setSecondary(text);
        row->addWidget(text, 1);
        auto *retry = UiKit::button(loc("Retry profile photos"), widget);
        retry->setObjectName(QStringLiteral("sorvane.notice.retryProfiles"));
        retry->setFlat(true);
        UiKit::setTextStyle(retry, caption);
        connect(retry, &QPushButton::clicked, &m_workspace, &SorvaneWorkspace::retryProfiles);
        row->addWidget(retry, 0, Qt::AlignTop);
        break;
    }
    case Kind::busy: {
        widget->setObjectName(QStringLiteral("sorvane.notice.busy"));
        row->setContentsMargins(12, 12, 12, 12);
        row->addWidget(UiKit::smallProgress(widget));
        auto *text = UiKit::label(notice.text, UiKit::TextStyle::Callout, widget);
        text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        row->addWidget(text, 1);
        auto *stop = UiKit::button(loc("Stop"), widget);
        stop->setObjectName(QStringLiteral("sorvane.notice.stop"));
        connect(stop, &QPushButton::clicked, &m_workspace, &SorvaneWorkspace::stop);
        row->addWidget(stop);
        break;
    }
    case Kind::error: {
        widget->setObjectName(QStringLiteral("sorvane.notice.error"));
        row->setContentsMargins(12, 12, 12, 12);
        auto *symbol = new QLabel(Symbols::glyph(QStringLiteral("exclamationmark.triangle")), widget);
        symbol->setAlignment(Qt::AlignTop);
        auto *text = UiKit::label(notice.text, UiKit::TextStyle::Callout, widget);
        text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        for (QLabel *label : {symbol, text})
            UiKit::setInk(label, UiKit::Ink::failure);
        row->addWidget(symbol);
        row->addWidget(text, 1);
        break;
    }
    case Kind::retryClaim: {
        widget->setObjectName(QStringLiteral("sorvane.notice.claim"));
        row->setContentsMargins(10, 10, 10, 10);
        auto *retry = UiKit::button(notice.text, widget);
        retry->setObjectName(QStringLiteral("sorvane.notice.retryClaim"));
        Symbols::apply(retry, QStringLiteral("arrow.clockwise"));
        retry->setEnabled(notice.enabled);
        connect(retry, &QPushButton::clicked, &m_workspace, &SorvaneWorkspace::retryClaim);
        row->addWidget(retry);
        row->addStretch(1);
        break;
    }
    case Kind::message: {
        widget->setObjectName(QStringLiteral("sorvane.notice.message"));
        row->setContentsMargins(12, 12, 12, 12);
        auto *text = UiKit::label(notice.text, UiKit::TextStyle::Callout, widget);
        text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        UiKit::setSecondary(text);
        row->addWidget(text, 1);
        break;
    }
    case Kind::localTest: {
        widget->setObjectName(QStringLiteral("sorvane.notice.localTest"));
        row->setContentsMargins(8, 8, 8, 8);
        auto *text = UiKit::label(Symbols::glyph(QStringLiteral("testtube.2")) + QStringLiteral("  ") + notice.text,
                                  caption, widget);
        text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        UiKit::setInk(text, UiKit::Ink::attention, true);
        row->addWidget(text, 1);
        break;
    }
    }
    return widget;
}
