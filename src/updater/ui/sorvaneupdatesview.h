#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class SorvaneUpdater;

// The "Updates" pane of the settings sheet: version, the check button, the
// automatic-checks switch, the last check, and why checking is not possible
// right now. Holds no state of its own; follows the updater.
//
//     layout->addWidget(new SorvaneUpdatesView(SorvaneUpdater::shared(), sheet));
class SorvaneUpdatesView final : public QWidget
{
    Q_OBJECT
public:
    explicit SorvaneUpdatesView(SorvaneUpdater &updater, QWidget *parent = nullptr);

    // "2.1 (57)", with an en dash for a missing or non-text value.
    static QString versionText(const QVariantMap &info);

private:
    void refresh();

    SorvaneUpdater &m_updater;
    QPushButton *m_check;
    QCheckBox *m_automatic;
    QWidget *m_lastRow;
    QLabel *m_last;
    QLabel *m_busy;
    QLabel *m_note;
};
