#include "projectlocationview.h"

#include "editor/editormodel.h"
#include "editor/editorpresentation.h"
#include "foundation/ui/symbols.h"
#include "foundation/localization.h"
#include "foundation/ui/uikit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

ProjectLocationView::ProjectLocationView(QSharedPointer<EditorModel> model, std::function<void()> choose,
                                         QWidget *parent)
    : QWidget(parent), m_model(std::move(model)), m_choose(std::move(choose))
{
    // No alignment for the layout as a whole: an aligned layout keeps its
    // wrapped labels at their preferred width and cuts their last lines off.
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(7);

    auto *title = new QLabel(loc("Projektplacering"), this);
    title->setObjectName(QStringLiteral("editor.projectLocation.title"));
    QFont headline = title->font();
    headline.setBold(true);
    title->setFont(headline);
    layout->addWidget(title);

    m_chooseButton = new QPushButton(this);
    m_chooseButton->setObjectName(QStringLiteral("editor.chooseProjectLocation"));
    Symbols::applyThemed(m_chooseButton, QStringLiteral("externaldrive"));
    connect(m_chooseButton, &QPushButton::clicked, this, [this] {
        if (m_choose)
            m_choose();
    });
    layout->addWidget(m_chooseButton, 0, Qt::AlignLeft);

    m_diskRow = new QWidget(this);
    auto *diskLayout = new QHBoxLayout(m_diskRow);
    diskLayout->setContentsMargins(0, 0, 0, 0);
    auto *diskIcon = new QLabel(m_diskRow);
    Symbols::apply(diskIcon, QStringLiteral("externaldrive"));
    m_disk = UiKit::label({}, {.scale = 0.9, .wrap = false, .plain = false,
                          .name = QStringLiteral("editor.projectLocation.disk")}, m_diskRow);
    QFont bold = m_disk->font();
    bold.setBold(true);
    m_disk->setFont(bold);
    diskLayout->addWidget(diskIcon);
    diskLayout->addWidget(m_disk, 1);
    layout->addWidget(m_diskRow);

    m_path = UiKit::label({}, {.scale = 0.9, .wrap = false, .plain = false,
                          .name = QStringLiteral("editor.projectLocation.path")}, this);
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_path->setWordWrap(true);
    UiKit::setSecondary(m_path);
    // At most three lines; the tooltip keeps the whole path.
    m_path->setMaximumHeight(m_path->fontMetrics().lineSpacing() * 3);
    layout->addWidget(m_path);

    m_scope = UiKit::label({}, {.scale = 0.8, .wrap = false, .plain = false,
                           .name = QStringLiteral("editor.projectLocation.scope")}, this);
    UiKit::setSecondary(m_scope);
    layout->addWidget(m_scope);

    m_issueRow = new QWidget(this);
    auto *issueLayout = new QVBoxLayout(m_issueRow);
    issueLayout->setContentsMargins(0, 0, 0, 0);
    auto *issueLine = new QWidget(m_issueRow);
    auto *issueLineLayout = new QHBoxLayout(issueLine);
    issueLineLayout->setContentsMargins(0, 0, 0, 0);
    auto *warning = new QLabel(issueLine);
    Symbols::apply(warning, QStringLiteral("exclamationmark.triangle"));
    m_issue = UiKit::label({}, {.scale = 0.9, .wrap = false, .plain = false,
                           .name = QStringLiteral("editor.projectLocation.issue")}, issueLine);
    m_issue->setWordWrap(true);
    UiKit::setInk(m_issue, UiKit::Ink::storageIssue);
    issueLineLayout->addWidget(warning, 0, Qt::AlignTop);
    issueLineLayout->addWidget(m_issue, 1);
    issueLayout->addWidget(issueLine);
    m_retry = new QPushButton(loc("Prøv igen"), m_issueRow);
    m_retry->setObjectName(QStringLiteral("editor.projectLocation.retry"));
    connect(m_retry, &QPushButton::clicked, this, [this] { m_model->restoreStorage(true); });
    issueLayout->addWidget(m_retry, 0, Qt::AlignLeft);
    layout->addWidget(m_issueRow);

    auto *note = UiKit::label({}, {.scale = 0.8, .wrap = false, .plain = false,
                              .name = QStringLiteral("editor.projectLocation.note")}, this);
    note->setText(loc("Originaler og arbejdsfiler gemmes her. Et nyt valg flytter ikke eksisterende filer."));
    note->setWordWrap(true);
    UiKit::setSecondary(note);
    layout->addWidget(note);

    connect(m_model.data(), &EditorModel::stateChanged, this, &ProjectLocationView::update);
    update();
}

void ProjectLocationView::update()
{
    const EditorModel &model = *m_model;
    m_chooseButton->setText(EditorPresentation::chooseFolderTitle(model));
    m_diskRow->setVisible(model.storageDisk().has_value());
    m_disk->setText(model.storageDisk().value_or(QString()));
    m_path->setText(EditorPresentation::folderPathText(model));
    m_path->setToolTip(EditorPresentation::folderPathToolTip(model));
    m_scope->setText(EditorPresentation::folderScopeNote(model));
    m_issueRow->setVisible(model.storageIssue().has_value());
    m_issue->setText(model.storageIssue().value_or(QString()));
}
