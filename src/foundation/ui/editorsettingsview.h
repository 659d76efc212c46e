#pragma once

#include <QWidget>

class QComboBox;

// The language panel: picks the interface language preference, which takes
// effect at the next launch. Writes "editor.interfaceLanguage" at once.
class EditorSettingsView : public QWidget
{
    Q_OBJECT
public:
    explicit EditorSettingsView(QWidget *parent = nullptr);

    // The stored preference ("system" when nothing is stored).
    static QString storedPreference();

private:
    QComboBox *m_picker;
};
