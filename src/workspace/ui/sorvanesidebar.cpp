#include "sorvanesidebar.h"

#include "foundation/localization.h"
#include "inbox/sorvaneinboxmodel.h"
#include "servicequeue/servicequeuemodel.h"
#include "foundation/ui/uikit.h"
#include "settings/ui/sorvanesidebarrow.h"
#include "workspace/sorvaneworkspace.h"
#include "symbolmark.h"
#include "foundation/ui/symbols.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

QString filterSymbol(SorvaneInboxFilter filter)
{
    switch (filter) {
    case SorvaneInboxFilter::all:
        return QStringLiteral("tray.full");
    case SorvaneInboxFilter::mine:
        return QStringLiteral("person.crop.circle");
    case SorvaneInboxFilter::customer:
        return QStringLiteral("bubble.left.and.bubble.right");
    case SorvaneInboxFilter::blocked:
        return QStringLiteral("clock");
    case SorvaneInboxFilter::completed:
        return QStringLiteral("checkmark.circle");
    }
    return {};
}

} // namespace

SorvaneSidebar::SorvaneSidebar(SorvaneWorkspace &workspace, QWidget *parent) : QWidget(parent), m_workspace(workspace)
{
    setObjectName(QStringLiteral("shell.sidebar"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *brand = new QWidget(this);
    auto *brandRow = new QHBoxLayout(brand);
    brandRow->setContentsMargins(18, 18, 18, 18);
    auto *mark = new SymbolMark(Symbols::icon(QStringLiteral("film.stack")), 22, brand);
    brandRow->addWidget(mark);
    auto *name = new QLabel(QStringLiteral("Tavlon"), brand);
    UiKit::setTextStyle(name, UiKit::TextStyle::Title2Bold);
    brandRow->addWidget(name);
    brandRow->addStretch(1);
    layout->addWidget(brand);

    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list = new QWidget(scroll);
    auto *list = new QVBoxLayout(m_list);
    list->setContentsMargins(8, 0, 8, 8);
    list->setSpacing(1);
    // Set while still empty: the area sizes its widget to the widget's size
    // hint and shows it, which for the filled list lays every row and label
    // out at a width it never has on screen.
    scroll->setWidget(m_list);
    auto *production =
        UiKit::label(loc("Production"), {.secondary = true, .textStyle = UiKit::TextStyle::Caption}, m_list);
    QFont productionFont = production->font();
    productionFont.setWeight(QFont::DemiBold);
    production->setFont(productionFont);
    production->setContentsMargins(8, 10, 0, 2);
    list->addWidget(production);
    for (SorvaneInboxFilter filter : SorvaneInboxOptions::allFilters()) {
        auto *row = new SorvaneSidebarRow(SorvaneInboxOptions::title(filter), filterSymbol(filter), false, m_list);
        row->setGlyph(Symbols::glyph(filterSymbol(filter)));
        row->setToolTip(SorvaneInboxOptions::explanation(filter));
        row->setObjectName(QStringLiteral("sorvane.filter.") + SorvaneInboxOptions::rawValue(filter));
        connect(row, &QPushButton::clicked, this, [this, filter] { m_workspace.setFilter(filter); });
        list->addWidget(row);
        m_filters.append(row);
    }
    auto *customers =
        UiKit::label(loc("Customers"), {.secondary = true, .textStyle = UiKit::TextStyle::Caption}, m_list);
    QFont customersFont = customers->font();
    customersFont.setWeight(QFont::DemiBold);
    customers->setFont(customersFont);
    customers->setContentsMargins(8, 10, 0, 2);
    list->addWidget(customers);
    m_allCustomers = new SorvaneSidebarRow(loc("All customers"), QStringLiteral("building.2"), false, m_list);
    m_allCustomers->setObjectName(QStringLiteral("sorvane.customers.all"));
    connect(m_allCustomers, &QPushButton::clicked, this, [this] { m_workspace.setCustomer(std::nullopt); });
    list->addWidget(m_allCustomers);
    m_customers = new QWidget(m_list);
    m_customerRows = new QVBoxLayout(m_customers);
    m_customerRows->setContentsMargins(0, 0, 0, 0);
    m_customerRows->setSpacing(1);
    list->addWidget(m_customers);
    m_moreCustomers = UiKit::button(loc("Load more customers"), m_list);
    m_moreCustomers->setObjectName(QStringLiteral("sorvane.customers.more"));
    connect(m_moreCustomers, &QPushButton::clicked, this, [this] { m_workspace.loadMoreCustomers(); });
    list->addWidget(m_moreCustomers);
    m_note = UiKit::label(QString(), UiKit::TextStyle::Caption, m_list);
    m_note->setObjectName(QStringLiteral("sorvane.customers.note"));
    UiKit::setSecondary(m_note);
    m_note->setContentsMargins(8, 4, 4, 4);
    list->addWidget(m_note);
    list->addStretch(1);
    layout->addWidget(scroll, 1);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);

    if (workspace.parts().queue->isDemo()) {
        auto *demo = UiKit::label(Symbols::glyph(QStringLiteral("testtube.2")) + QStringLiteral("  ")
                                             + loc("Demo · fictional tasks"),
                                         UiKit::TextStyle::Caption, this);
        demo->setObjectName(QStringLiteral("sorvane.demo"));
        demo->setContentsMargins(14, 10, 14, 0);
        layout->addWidget(demo);
    }

    auto *settingsArea = new QWidget(this);
    auto *settingsRow = new QVBoxLayout(settingsArea);
    settingsRow->setContentsMargins(10, 10, 10, 10);
    auto *settings = new SorvaneSidebarRow(loc("Indstillinger"), QStringLiteral("gearshape"), false, settingsArea);
    settings->setObjectName(QStringLiteral("sorvane.settings"));
    connect(settings, &QPushButton::clicked, this, [this] { m_workspace.showSettings(); });
    settingsRow->addWidget(settings);
    layout->addWidget(settingsArea);

    connect(&workspace, &SorvaneWorkspace::customersChanged, this, &SorvaneSidebar::rebuildCustomers);
    connect(&workspace, &SorvaneWorkspace::stateChanged, this, &SorvaneSidebar::showState);
    rebuildCustomers();
}

void SorvaneSidebar::rebuildCustomers()
{
    while (QLayoutItem *item = m_customerRows->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QList<ServiceCompany> customers = m_workspace.customerNames();
    for (const ServiceCompany &company : customers) {
        auto *row = new SorvaneSidebarRow(company.name, QStringLiteral("building.2"), false, m_customers);
        row->setToolTip(company.name);
        row->setObjectName(QStringLiteral("sorvane.customer.") + company.id.toString(QUuid::WithoutBraces).toLower());
        row->setProperty("companyID", company.id);
        const QUuid id = company.id;
        connect(row, &QPushButton::clicked, this, [this, id] { m_workspace.setCustomer(id); });
        m_customerRows->addWidget(row);
    }
    m_moreCustomers->setVisible(m_workspace.parts().queue->directory().nextCompanyID().has_value());
    m_note->setVisible(customers.isEmpty());
    m_note->setText(m_workspace.signedIn() ? loc("No assigned customers loaded yet.")
                                           : loc("Sign in from Settings to see your customers."));
    showState();
}

void SorvaneSidebar::showState()
{
    const SorvaneInboxPreferences &p = m_workspace.inbox().preferences();
    const QList<SorvaneInboxFilter> filters = SorvaneInboxOptions::allFilters();
    for (int i = 0; i < m_filters.size(); ++i)
        m_filters.at(i)->setSelected(p.filter == filters.at(i));
    m_allCustomers->setSelected(!p.companyID);
    for (int i = 0; i < m_customerRows->count(); ++i)
        if (auto *row = qobject_cast<SorvaneSidebarRow *>(m_customerRows->itemAt(i)->widget()))
            row->setSelected(p.companyID && row->property("companyID").toUuid() == *p.companyID);
    m_list->setEnabled(m_workspace.inboxEnabled());
}
