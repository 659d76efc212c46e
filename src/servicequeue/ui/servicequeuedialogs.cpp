#include "servicequeuedialogs.h"

#include "briefviews.h"
#include "servicequeueview.h"

#include "foundation/localization.h"
#include "servicequeue/servicequeuemodel.h"

#include <QMessageBox>
#include <QPushButton>
#include <utility>

ServiceQueueDialogs &ServiceQueueDialogs::attach(ServiceQueueView &screen)
{
    ServiceQueueModel &model = screen.model();
    auto *dialogs = model.findChild<ServiceQueueDialogs *>(QString(), Qt::FindDirectChildrenOnly);
    const bool made = !dialogs;
    if (made)
        dialogs = new ServiceQueueDialogs(model, screen.editor());
    dialogs->m_screens.append(&screen);
    if (made) {
        // A confirmation or sheet still asked for when a screen is placed shows at once.
        dialogs->presentDialogs();
        dialogs->presentSheet();
    }
    return *dialogs;
}

ServiceQueueDialogs::ServiceQueueDialogs(ServiceQueueModel &model, ServiceQueueEditor &editor)
    : QObject(&model), m_model(model), m_editor(editor)
{
    connect(&m_model.proposals(), &ServiceProposalState::changed, this, &ServiceQueueDialogs::presentDialogs);
    connect(&m_model.videoDraft(), &ServiceVideoDraft::changed, this, &ServiceQueueDialogs::presentDialogs);
    using A = ServiceOpenedTask::Assignments;
    connectAssigned(m_model.openedTask(), this, {&A::packageContext}, [this] { presentSheet(); });
}

ServiceQueueDialogs::~ServiceQueueDialogs()
{
    for (QWidget *window : {static_cast<QWidget *>(m_sendDialog.data()), static_cast<QWidget *>(m_videoDialog.data()),
                            static_cast<QWidget *>(m_sheet.data())})
        dismiss(window);
}

void ServiceQueueDialogs::detach(ServiceQueueView &screen)
{
    m_screens.removeIf([&screen](const QPointer<ServiceQueueView> &held) { return !held || held == &screen; });
    if (!m_screens.isEmpty())
        return;
    // Dialogs and the sheet close with the last screen; the model's flags
    // stay, and a screen placed later (even in this turn) gets a new presenter.
    m_model.disconnect(this);
    m_model.proposals().disconnect(this);
    m_model.videoDraft().disconnect(this);
    m_model.openedTask().disconnect(this);
    setParent(nullptr);
    for (QWidget *window : {static_cast<QWidget *>(m_sendDialog.data()), static_cast<QWidget *>(m_videoDialog.data()),
                            static_cast<QWidget *>(m_sheet.data())})
        dismiss(window);
    deleteLater(); // this may be deep in one of its own dialogs' signals
}

void ServiceQueueDialogs::dismiss(QWidget *window)
{
    if (!window)
        return;
    window->disconnect();
    window->hide();
    window->deleteLater(); // may be the sender of what ends its host
}

// The window of a shown screen, or of any: every screen of a model sits in its one window.
QWidget *ServiceQueueDialogs::host() const
{
    QWidget *any = nullptr;
    for (const QPointer<ServiceQueueView> &screen : m_screens) {
        if (!screen)
            continue;
        if (screen->isVisible())
            return screen->window();
        if (!any)
            any = screen->window();
    }
    return any;
}

QMessageBox *ServiceQueueDialogs::confirmation(QWidget &host, const QString &name, const QString &title,
                                               const QString &confirm, const QString &confirmName,
                                               const QString &message, std::function<void()> confirmed,
                                               std::function<void()> reset)
{
    auto *box = new QMessageBox(host.window());
    box->setObjectName(name);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Question);
    box->setText(title);
    box->setInformativeText(message);
    QPushButton *yes = box->addButton(confirm, QMessageBox::AcceptRole);
    yes->setObjectName(confirmName);
    QPushButton *no = box->addButton(loc("Annuller"), QMessageBox::RejectRole);
    no->setObjectName(name + QStringLiteral(".cancel"));
    box->setDefaultButton(no);
    box->setEscapeButton(no);
    QObject::connect(box, &QMessageBox::finished, box, [box, yes, confirmed, reset] {
        if (box->clickedButton() == yes)
            confirmed();
        reset(); // closing the dialog in any way ends the request
    });
    box->open();
    return box;
}

void ServiceQueueDialogs::presentDialogs()
{
    QWidget *window = host();
    if (!window)
        return;
    struct Request
    {
        bool asked;
        QPointer<QMessageBox> &dialog;
        std::function<QMessageBox *()> open;
    };
    const Request requests[] = {
        {m_model.proposals().confirmation(), m_sendDialog,
         [this, window] {
             return confirmation(*window, QStringLiteral("service.proposal.sendConfirmation"),
                                 loc("Send dette forslag til kunden?"), loc("Send til kundereview"),
                                 QStringLiteral("service.proposal.confirmSend"),
                                 loc("Indholdet fra gennemgangen sendes som en ny, bevaret version. Kunden skal selv tage "
                                     "stilling; projektet bliver ikke automatisk godkendt eller bestilt til klipning."),
                                 [this] { m_model.send(m_editor); }, [this] { m_model.proposals().setConfirmation(false); });
         }},
        {m_model.videoDraft().videoConfirmation(), m_videoDialog,
         [this, window] {
             return confirmation(*window, QStringLiteral("service.video.sendConfirmation"),
                                 loc("Send dette videoudkast til kundereview?"), loc("Upload og send videoudkast"),
                                 QStringLiteral("service.video.confirmSend"),
                                 loc("Kun den kontrollerede, frosne video sendes til denne opgave. Kunden får den til "
                                     "review; filmen er ikke kundegodkendt eller leveret endnu."),
                                 [this] { m_model.sendVideo(m_editor); },
                                 [this] { m_model.videoDraft().setVideoConfirmation(false); });
         }},
    };
    for (const Request &request : requests) {
        if (request.asked && !request.dialog) {
            request.dialog = request.open();
        } else if (!request.asked && request.dialog) {
            // Withdrawn by the model: close without calling anything.
            QMessageBox *dialog = request.dialog;
            request.dialog = nullptr;
            dismiss(dialog);
        }
    }
}

void ServiceQueueDialogs::presentSheet()
{
    // A new context replaces the sheet; none closes it. Either way the old
    // sheet goes without clearing what the model now holds.
    dismiss(std::exchange(m_sheet, nullptr));
    const auto &context = m_model.openedTask().packageContext();
    QWidget *window = host();
    if (!context || !window)
        return;
    m_sheet = new PackageBriefSheet(*context, window);
    connect(m_sheet, &QDialog::finished, this, [this] {
        dismiss(std::exchange(m_sheet, nullptr));
        m_model.openedTask().setPackageContext(std::nullopt);
    });
    m_sheet->open();
}
