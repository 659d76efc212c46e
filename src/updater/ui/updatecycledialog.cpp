#include "updatecycledialog.h"

#include "foundation/ui/uikit.h"
#include "foundation/ui/screenfit.h"
#include "foundation/localization.h"
#include "updater/updatecycle.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The cycle is still at work (neither ended nor idle): the window's going cancels it.
bool isRunning(UpdateCycle::Phase phase)
{
    using Phase = UpdateCycle::Phase;
    return phase != Phase::upToDate && phase != Phase::failed && phase != Phase::idle;
}

// A shown main window of the application other than `except`.
QWidget *shownMainWindow(const QWidget *except)
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    const auto found = std::find_if(windows.cbegin(), windows.cend(), [except](const QWidget *window) {
        return window != except && window->windowType() == Qt::Window && window->isVisible();
    });
    return found == windows.cend() ? nullptr : *found;
}

} // namespace

UpdateCycleDialog::UpdateCycleDialog(UpdateCycle &cycle, QWidget *parent) : QDialog(parent), m_cycle(cycle)
{
    setObjectName(QStringLiteral("sorvane.updates.cycle"));
    setWindowTitle(loc("Software Update"));
    setMinimumWidth(420);
    ScreenFit::keepDialog(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(14);
    auto *title = new QLabel(QStringLiteral("Tavlon · Sorvane"), this); // a name, never translated
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() * 1.3);
    font.setWeight(QFont::DemiBold);
    title->setFont(font);
    layout->addWidget(title);
    m_text = new QLabel(this);
    m_text->setWordWrap(true);
    m_text->setObjectName(QStringLiteral("sorvane.updates.cycle.text"));
    layout->addWidget(m_text);
    // The offered update's own release notes, when its feed item names them.
    m_notes = new QLabel(this);
    m_notes->setObjectName(QStringLiteral("sorvane.updates.cycle.releaseNotes"));
    m_notes->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(m_notes, &QLabel::linkActivated, this, [this](const QString &) {
        if (!m_cycle.item() || m_cycle.item()->releaseNotes.isEmpty())
            return;
        const QUrl notes = m_cycle.item()->releaseNotes;
        if (QDesktopServices::openUrl(notes))
            return;
        // Without a browser Qt only writes to standard error: say so, with the address to copy.
        m_notes->setTextFormat(Qt::PlainText);
        m_notes->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        m_notes->setWordWrap(true);
        m_notes->setText(loc("No web browser on this computer could open the page; its address is: %@", {notes.toString()}));
        refresh(); // the window grows to show it
    });
    layout->addWidget(m_notes);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    layout->addWidget(m_progress);
    // The button that ends the cycle (Later, Cancel, Close) ends the row, as
    // wide for each of its words, and Install stands before it: a press
    // aimed at one button as the phase changes never lands on the other. It
    // comes before Install for the keyboard, so a key typed as the window
    // opens never installs.
    m_dismiss = new QPushButton(this);
    m_dismiss->setObjectName(QStringLiteral("sorvane.updates.cycle.dismiss"));
    m_install = new QPushButton(loc("Install and Relaunch"), this);
    m_install->setObjectName(QStringLiteral("sorvane.updates.cycle.install"));
    UiKit::makeProminent(m_install);
    m_install->setAutoDefault(true); // Return on it installs, not the button beside it
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_install);
    buttons->addWidget(m_dismiss);
    layout->addLayout(buttons);
    fitDismissWidth();

    connect(m_install, &QPushButton::clicked, this, [this] { m_cycle.install(); });
    connect(m_dismiss, &QPushButton::clicked, this, &QDialog::reject);
    // Closed in any way while the cycle still runs: the cycle ends, nothing is installed.
    connect(this, &QDialog::finished, this, [this] {
        if (isRunning(m_cycle.phase()))
            m_cycle.dismiss();
    });
    connect(&m_cycle, &UpdateCycle::changed, this, &UpdateCycleDialog::refresh);
    // The window it stands over may close before it: see windowGone().
    if (parent)
        parent->installEventFilter(this);
    refresh();
}

// Taken away with the main window it stood over before Install was chosen,
// or with the last one: as the person's Cancel, never a cycle left waiting
// for them or reporting to no one. (After the person's own Cancel this asks
// again, which changes nothing.)
UpdateCycleDialog::~UpdateCycleDialog()
{
    disconnect(&m_cycle, nullptr, this, nullptr); // the cycle may end within dismiss()
    if (isRunning(m_cycle.phase()))
        m_cycle.dismiss();
}

bool UpdateCycleDialog::eventFilter(QObject *watched, QEvent *event)
{
    // Hidden by the application, not by the window system (minimized): closed.
    if (watched == parentWidget() && event->type() == QEvent::Hide && !event->spontaneous())
        windowGone();
    return QDialog::eventFilter(watched, event);
}

// The window it stands over closed and takes it along. A dialog (the
// settings it was opened from) hands it to the window it belongs to. A main
// window's closing is the person's Later or Cancel until Install is chosen;
// after that the work goes on in view over another main window. With none
// left the app quits.
void UpdateCycleDialog::windowGone()
{
    QWidget *gone = parentWidget();
    QWidget *to = gone->parentWidget() ? gone->parentWidget()->window() : nullptr;
    if (!to && m_cycle.installChosen() && isRunning(m_cycle.phase()))
        to = shownMainWindow(gone);
    if (!to || !to->isVisible())
        return;
    gone->removeEventFilter(this);
    setParent(to, windowFlags());
    to->installEventFilter(this);
    show();
}

