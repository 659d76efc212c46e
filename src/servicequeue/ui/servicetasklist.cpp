#include "servicetasklist.h"

#include "editor/editorpresentation.h"
#include "foundation/ui/uikit.h"
#include "foundation/ui/symbols.h"
#include "foundation/localization.h"
#include "servicequeue/servicequeuemodel.h"
#include "serviceactionresult.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A task row: a flat button drawn as a rounded, lightly filled card.
QPushButton *taskRow(const ServiceReceipt &row, const QString &status, QWidget *parent)
{
    auto *button = new QPushButton(parent);
    button->setObjectName(QStringLiteral("service.tasks.row.") + row.id);
    button->setFlat(true);
    button->setAccessibleName(row.title);
    button->setStyleSheet(QStringLiteral("QPushButton { background: palette(alternate-base); border-radius: 12px; "
                                         "text-align: left; } QPushButton:hover { background: palette(midlight); }"));
    auto *layout = new QHBoxLayout(button);
    layout->setContentsMargins(12, 10, 12, 10);
    auto *icon = new QLabel(button);
    Symbols::apply(icon, EditorPresentation::kindSymbol(row.kind));
    layout->addWidget(icon);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(4);
    auto *title = new QLabel(row.title, button);
    title->setObjectName(button->objectName() + QStringLiteral(".title"));
    title->setTextFormat(Qt::PlainText);
    title->setWordWrap(true);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    texts->addWidget(title);
    auto *line = new QLabel(status, button);
    line->setObjectName(button->objectName() + QStringLiteral(".status"));
    line->setTextFormat(Qt::PlainText);
    QFont caption = line->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    line->setFont(caption);
    texts->addWidget(line);
    layout->addLayout(texts, 1);
    auto *chevron = new QLabel(QStringLiteral("\u203A"), button);
    layout->addWidget(chevron);
    for (QLabel *label : button->findChildren<QLabel *>())
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
    button->setMinimumHeight(layout->sizeHint().height());
    return button;
}

} // namespace

QString ServiceTaskList::statusLine(const ServiceReceipt &row, const std::optional<ServiceDetail> &opened)
{
    const QString status =
        opened && opened->request.id == row.id ? opened->request.statusTitle() : row.statusTitle();
    return EditorPresentation::kindTitle(row.kind) + QStringLiteral(" \u00B7 ") + status;
}

ServiceTaskList::ServiceTaskList(ServiceQueueModel &model, ServiceQueueEditor &editor, ServiceActionResult &results,
                                 QWidget *parent)
    : QWidget(parent), m_model(model), m_editor(editor), m_results(results)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(22);
    m_fetch = new QPushButton(loc("Hent indsendte opgaver"), this);
    m_fetch->setObjectName(QStringLiteral("service.tasks.fetch"));
    Symbols::applyThemed(m_fetch, QStringLiteral("arrow.clockwise"));
    UiKit::makeProminent(m_fetch);
    connect(m_fetch, &QPushButton::clicked, this, [this] { m_model.list(m_editor); });
    layout->addWidget(m_fetch, 0, Qt::AlignLeft);

    m_section = new QWidget(this);
    m_section->setObjectName(QStringLiteral("service.tasks.list"));
    m_rows = new QVBoxLayout(m_section);
    m_rows->setContentsMargins(0, 0, 0, 0);
    m_rows->setSpacing(8);
    layout->addWidget(m_section);

    using A = ServiceOpenedTask::Assignments;
    connectAssigned(m_model.openedTask(), this, {&A::listing, &A::detail}, [this] { rebuild(); });
    rebuild();
}

void ServiceTaskList::rebuild()
{
    // A row with the keyboard gives it up before it goes: hiding it would pass
    // the focus down the rows one by one, and the scroll area would follow it
    // to the end of the list. The new row of the same task takes it back.
    QString focusedRow;
    if (QWidget *focus = window()->focusWidget(); focus && m_section->isAncestorOf(focus)) {
        focusedRow = focus->objectName();
        focus->clearFocus();
    }
    // Later, not now: a row's own click (opening its task) leads here.
    while (QLayoutItem *item = m_rows->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    const auto &listing = m_model.openedTask().listing();
    m_section->setVisible(listing.has_value());
    if (!listing)
        return;
    if (listing->requests.isEmpty()) {
        auto *none = new QLabel(loc("Ingen indsendte opgaver for dette firma."), m_section);
        none->setObjectName(QStringLiteral("service.tasks.empty"));
        m_rows->addWidget(none);
    }
    for (const ServiceReceipt &row : listing->requests) {
        QPushButton *button = taskRow(row, statusLine(row, m_model.openedTask().detail()), m_section);
        // The detail shows below the list, often below the visible part.
        connect(button, &QPushButton::clicked, this, [this, row] {
            m_results.await(QStringLiteral("service.task.detail"), [this, &row] { m_model.open(row, m_editor); });
        });
        m_rows->addWidget(button);
        if (!focusedRow.isEmpty() && button->objectName() == focusedRow)
            button->setFocus(Qt::OtherFocusReason);
    }
    auto *caption = new QLabel(loc("Seneste 50 indsendte opgaver."), m_section);
    caption->setObjectName(QStringLiteral("service.tasks.caption"));
    UiKit::setSecondary(caption);
    QFont small = caption->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    caption->setFont(small);
    m_rows->addWidget(caption);
}
