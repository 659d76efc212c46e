#include "sorvanenotices.h"

#include "foundation/localization.h"
#include "session/ui/sessionstyle.h"
#include "workspacesymbols.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

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

namespace {

QLabel *symbolLabel(const QString &symbol, QWidget *parent)
{
    auto *label = new QLabel(WorkspaceSymbols::glyph(symbol), parent);
    label->setAlignment(Qt::AlignTop);
    return label;
}

QLabel *textLabel(const QString &text, SessionStyle::TextStyle style, QWidget *parent)
{
    auto *label = SessionStyle::label(text, style, parent);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return label;
}

} // namespace

QWidget *SorvaneNotices::banner(const SorvaneNotice &notice)
{
    using Kind = SorvaneNotice::Kind;
    auto *widget = new QWidget(this);
    auto *row = new QHBoxLayout(widget);
    row->setSpacing(8);
    const auto caption = SessionStyle::TextStyle::Caption;
    switch (notice.kind) {
    case Kind::profiles: {
        widget->setObjectName(QStringLiteral("sorvane.notice.profiles"));
        row->setContentsMargins(12, 12, 12, 12);
        row->setAlignment(Qt::AlignTop);
        auto *symbol = symbolLabel(QStringLiteral("person.crop.circle.badge.exclamationmark"), widget);
        SessionStyle::setTextStyle(symbol, caption);
        SessionStyle::setSecondary(symbol);
        row->addWidget(symbol);
        auto *text = textLabel(notice.text, caption, widget);
        SessionStyle::setSecondary(text);
        row->addWidget(text, 1);
        auto *retry = SessionStyle::button(loc("Retry profile photos"), widget);
        retry->setObjectName(QStringLiteral("sorvane.notice.retryProfiles"));
        retry->setFlat(true);
        SessionStyle::setTextStyle(retry, caption);
        connect(retry, &QPushButton::clicked, &m_workspace, &SorvaneWorkspace::retryProfiles);
        row->addWidget(retry, 0, Qt::AlignTop);
        break;
    }
    case Kind::busy: {
        widget->setObjectName(QStringLiteral("sorvane.notice.busy"));
        row->setContentsMargins(12, 12, 12, 12);
        row->addWidget(SessionStyle::smallProgress(widget));
        row->addWidget(textLabel(notice.text, SessionStyle::TextStyle::Callout, widget), 1);
        auto *stop = SessionStyle::button(loc("Stop"), widget);
        stop->setObjectName(QStringLiteral("sorvane.notice.stop"));
        connect(stop, &QPushButton::clicked, &m_workspace, &SorvaneWorkspace::stop);
        row->addWidget(stop);
        break;
    }
    case Kind::error: {
        widget->setObjectName(QStringLiteral("sorvane.notice.error"));
        row->setContentsMargins(12, 12, 12, 12);
        auto *symbol = symbolLabel(QStringLiteral("exclamationmark.triangle"), widget);
        auto *text = textLabel(notice.text, SessionStyle::TextStyle::Callout, widget);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        for (QLabel *label : {symbol, text}) {
            QPalette red = label->palette();
            red.setColor(QPalette::WindowText, QColor(215, 0, 21));
            label->setPalette(red);
        }
        row->addWidget(symbol);
        row->addWidget(text, 1);
        break;
    }
    case Kind::retryClaim: {
        widget->setObjectName(QStringLiteral("sorvane.notice.claim"));
        row->setContentsMargins(10, 10, 10, 10);
        auto *retry = SessionStyle::button(notice.text, widget);
        retry->setObjectName(QStringLiteral("sorvane.notice.retryClaim"));
        WorkspaceSymbols::apply(retry, QStringLiteral("arrow.clockwise"));
        retry->setEnabled(notice.enabled);
        connect(retry, &QPushButton::clicked, &m_workspace, &SorvaneWorkspace::retryClaim);
        row->addWidget(retry);
        row->addStretch(1);
        break;
    }
    case Kind::message: {
        widget->setObjectName(QStringLiteral("sorvane.notice.message"));
        row->setContentsMargins(12, 12, 12, 12);
        auto *text = textLabel(notice.text, SessionStyle::TextStyle::Callout, widget);
        SessionStyle::setSecondary(text);
        row->addWidget(text, 1);
        break;
    }
    case Kind::localTest: {
        widget->setObjectName(QStringLiteral("sorvane.notice.localTest"));
        row->setContentsMargins(8, 8, 8, 8);
        auto *text = textLabel(WorkspaceSymbols::glyph(QStringLiteral("testtube.2")) + QStringLiteral("  ") + notice.text,
                               caption, widget);
        SessionStyle::setOrange(text);
        row->addWidget(text, 1);
        break;
    }
    }
    return widget;
}
