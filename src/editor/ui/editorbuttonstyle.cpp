#include "editorbuttonstyle.h"

#include <QPalette>
#include <QPushButton>

namespace EditorButtonStyle {

void makeProminent(QPushButton *button)
{
    button->setDefault(false);
    button->setAutoDefault(false);
    // Only the enabled groups: a disabled main action must look disabled.
    QPalette palette = button->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Button, palette.color(group, QPalette::Highlight));
        palette.setColor(group, QPalette::ButtonText, palette.color(group, QPalette::HighlightedText));
    }
    button->setPalette(palette);
    button->setProperty("prominent", true);
}

} // namespace EditorButtonStyle
