#include "localpackagesview.h"

#include "editor/editormodel.h"
#include "editor/editorpresentation.h"
#include "foundation/ui/symbols.h"
#include "foundation/ui/uikit.h"
#include "foundation/localization.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

using namespace EditorPresentation;

namespace {

QWidget *packageRow(const PackageSummary &package, QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QVBoxLayout(row);
    layout->setSpacing(5);
    layout->setContentsMargins(0, 5, 0, 5);
    auto *title = new QLabel(package.title, row);
    title->setObjectName(QStringLiteral("editor.packages.row.title"));
    QFont headline = title->font();
    headline.setBold(true);
    title->setFont(headline);
    title->setWordWrap(true);
    layout->addWidget(title);
    auto *kindLine = new QWidget(row);
    auto *kindLayout = new QHBoxLayout(kindLine);
    kindLayout->setContentsMargins(0, 0, 0, 0);
    const ServiceKind kind = packageKind(package);
    auto *icon = new QLabel(kindLine);
    icon->setObjectName(QStringLiteral("editor.packages.row.kindIcon"));
    Symbols::apply(icon, kindSymbol(kind));
    auto *kindText = new QLabel(kindTitle(kind), kindLine);
    kindText->setObjectName(QStringLiteral("editor.packages.row.kind"));
    QFont caption = kindText->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.9);
    kindText->setFont(caption);
    kindLayout->addWidget(icon);
    kindLayout->addWidget(kindText, 1);
    layout->addWidget(kindLine);
    auto *counts = new QLabel(packageCounts(package), row);
    counts->setObjectName(QStringLiteral("editor.packages.row.counts"));
    counts->setFont(caption);
    layout->addWidget(counts);
    return row;
}

} // namespace

LocalPackagesView::LocalPackagesView(QSharedPointer<EditorModel> model, std::shared_ptr<DesktopServices> desktop,
                                     PackageView::BriefFactory brief, QWidget *parent)
    : QWidget(parent), m_model(std::move(model))
{
    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName(QStringLiteral("editor.packages.split"));
    outer->addWidget(split);

    auto *left = new QWidget(split);
    left->setMinimumWidth(180);
    left->setMaximumWidth(260);
    auto *column = new QVBoxLayout(left);
    column->setSpacing(12);
    column->setContentsMargins(16, 16, 16, 16);
    auto *heading = new QLabel(loc("Local project packages"), left);
    QFont headline = heading->font();
    headline.setBold(true);
    heading->setFont(headline);
    column->addWidget(heading);
    auto *caption = new QLabel(loc("Verified folders on the selected project disk. These are not new production tasks."), left);
    caption->setWordWrap(true);
    UiKit::setSecondary(caption);
    column->addWidget(caption);
    m_list = new QListWidget(left);
    m_list->setObjectName(QStringLiteral("sorvane.settings.packages.list"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    // Rows wrap to the column's width instead of scrolling sideways.
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->viewport()->installEventFilter(this);
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] {
        const auto items = m_list->selectedItems();
        m_model->setSelectedPackageID(items.isEmpty() ? std::nullopt
                                                      : std::optional<QString>(items.first()->data(Qt::UserRole).toString()));
    });
    column->addWidget(m_list, 1);
    m_refresh = new QPushButton(loc("Opdatér"), left);
    m_refresh->setObjectName(QStringLiteral("editor.packages.refresh"));
    Symbols::applyThemed(m_refresh, QStringLiteral("arrow.clockwise"));
    connect(m_refresh, &QPushButton::clicked, this, [this] { m_model->refresh(); });
    column->addWidget(m_refresh, 0, Qt::AlignLeft);
    auto *storage = new QPushButton(loc("Project storage"), left);
    storage->setObjectName(QStringLiteral("editor.packages.projectStorage"));
    storage->setFlat(true);
    connect(storage, &QPushButton::clicked, this, [this] { Q_EMIT sectionRequested(QStringLiteral("storage")); });
    column->addWidget(storage, 0, Qt::AlignLeft);

    m_detail = new QStackedWidget(split);
    m_detail->setMinimumWidth(280);
    m_empty = new QWidget(m_detail);
    m_empty->setObjectName(QStringLiteral("editor.packages.empty"));
    auto *emptyLayout = new QVBoxLayout(m_empty);
    emptyLayout->setAlignment(Qt::AlignCenter);
    auto *emptyIcon = new QLabel(m_empty);
    emptyIcon->setObjectName(QStringLiteral("editor.packages.empty.symbol"));
    Symbols::apply(emptyIcon, QStringLiteral("film.stack"));
    emptyLayout->addWidget(emptyIcon, 0, Qt::AlignHCenter);
    m_emptyTitle = new QLabel(m_empty);
    m_emptyTitle->setObjectName(QStringLiteral("editor.packages.empty.title"));
    QFont big = m_emptyTitle->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    m_emptyTitle->setFont(big);
    emptyLayout->addWidget(m_emptyTitle, 0, Qt::AlignHCenter);
    m_emptyDescription = new QLabel(m_empty);
    m_emptyDescription->setObjectName(QStringLiteral("editor.packages.empty.description"));
    m_emptyDescription->setWordWrap(true);
    m_emptyDescription->setAlignment(Qt::AlignCenter);
    emptyLayout->addWidget(m_emptyDescription);
    auto *cloud = new QPushButton(loc("Cloud backups"), m_empty);
    cloud->setObjectName(QStringLiteral("editor.packages.cloudBackups"));
    connect(cloud, &QPushButton::clicked, this, [this] { Q_EMIT sectionRequested(QStringLiteral("cloud")); });
    emptyLayout->addWidget(cloud, 0, Qt::AlignHCenter);
    m_invalid = new QLabel(m_empty);
    m_invalid->setObjectName(QStringLiteral("editor.packages.invalid"));
    UiKit::setInk(m_invalid, UiKit::Ink::failure);
    emptyLayout->addWidget(m_invalid, 0, Qt::AlignHCenter);
    m_detail->addWidget(m_empty);
    m_package = new PackageView(m_model, std::move(desktop), std::move(brief), m_detail);
    m_package->setObjectName(QStringLiteral("editor.packages.package"));
    m_detail->addWidget(m_package);
    split->setStretchFactor(1, 1);
    split->setSizes({210, 600});

    connect(m_model.data(), &EditorModel::inventoryChanged, this, &LocalPackagesView::rebuildList);
    connect(m_model.data(), &EditorModel::selectedPackageIDChanged, this, &LocalPackagesView::selectionMoved);
    connect(m_model.data(), &EditorModel::stateChanged, this, &LocalPackagesView::update);
    rebuildList();
}

