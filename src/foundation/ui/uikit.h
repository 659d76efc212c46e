#pragma once

#include <QColor>
#include <QPalette>
#include <QString>
#include <QTextEdit>
#include <optional>

class QAbstractScrollArea;
class QLabel;
class QPixmap;
class QProgressBar;
class QPushButton;
class QWidget;

// The controls every screen builds from: labels, buttons and the colours
// they are drawn in, named by what they mean. Symbols: symbols.h.
namespace UiKit {

// ---- Colours, by role. Each is the one value its screens draw in; a text
// ink is drawn in its own hue made to read on what is behind it.
enum class Ink {
    failure, // a failure sentence: notices, sharing sheet, updates pane
    sheetFailure, // the settings sheet's error line
    attention, // orange marks: the session's warnings, overdue rows, format warnings
    caution, // a video version that needs a look: unconfirmed send, project selection
    companyFailure, // the service queue's company loading error
    profileFailure, // the own profile's message line
    storageIssue, // the project location's issue line
    success, // a finished step in the task detail
    ready, // the inbox row's "ready" arrow
    brand, // the application icon's tile
    brandTint, // the window's highlight and links
    avatarFill, // a face without a photo
    avatarInk, // its initials
};
QColor colour(Ink ink);
// `ink` darkened (on a light background) or lightened (on a dark one) in its
// own hue until even small text in it reads on `background` at 4.5:1 (the
// ink itself at 5.2); unchanged where it does.
QColor colour(Ink ink, const QColor &background);
// The widget's window text (and, with `text`, its editable text) in `ink`,
// as it reads on the background it is drawn on (the nearest that fills its
// own), again on every change of the colours around it or of its place.
void setInk(QWidget *widget, Ink ink, bool text = false);
// Undoes setInk (and setSecondary): the widget's own palette is dropped, it
// takes its window's colours again.
void clearInk(QWidget *widget);
// The secondary text colour on `background`: the palette's placeholder text
// as it is drawn there, darkened or lightened until it reads at 6:1 (it is
// mostly caption size), still quieter than the text beside it.
QColor secondaryColour(const QPalette &palette, const QColor &background);
// The widget's links in the link colour around it, made to read on the
// background it is drawn on, as setInk does. A label's rich text takes it
// when this is called: again after each new text.
void setLinkInk(QWidget *widget);

// ---- Labels. One argument order everywhere: text, style, parent.

// The nearest Qt equivalents of the platform's text styles, relative to its
// 13-point body text.
enum class TextStyle { Title2Bold, Callout, Caption };

// How a label is made. Fonts are changed only where asked (a scale of 1
// leaves the size inherited). With a text style, the label is the wrapped
// plain-text one label(text, TextStyle, parent) makes, and the scale is the
// style's.
struct LabelStyle
{
    qreal scale = 1.0; // point size times this
    bool bold = false;
    bool secondary = false; // the secondary text colour
    bool wrap = true;
    bool plain = true; // Qt::PlainText; false leaves QLabel's automatic format
    bool selectable = false; // by mouse and keyboard
    bool monospaced = false; // the system's fixed font at the label's size times the scale
    QString name; // object name
    std::optional<TextStyle> textStyle;
    std::optional<Ink> ink; // the window text colour
};

QLabel *label(const QString &text, const LabelStyle &style, QWidget *parent);
// A wrapped plain-text label in a platform style; it remembers its measured
// heights for the last few widths (a window being laid out asks each label
// about ten times).
QLabel *label(const QString &text, TextStyle style, QWidget *parent);
// Gives a label made elsewhere (a subclass) the style's settings.
void style(QLabel *label, const LabelStyle &style);

// A selectable plain text that may break inside a word: a digest, an id or an
// address is one long word, which a label breaks only between words and so
// cuts at a narrow column's edge. It breaks between words where it can, and
// anywhere else where it must; selecting and copying give the text exactly.
// Of the style it takes the name and the font (scale, bold, monospaced); it
// is always plain, wrapped and selectable.
class LongWordLabel final : public QTextEdit
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)
public:
    LongWordLabel(const QString &text, const LabelStyle &style, QWidget *parent);

    QString text() const { return m_text; }
    void setText(const QString &text);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    // The page around it scrolls, and its text never zooms.
    void wheelEvent(QWheelEvent *event) override;

private:
    QString m_text;
};

// ---- Scrolling.

// Makes `area` scroll only sideways (a strip of columns in a page that
// scrolls up and down). The wheel turned up or down over it passes to the
// page around it; turned sideways, or with Shift held, it scrolls the area.
void scrollSideways(QAbstractScrollArea *area);

void setTextStyle(QWidget *widget, TextStyle style);
// The widget's text in the secondary colour (secondaryColour) on the
// background it is drawn on, followed as setInk does; an ink set before or
// after it wins.
void setSecondary(QWidget *widget);

// ---- Buttons.

// A button that Return never presses unless it is made the default.
QPushButton *button(const QString &text, QWidget *parent);
// The filled accent look of a main action. Unlike a dialog's default button
// it binds no key: Return in a settings sheet must not start work (a dialog
// that wants Return on it while it has the keyboard makes it auto-default
// after this call). Disabled, it looks like any disabled button.
void makeProminent(QPushButton *button);
// The session forms' accent fill: keeps the button's default and key
// binding as they are, and draws it disabled in the window's colours.
void fillWithAccent(QPushButton *button);
// The contrast ratio of two colours by their relative luminance (sRGB): the
// inks and the fills are made to reach 4.5 under their text.
qreal contrast(const QColor &one, const QColor &other);

// Small indeterminate indicator.
QProgressBar *smallProgress(QWidget *parent);

} // namespace UiKit
