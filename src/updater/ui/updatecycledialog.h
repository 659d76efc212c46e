#pragma once

#include "updater/updatecycle.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

// The window of a running update cycle: what is happening, the progress of
// the download, and the person's choices (install now or later, cancel,
// close). Shown when a cycle needs the person; follows the cycle.
class UpdateCycleDialog final : public QDialog
{
    Q_OBJECT
public:
    explicit UpdateCycleDialog(UpdateCycle &cycle, QWidget *parent = nullptr);
    ~UpdateCycleDialog() override;

    // Opens the window whenever `cycle` leaves its idle phase.
    static void showWhenActive(UpdateCycle &cycle);

    QSize sizeHint() const override;

protected:
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();
    void fitDismissWidth();
    void windowGone();

    UpdateCycle &m_cycle;
    QLabel *m_text;
    QLabel *m_notes;
    QProgressBar *m_progress;
    QPushButton *m_install = nullptr;
    QPushButton *m_dismiss = nullptr;
    // What the window's height was last fitted to: the texts and which parts showed.
    QString m_fittedText;
    int m_fittedParts = -1;
    // The phase shown last: a new check starts when the window shows another.
    UpdateCycle::Phase m_shownPhase = UpdateCycle::Phase::idle;
};
