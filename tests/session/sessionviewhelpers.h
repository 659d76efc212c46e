#pragma once

#include "foundation/localization.h"
#include "foundation/ui/uikit.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

// Finding controls of the session forms: by object name where they have
// one, else by their (translated) text.
namespace SessionViews {

inline QAbstractButton *button(QWidget *root, const char *key)
{
    const QString text = loc(key);
    for (auto *b : root->findChildren<QAbstractButton *>())
        if (b->text() == text)
            return b;
    return nullptr;
}

// The visible, word-wrapped label showing `text`, if any.
inline QLabel *labelShowing(QWidget *root, const QString &text)
{
    for (auto *l : root->findChildren<QLabel *>())
        if (l->text() == text && l->isVisible())
            return l;
    return nullptr;
}

inline QLineEdit *fieldTitled(QWidget *root, const char *key)
{
    const QString text = loc(key);
    for (auto *e : root->findChildren<QLineEdit *>())
        if (e->placeholderText() == text)
            return e;
    return nullptr;
}

// Types any text (emoji included) as a person would, through the input method.
inline void typeInto(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    QInputMethodEvent event;
    event.setCommitString(text);
    QCoreApplication::sendEvent(edit, &event);
}

// In the orange of warnings, as it reads on the window it stands in.
inline bool isOrange(const QWidget *w)
{
    return w->palette().color(QPalette::WindowText)
        == UiKit::colour(UiKit::Ink::attention, w->palette().color(QPalette::Window));
}

} // namespace SessionViews