void LocalPackagesView::rebuildList()
{
    const QSignalBlocker blocker(m_list);
    m_list->clear();
    for (const PackageSummary &package : m_model->inventory()) {
        auto *item = new QListWidgetItem(m_list);
        item->setData(Qt::UserRole, package.packageID);
        item->setData(Qt::AccessibleTextRole, package.title);
        m_list->setItemWidget(item, packageRow(package, m_list));
        if (m_model->selectedPackageID() == package.packageID)
            item->setSelected(true);
    }
    fitRows();
    update();
}

void LocalPackagesView::fitRows()
{
    const int width = m_list->viewport()->width();
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem *item = m_list->item(row);
        const QWidget *face = m_list->itemWidget(item);
        const int height = face->hasHeightForWidth() ? face->heightForWidth(width) : face->sizeHint().height();
        item->setSizeHint(QSize(width, height));
    }
}

bool LocalPackagesView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list->viewport() && event->type() == QEvent::Resize)
        fitRows();
    return QWidget::eventFilter(watched, event);
}

// Opening a task empties the list (the folder is adopted again without a
// listing), so a pane that opens on an empty list lists the folder itself
// instead of waiting for "Opdatér". An opened package stays as it is.
void LocalPackagesView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    const EditorModel &model = *m_model;
    if (isEnabled() && canRefresh(model) && !model.busy() && model.inventory().isEmpty() && !model.context())
        m_model->refresh();
}

// A new selection opens that package; a cleared selection, or one that no
// package has, leaves the opened package as it is.
void LocalPackagesView::selectionMoved()
{
    const auto id = m_model->selectedPackageID();
    {
        const QSignalBlocker blocker(m_list);
        for (int row = 0; row < m_list->count(); ++row) {
            QListWidgetItem *item = m_list->item(row);
            item->setSelected(id && item->data(Qt::UserRole).toString() == *id);
        }
    }
    if (!id)
        return;
    for (const PackageSummary &package : m_model->inventory()) {
        if (package.packageID == *id) {
            m_model->open(package);
            return;
        }
    }
}

void LocalPackagesView::update()
{
    const EditorModel &model = *m_model;
    setEnabled(sectionsEnabled(model));
    m_refresh->setEnabled(canRefresh(model));
    m_emptyTitle->setText(emptyTitle(model));
    m_emptyDescription->setText(emptyDescription(model));
    const auto invalid = invalidFoldersLine(model);
    m_invalid->setVisible(invalid.has_value());
    m_invalid->setText(invalid.value_or(QString()));
    m_detail->setCurrentWidget(model.context() ? static_cast<QWidget *>(m_package) : m_empty);
}
