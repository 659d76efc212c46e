#include "packageview.h"
#include "scrollingcolumn.h"

#include "editor/desktopservices.h"
#include "editor/editormodel.h"
#include "editor/editorpresentation.h"
#include "foundation/ui/uikit.h"
#include "foundation/ui/symbols.h"
#include "foundation/localization.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace EditorPresentation;

PackageView::PackageView(QSharedPointer<EditorModel> model, std::shared_ptr<DesktopServices> desktop,
                         BriefFactory brief, QWidget *parent)
    : QWidget(parent), m_model(std::move(model)), m_desktop(std::move(desktop)), m_briefFactory(std::move(brief))
{
    auto *layout = addScrollingColumn(this, 950, 22);
    QWidget *content = layout->parentWidget();

    m_title = new QLabel(content);
    m_title->setObjectName(QStringLiteral("editor.package.title"));
    QFont large = m_title->font();
    large.setPointSizeF(large.pointSizeF() * 1.8);
    large.setBold(true);
    m_title->setFont(large);
    m_title->setWordWrap(true);
    layout->addWidget(m_title);

    auto *kindRow = new QWidget(content);
    auto *kindLayout = new QHBoxLayout(kindRow);
    kindLayout->setContentsMargins(0, 0, 0, 0);
    m_kindIcon = new QLabel(kindRow);
    m_kindIcon->setObjectName(QStringLiteral("editor.package.kindIcon"));
    m_kind = new QLabel(kindRow);
    m_kind->setObjectName(QStringLiteral("editor.package.kind"));
    QFont headline = m_kind->font();
    headline.setBold(true);
    m_kind->setFont(headline);
    kindLayout->addWidget(m_kindIcon);
    kindLayout->addWidget(m_kind, 1);
    layout->addWidget(kindRow);

    m_briefSlot = new QVBoxLayout();
    m_briefSlot->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(m_briefSlot);

    m_prepare = new QPushButton(content);
    m_prepare->setObjectName(QStringLiteral("editor.package.prepare"));
    UiKit::makeProminent(m_prepare);
    connect(m_prepare, &QPushButton::clicked, this, [this] { m_model->prepare(); });
    layout->addWidget(m_prepare, 0, Qt::AlignLeft);

    m_description = new QLabel(content);
    m_description->setObjectName(QStringLiteral("editor.package.description"));
    m_description->setWordWrap(true);
    UiKit::setSecondary(m_description);
    layout->addWidget(m_description);

    m_handoffBox = new QGroupBox(content);
    m_handoffBox->setObjectName(QStringLiteral("editor.package.handoff"));
    auto *box = new QVBoxLayout(m_handoffBox);
    box->setSpacing(10);
    box->setContentsMargins(8, 8, 8, 8);
    m_handoffSummary = new QLabel(m_handoffBox);
    m_handoffSummary->setObjectName(QStringLiteral("editor.package.handoff.summary"));
    m_handoffSummary->setWordWrap(true);
    box->addWidget(m_handoffSummary);
    m_notices = new QVBoxLayout();
    m_notices->setContentsMargins(0, 0, 0, 0);
    box->addLayout(m_notices);
    m_startGuide = new QPushButton(loc("Åbn startvejledning"), m_handoffBox);
    m_startGuide->setObjectName(QStringLiteral("editor.package.handoff.startGuide"));
    Symbols::applyThemed(m_startGuide, QStringLiteral("doc.text"));
    connect(m_startGuide, &QPushButton::clicked, this, [this] {
        if (const auto &handoff = m_model->handoff(); handoff && m_desktop)
            m_desktop->openFile(startGuidePath(*handoff));
    });
    box->addWidget(m_startGuide, 0, Qt::AlignLeft);
    m_reveal = new QPushButton(loc("Vis i Finder"), m_handoffBox);
    m_reveal->setObjectName(QStringLiteral("editor.package.handoff.reveal"));
    Symbols::applyThemed(m_reveal, QStringLiteral("folder"));
    connect(m_reveal, &QPushButton::clicked, this, [this] {
        if (const auto &handoff = m_model->handoff(); handoff && m_desktop)
            m_desktop->revealFolder(handoff->folder);
    });
    box->addWidget(m_reveal, 0, Qt::AlignLeft);
    layout->addWidget(m_handoffBox);
    layout->addStretch(1);

    connect(m_model.data(), &EditorModel::contextChanged, this, &PackageView::rebuildContext);
    connect(m_model.data(), &EditorModel::stateChanged, this, &PackageView::update);
    rebuildContext();
}

void PackageView::rebuildContext()
{
    delete m_brief;
    m_brief = nullptr;
    const auto &context = m_model->context();
    if (context && m_briefFactory) {
        m_brief = m_briefFactory(*context, m_title->parentWidget());
        if (m_brief)
            m_briefSlot->addWidget(m_brief);
    }
    update();
}

void PackageView::update()
{
    const auto &context = m_model->context();
    if (!context)
        return;
    const ServiceKind kind = packageKind(context->summary);
    m_title->setText(context->summary.title);
    m_kind->setText(kindTitle(kind));
    Symbols::apply(m_kindIcon, kindSymbol(kind));
    m_prepare->setText(prepareTitle(*context));
    Symbols::applyThemed(m_prepare, kindSymbol(kind));
    m_prepare->setEnabled(canPrepare(*m_model, *context));
    m_description->setText(prepareDescription(*context));

    const auto &handoff = m_model->handoff();
    m_handoffBox->setVisible(handoff.has_value());
    while (QLayoutItem *item = m_notices->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    if (!handoff)
        return;
    m_handoffBox->setTitle(handoffTitle(*handoff));
    m_handoffSummary->setText(handoffSummary(*handoff));
    for (const QString &notice : handoff->notices) {
        auto *line = new QLabel(loc(notice), m_handoffBox);
        line->setObjectName(QStringLiteral("editor.package.handoff.notice"));
        line->setWordWrap(true);
        m_notices->addWidget(line);
    }
    m_startGuide->setVisible(handoffHasStartGuide(*handoff));
}
