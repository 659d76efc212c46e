#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>

class PackageBriefSheet;
class QMessageBox;
class QString;
class QWidget;
class ServiceQueueEditor;
class ServiceQueueModel;
class ServiceQueueView;

// The one presenter of a queue model's requests: the proposal and video send
// confirmations and the package brief sheet. A window may hold several
// screens over one model (the ticket's task and versions sections, the full
// screen); each request still shows one dialog. Screens register while they
// live; the presenter is a child of the model and goes with the last screen.
// Dialogs are children of the screen's window, not of the screen, so a
// disabled host leaves their buttons and Escape working.
class ServiceQueueDialogs final : public QObject
{
    Q_OBJECT
public:
    // The model's presenter, made for the first screen.
    static ServiceQueueDialogs &attach(ServiceQueueView &screen);
    // The screen goes; with the last one the dialogs close, leaving the model's flags alone.
    void detach(ServiceQueueView &screen);

    // A window-modal confirmation on `host`'s window; `confirmed` runs for the
    // confirm button, `reset` however it closes.
    static QMessageBox *confirmation(QWidget &host, const QString &name, const QString &title,
                                     const QString &confirm, const QString &confirmName, const QString &message,
                                     std::function<void()> confirmed, std::function<void()> reset);
    // Closes and deletes `window` without calling anything it was connected to.
    static void dismiss(QWidget *window);

private:
    ServiceQueueDialogs(ServiceQueueModel &model, ServiceQueueEditor &editor);
    ~ServiceQueueDialogs() override;

    QWidget *host() const;
    void presentDialogs();
    void presentSheet();

    ServiceQueueModel &m_model;
    ServiceQueueEditor &m_editor;
    QList<QPointer<ServiceQueueView>> m_screens;
    QPointer<QMessageBox> m_sendDialog;
    QPointer<QMessageBox> m_videoDialog;
    QPointer<PackageBriefSheet> m_sheet;
};
