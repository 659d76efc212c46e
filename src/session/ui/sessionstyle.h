#pragma once

#include <QColor>
#include <QString>

class QLabel;
class QPixmap;
class QProgressBar;
class QPushButton;
class QWidget;

// The nearest Qt equivalents of the text styles, colours and controls the
// session forms use, relative to the application font.
namespace SessionStyle {

enum class TextStyle { Title2Bold, Callout, Caption };

QLabel *label(const QString &text, TextStyle style, QWidget *parent);
void setTextStyle(QWidget *widget, TextStyle style);
void setSecondary(QWidget *widget);
void setOrange(QWidget *widget);
// Accent-filled button; not bound to any key by itself.
void makeProminent(QPushButton *button);
// A button that Return never presses unless it is made the default.
QPushButton *button(const QString &text, QWidget *parent);
// Small indeterminate indicator.
QProgressBar *smallProgress(QWidget *parent);
// "person.crop.circle" and "checkmark.circle", drawn at `size` pixels.
QPixmap symbol(const QString &name, int size, const QWidget *context, QColor ink = {});

} // namespace SessionStyle
