#pragma once

#include "settings/sorvanesettingsmodel.h"

#include <QDialog>
#include <QPointer>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;
class SorvaneSidebarRow;

// The settings sheet of a main window: a fixed 900 × 660 panel with a header,
// a sidebar of the eight sections and a right-hand column with the editor's
// progress (and Stop), error and message rows above the selected section's
// pane. Closing always works, also while an operation runs.
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
    // The AI connection panel while it is open.

private:
    void refresh();
    void rebuildPane();
    QString paneKey() const;
    QWidget *buildPane();
    QWidget *scrollingPane(const QList<QWidget *> &elements);
    void openAIConnection();

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
    // Controls of the current pane whose enabling follows the models.
    QPointer<QWidget> m_connectAI;
    QPointer<QWidget> m_chooseTools;
    QPointer<QWidget> m_storage;
    QPointer<QWidget> m_cloudOrPackages;
    QPointer<QDialog> m_aiPanel;
};
