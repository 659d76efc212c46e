#pragma once

class QPushButton;

namespace EditorButtonStyle {
// The filled accent look of a main action. Unlike a dialog's default
// button it binds no key: Return in a settings sheet must not start work.
void makeProminent(QPushButton *button);
} // namespace EditorButtonStyle
