#include "cloudbackupsview.h"
#include "scrollingcolumn.h"

#include "editor/editormodel.h"
#include "editor/editorpresentation.h"
#include "foundation/ui/uikit.h"
#include "foundation/ui/symbols.h"
#include "foundation/localization.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace EditorPresentation;

namespace {

QFont scaled(QFont font, qreal scale)
{
    font.setPointSizeF(font.pointSizeF() * scale);
    return font;
}

} // namespace

CloudBackupsView::CloudBackupsView(QSharedPointer<EditorModel> model, QWidget *parent)
    : QWidget(parent), m_model(std::move(model))
{
    auto *layout = addScrollingColumn(this, 780, 20);
    QWidget *content = layout->parentWidget();

    auto *title = new QLabel(loc("Hent en film fra cloud"), content);
    QFont large = scaled(title->font(), 1.8);
    large.setBold(true);
    title->setFont(large);
    layout->addWidget(title);
    auto *intro = new QLabel(loc("Find kontoens færdige sikkerhedskopier. Medier hentes først, når du vælger en kopi "
                                 "og trykker Hent."),
                             content);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    // A placeholder is gone once the field holds a company: the label keeps saying what it is.
    auto *companyLabel = new QLabel(loc("Firma-ID"), content);
    companyLabel->setObjectName(QStringLiteral("editor.cloud.companyLabel"));
    layout->addWidget(companyLabel);
    m_company = new QLineEdit(content);
    m_company->setObjectName(QStringLiteral("editor.cloud.company"));
    companyLabel->setBuddy(m_company);
    m_company->setPlaceholderText(loc("Firma-ID (kun nødvendigt ved flere firmaer)"));
    m_company->setText(m_model->company());
    connect(m_company, &QLineEdit::textEdited, this, [this](const QString &text) { m_model->setCompany(text); });
    layout->addWidget(m_company);

    m_find = new QPushButton(loc("Find cloudkopier"), content);
    m_find->setObjectName(QStringLiteral("editor.cloud.find"));
    UiKit::makeProminent(m_find);
    connect(m_find, &QPushButton::clicked, this, [this] { m_model->listCloud(); });
    layout->addWidget(m_find, 0, Qt::AlignLeft);

    m_listing = new QWidget(content);
    m_listing->setObjectName(QStringLiteral("editor.cloud.listing"));
    auto *listing = new QVBoxLayout(m_listing);
    listing->setContentsMargins(0, 0, 0, 0);
    listing->setSpacing(12);
    m_companyLine = new QLabel(m_listing);
    m_companyLine->setObjectName(QStringLiteral("editor.cloud.companyLine"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_companyLine->setFont(scaled(mono, 0.9));
    m_companyLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    listing->addWidget(m_companyLine);
    m_noBackups = new QLabel(loc("Ingen færdige cloudkopier på denne konto."), m_listing);
    m_noBackups->setObjectName(QStringLiteral("editor.cloud.empty"));
    listing->addWidget(m_noBackups);
    m_rows = new QVBoxLayout();
    m_rows->setSpacing(8);
    listing->addLayout(m_rows);
    m_download = new QPushButton(loc("Hent i klippeindbakken"), m_listing);
    m_download->setObjectName(QStringLiteral("editor.cloud.download"));
    Symbols::applyThemed(m_download, QStringLiteral("arrow.down.circle"));
    UiKit::makeProminent(m_download);
    connect(m_download, &QPushButton::clicked, this, [this] { m_model->download(); });
    listing->addWidget(m_download, 0, Qt::AlignLeft);
    auto *footnote = new QLabel(loc("Alle filer og SHA-256 skal stemme, før projektmappen bliver synlig. Eksisterende "
                                    "mapper overskrives aldrig. Listen viser færdige kopier blandt de seneste 50."),
                                m_listing);
    footnote->setObjectName(QStringLiteral("editor.cloud.footnote"));
    footnote->setWordWrap(true);
    footnote->setFont(scaled(footnote->font(), 0.9));
    UiKit::setSecondary(footnote);
    listing->addWidget(footnote);
    layout->addWidget(m_listing);

    auto *closing = new QLabel(loc("Hold appen åben under hentning. Dette er en kontrolleret lokal kopi, ikke løbende "
                                   "synkronisering eller en produktionskvittering."),
                               content);
    closing->setWordWrap(true);
    UiKit::setSecondary(closing);
    layout->addWidget(closing);

    // Another company id makes a shown listing and its chosen backup stale.
    connect(m_model.data(), &EditorModel::companyChanged, this, [this] {
        if (m_company->text() != m_model->company())
            m_company->setText(m_model->company());
        m_model->setCloud(std::nullopt);
        m_model->setSelectedCloudID(std::nullopt);
    });
    connect(m_model.data(), &EditorModel::cloudChanged, this, &CloudBackupsView::rebuildListing);
    connect(m_model.data(), &EditorModel::stateChanged, this, &CloudBackupsView::update);
    rebuildListing();
}

void CloudBackupsView::rebuildListing()
{
    while (QLayoutItem *item = m_rows->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const auto &cloud = m_model->cloud();
    if (cloud) {
        m_companyLine->setText(cloudCompanyLine(*cloud));
        m_noBackups->setVisible(cloud->backups.isEmpty());
        for (const CloudBackup &backup : cloud->backups) {
            auto *row = new QPushButton(m_listing);
            row->setObjectName(QStringLiteral("editor.cloud.backup"));
            row->setProperty("backupID", backup.id);
            row->setFlat(true);
            row->setStyleSheet(QStringLiteral("QPushButton { text-align: left; border-radius: 12px; "
                                              "background: palette(alternate-base); padding: 8px; }"));
            auto *face = new QHBoxLayout(row);
            auto *mark = new QLabel(row);
            mark->setObjectName(QStringLiteral("editor.cloud.backup.mark"));
            face->addWidget(mark, 0, Qt::AlignTop);
            auto *texts = new QVBoxLayout();
            texts->setSpacing(5);
            auto *heading = new QLabel(backupTitle(backup), row);
            heading->setObjectName(QStringLiteral("editor.cloud.backup.title"));
            QFont bold = heading->font();
            bold.setBold(true);
            heading->setFont(bold);
            texts->addWidget(heading);
            auto *completed = new QLabel(backupCompleted(backup), row);
            completed->setObjectName(QStringLiteral("editor.cloud.backup.completed"));
            completed->setFont(scaled(completed->font(), 0.9));
            texts->addWidget(completed);
            auto *id = new QLabel(backup.id, row);
            id->setObjectName(QStringLiteral("editor.cloud.backup.id"));
            id->setFont(scaled(QFontDatabase::systemFont(QFontDatabase::FixedFont), 0.8));
            texts->addWidget(id);
            face->addLayout(texts, 1);
            row->setMinimumHeight(face->sizeHint().height());
            const QString backupID = backup.id;
            connect(row, &QPushButton::clicked, this, [this, backupID] { m_model->setSelectedCloudID(backupID); });
            m_rows->addWidget(row);
        }
    }
    update();
}

void CloudBackupsView::update()
{
    const EditorModel &model = *m_model;
    setEnabled(sectionsEnabled(model));
    m_find->setEnabled(canListCloud(model));
    m_download->setEnabled(canDownload(model));
    m_listing->setVisible(model.cloud().has_value());
    for (int index = 0; index < m_rows->count(); ++index) {
        QWidget *row = m_rows->itemAt(index)->widget();
        auto *mark = row->findChild<QLabel *>(QStringLiteral("editor.cloud.backup.mark"));
        const bool chosen = model.selectedCloudID() == row->property("backupID").toString();
        Symbols::apply(mark, chosen ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle"));
    }
}