void UpdateCycleDialog::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (m_dismiss && (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange))
        fitDismissWidth();
}

// One width for each of the dismissing button's words: Install beside it
// does not move as Later becomes Cancel or Close.
void UpdateCycleDialog::fitDismissWidth()
{
    const QString shown = m_dismiss->text();
    int widest = 0;
    for (const QString &word : {loc("Later"), loc("Cancel"), loc("Close")}) {
        m_dismiss->setText(word);
        widest = qMax(widest, m_dismiss->sizeHint().width());
    }
    m_dismiss->setText(shown);
    m_dismiss->setMinimumWidth(widest);
}

void UpdateCycleDialog::refresh()
{
    using Phase = UpdateCycle::Phase;
    const Phase phase = m_cycle.phase();
    if (phase == Phase::idle) {
        close();
        return;
    }
    // A new check in a window that showed another phase starts as a new
    // window does: the keyboard on the dismissing button, and the release
    // notes a link. (Not as the window is made: a focus given before it shows
    // would make Qt take the button after it, Install, as its default.)
    if (phase == Phase::checking && m_shownPhase != Phase::checking && m_shownPhase != Phase::idle) {
        m_dismiss->setFocus();
        m_notes->setTextFormat(Qt::AutoText);
        m_notes->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        m_notes->setWordWrap(false);
        m_notes->clear();
        // A check the person asked for comes forward, with the keyboard, as
        // a new window does; an automatic one shows itself only in place.
        if (!m_cycle.isBackground()) {
            raise();
            activateWindow();
        }
    }
    m_shownPhase = phase;
    m_text->setText(m_cycle.text());
    m_progress->setVisible(phase == Phase::checking || phase == Phase::downloading || phase == Phase::preparing);
    if (phase == Phase::downloading && m_cycle.progress() >= 0) {
        m_progress->setRange(0, 1000);
        m_progress->setValue(int(m_cycle.progress() * 1000));
    } else {
        m_progress->setRange(0, 0); // busy, no measure
    }
    // Once offered, Install keeps its place, enabled only for the offer: the
    // second press of a double click on it lands on it, disabled, or on
    // nothing. Disabled with the keyboard on it (also while another window is
    // active), it would hand the keyboard to the button beside it, and a
    // second Space would cancel: the window takes it instead. Nor is the
    // dismissing button then the default that Return and Enter on the window
    // press: a key typed or held after Install never cancels the download or
    // closes its failure unread. Escape still does, and so does a key on that
    // button once the person moves to it.
    m_install->setVisible(m_cycle.item().has_value());
    if (phase != Phase::available && focusWidget() == m_install) {
        setFocus();
        m_dismiss->setDefault(false);
    }
    m_install->setEnabled(phase == Phase::available);
    const QUrl notes = m_cycle.item() ? m_cycle.item()->releaseNotes : QUrl();
    m_notes->setVisible(phase == Phase::available && !notes.isEmpty());
    if (!notes.isEmpty() && m_notes->textFormat() != Qt::PlainText) {
        m_notes->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                             .arg(notes.toString(QUrl::FullyEncoded).toHtmlEscaped(), loc("Release notes").toHtmlEscaped()));
        UiKit::setLinkInk(m_notes);
    }
    const bool ended = phase == Phase::upToDate || phase == Phase::failed;
    m_dismiss->setText(ended ? loc("Close") : phase == Phase::available ? loc("Later") : loc("Cancel"));
    // A window does not follow its wrapped text's height for its width: it
    // fits the texts shown now, growing for a long sentence (a failure naming
    // folders, the release notes' address, which were cut off) and shrinking
    // for a short one after it. Only when that changed: a window the person
    // made taller stays so while the download's progress moves.
    const int parts = int(m_progress->isVisibleTo(this)) | int(m_notes->isVisibleTo(this)) << 1
        | int(m_install->isVisibleTo(this)) << 2;
    const QString texts = m_text->text() + QLatin1Char('\n') + m_notes->text();
    if (isVisible() && (texts != m_fittedText || parts != m_fittedParts)) {
        m_fittedText = texts;
        m_fittedParts = parts;
        // First the minimum height the layout sets for what is shown now (a
        // progress bar just hidden kept it taller).
        layout()->activate();
        const int needed = layout()->totalHeightForWidth(width());
        if (needed != height())
            resize(width(), needed);
    }
}

// At least as wide as the window may be: Qt gives a new window the height of
// its text at the width hinted, and then widens it to its minimum (a Danish
// sentence measured at the narrower width left a band below it).
QSize UpdateCycleDialog::sizeHint() const
{
    const int width = qMax(QDialog::sizeHint().width(), minimumWidth());
    return {width, layout()->totalHeightForWidth(width)};
}

void UpdateCycleDialog::showWhenActive(UpdateCycle &cycle)
{
    static QPointer<UpdateCycleDialog> open;
    QObject::connect(&cycle, &UpdateCycle::changed, &cycle, [&cycle] {
        using Phase = UpdateCycle::Phase;
        const Phase phase = cycle.phase();
        if (phase == Phase::idle || open)
            return;
        // An automatic check shows itself only once it offers an update.
        if (cycle.isBackground() && (phase == Phase::checking || phase == Phase::upToDate || phase == Phase::failed))
            return;
        open = new UpdateCycleDialog(cycle, QApplication::activeWindow());
        open->setAttribute(Qt::WA_DeleteOnClose);
        open->show();
        open->raise();
        open->activateWindow();
    });
}
