#pragma once

#include "settings/sorvanesettingsmodel.h"
#include "settings/ui/sorvanesettingspane.h"

#include <QDialog>
#include <QPointer>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;
class SorvaneSidebarRow;

// The settings sheet of a main window: a 900 × 660 panel (smaller only on a
// screen without room for it, where the panes scroll) with a header,
// a sidebar of the sections and a right-hand column with the editor's
// progress (and Stop), error and message rows above the selected section's
// pane (declared in sorvanesettingspanes.cpp). Closing always works, also
// while an operation runs.
class SorvaneSettingsView final : public QDialog
{
    Q_OBJECT
public:
    using ViewBuilder = std::function<QWidget *(QWidget *parent)>;
    using AIConnectionPanel = std::function<QDialog *(const SorvaneAIConnectionTarget &, QWidget *parent)>;

    struct Parts
    {
        SorvaneSettingsModel::Parts model;
        ViewBuilder cloud;    // brings its own scrolling
        ViewBuilder packages; // brings its own layout
        // Slot for the updates pane; without it the pane shows its header only.
        ViewBuilder updates;
        // Slot for the AI connection panel; without it "Connect AI" checks the
        // folder and opens nothing.
        AIConnectionPanel aiConnection;
    };

    static constexpr int sheetWidth = 900;
    static constexpr int sheetHeight = 660;
    static constexpr int sidebarWidth = 220;

    SorvaneSettingsView(Parts parts, SorvaneSettingsSection section, QWidget *parent = nullptr);

    SorvaneSettingsModel &model() const { return *m_model; }
    const Parts &parts() const { return m_parts; }

    // Selects the section of a raw value ("storage"); anything else changes
    // nothing. The package list's links to other sections.
    void showSection(const QString &raw);
    // Checks the project folder and opens the AI connection panel for it.
    void openAIConnection();

private:
    void refresh();
    void rebuildPane();
    QString paneKey() const;

    Parts m_parts;
    SorvaneSettingsModel *m_model;
    QList<SorvaneSidebarRow *> m_rows;
    QWidget *m_sidebar;
    QWidget *m_busyRow;
    QLabel *m_busyText;
    QWidget *m_errorRow;
    QLabel *m_error;
    QWidget *m_messageRow;
    QLabel *m_message;
    QVBoxLayout *m_detail;
    QPointer<QWidget> m_pane;
    QString m_paneKey;
    // The control of the current pane whose enabling follows the pane's rule.
    QPointer<QWidget> m_follower;
    QPointer<QDialog> m_aiPanel;
};
