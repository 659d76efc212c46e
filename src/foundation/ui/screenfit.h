#pragma once

#include <QMargins>
#include <QObject>
#include <QRect>
#include <QScrollArea>

class QWidget;

// Keeps a top-level window wholly on its screen's available geometry, the
// window manager's frame and title bar included. Qt sizes a window as asked
// whatever the screen: a 1180x800 window on a 1366x768 screen reached 820
// under openbox, its bottom off the screen. The frame is known only once the
// window is mapped; until then it is estimated (another shown window's, else
// a generous guess), and the window is fitted again as soon as its own frame
// is known, at the latest when it is mapped.
class ScreenFit final : public QObject
{
    Q_OBJECT
public:
    // A main window: on every show its size is limited to the screen, never
    // below its minimum size; the first one shown is centred on the screen,
    // the window manager places the others, on the screen.
    static void keepWindow(QWidget *window);
    // A dialog or sheet: on every show it is made no larger than the screen,
    // below its minimum size if need be (content in a scroll area scrolls),
    // and where Qt centres it over its parent, moved onto the screen as far
    // as needed.
    static void keepDialog(QWidget *dialog);

    // As tall as its content for its width while the window it stands in
    // still fits on its screen; beyond that the content scrolls.
    class ScrollArea final : public QScrollArea
    {
    public:
        explicit ScrollArea(QWidget *parent = nullptr);
        bool hasHeightForWidth() const override { return true; }
        int heightForWidth(int width) const override;
        QSize sizeHint() const override;
        QSize minimumSizeHint() const override;
        bool eventFilter(QObject *watched, QEvent *event) override;
    };

private:
    enum class Mode { window, dialog };
    ScreenFit(QWidget *window, Mode mode);
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Answers whether the window was moved or resized.
    bool fit(bool placing);
    bool anotherWindowShown() const;

    QWidget *m_window;
    Mode m_mode;
    // Between a show and the window's mapping: the frame may still become known.
    bool m_waiting = false;
    // Moved or resized at its mapping: the window manager's answer is checked once.
    bool m_settling = false;
    bool m_fitting = false;
    bool m_centred = false;
    // The frame the last fit counted with, and the size the application asked
    // for (at the show, or since).
    QMargins m_frame;
    QSize m_wanted;
    // Where the application last put the window (Qt's centring, a new height
    // for its content, the fit). Until the window is mapped the widget's own
    // geometry can be a report from the platform instead: the answer to an
    // earlier request, or the place read while the window manager frames it.
    QRect m_asked;
};
