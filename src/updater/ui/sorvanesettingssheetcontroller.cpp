#include "sorvanesettingssheetcontroller.h"

#include "updater/sorvaneupdatesettings.h"

#include <QDialog>
#include <QWidget>

SorvaneSettingsSheetController::SorvaneSettingsSheetController(QWidget *window, const QUuid &windowID,
                                                               SorvaneUpdateSettings &coordinator, SheetBuilder build)
    : QObject(window), m_window(window), m_coordinator(coordinator), m_build(std::move(build)), m_windowID(windowID)
{
    QPointer<SorvaneSettingsSheetController> self = this;
    m_coordinator.windowAppeared(
        m_windowID,
        [self] {
            if (self && self->m_sheet)
                self->m_sheet->reject();
        },
        [self] { return self && self->hasOtherSheet(); });
    // A granted request whose sheet never came is settled at the next revision,
    // looked at once the request's own turn of the event loop is over.
    connect(&m_coordinator, &SorvaneUpdateSettings::revisionChanged, this, &SorvaneSettingsSheetController::settle,
            Qt::QueuedConnection);
}

SorvaneSettingsSheetController::~SorvaneSettingsSheetController()
{
    m_coordinator.windowDisappeared(m_windowID);
}

void SorvaneSettingsSheetController::settle()
{
    if (m_sheet)
        return;
    for (QDialog *dialog : m_window->findChildren<QDialog *>(Qt::FindDirectChildrenOnly))
        if (dialog->isVisible() && dialog->windowModality() != Qt::NonModal)
            connect(dialog, &QDialog::finished, this, &SorvaneSettingsSheetController::settle, Qt::UniqueConnection);
    m_coordinator.cancelledRequestCommitted(m_windowID);
}

// Another window-modal dialog of this window (a file chooser, a message) is showing.
bool SorvaneSettingsSheetController::hasOtherSheet() const
{
    for (QDialog *dialog : m_window->findChildren<QDialog *>(Qt::FindDirectChildrenOnly))
        if (dialog != m_sheet && dialog->isVisible() && dialog->windowModality() != Qt::NonModal)
            return true;
    return false;
}

bool SorvaneSettingsSheetController::open()
{
    if (m_sheet)
        return true;
    QDialog *sheet = m_build(m_window);
    if (!sheet) {
        m_coordinator.cancelledRequestCommitted(m_windowID);
        return false;
    }
    m_sheet = sheet;
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    connect(sheet, &QDialog::finished, this, [this] {
        m_sheet = nullptr;
        m_coordinator.sheetDismissed(m_windowID);
        Q_EMIT dismissed();
    });
    sheet->open();
    m_coordinator.sheetPresented(m_windowID);
    return bool(m_sheet);
}
