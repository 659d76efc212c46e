#include "projectlocationview.h"

#include "editor/editormodel.h"
#include "editor/editorpresentation.h"
#include "editorsymbols.h"
#include "foundation/localization.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel *captionLabel(QWidget *parent, const char *name, qreal scale)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    label->setFont(font);
    return label;
}

} // namespace

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
    EditorSymbols::apply(m_chooseButton, QStringLiteral("externaldrive"));
    connect(m_chooseButton, &QPushButton::clicked, this, [this] {
        if (m_choose)
            m_choose();
    });
    layout->addWidget(m_chooseButton, 0, Qt::AlignLeft);

    m_diskRow = new QWidget(this);
    auto *diskLayout = new QHBoxLayout(m_diskRow);
    diskLayout->setContentsMargins(0, 0, 0, 0);
    auto *diskIcon = new QLabel(m_diskRow);
    EditorSymbols::apply(diskIcon, QStringLiteral("externaldrive"));
    m_disk = captionLabel(m_diskRow, "editor.projectLocation.disk", 0.9);
    QFont bold = m_disk->font();
    bold.setBold(true);
    m_disk->setFont(bold);
    diskLayout->addWidget(diskIcon);
    diskLayout->addWidget(m_disk, 1);
    layout->addWidget(m_diskRow);

    m_path = captionLabel(this, "editor.projectLocation.path", 0.9);
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_path->setWordWrap(true);
    m_path->setForegroundRole(QPalette::PlaceholderText);
    // At most three lines; the tooltip keeps the whole path.
    m_path->setMaximumHeight(m_path->fontMetrics().lineSpacing() * 3);
    layout->addWidget(m_path);

    m_scope = captionLabel(this, "editor.projectLocation.scope", 0.8);
    m_scope->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(m_scope);

    m_issueRow = new QWidget(this);
    auto *issueLayout = new QVBoxLayout(m_issueRow);
    issueLayout->setContentsMargins(0, 0, 0, 0);
    auto *issueLine = new QWidget(m_issueRow);
    auto *issueLineLayout = new QHBoxLayout(issueLine);
    issueLineLayout->setContentsMargins(0, 0, 0, 0);
    auto *warning = new QLabel(issueLine);
    EditorSymbols::apply(warning, QStringLiteral("exclamationmark.triangle"));
    m_issue = captionLabel(issueLine, "editor.projectLocation.issue", 0.9);
    m_issue->setWordWrap(true);
    m_issue->setStyleSheet(QStringLiteral("color: #d97706;"));
    issueLineLayout->addWidget(warning, 0, Qt::AlignTop);
    issueLineLayout->addWidget(m_issue, 1);
    issueLayout->addWidget(issueLine);
    m_retry = new QPushButton(loc("Prøv igen"), m_issueRow);
    m_retry->setObjectName(QStringLiteral("editor.projectLocation.retry"));
    connect(m_retry, &QPushButton::clicked, this, [this] { m_model->restoreStorage(true); });
    issueLayout->addWidget(m_retry, 0, Qt::AlignLeft);
    layout->addWidget(m_issueRow);

    auto *note = captionLabel(this, "editor.projectLocation.note", 0.8);
    note->setText(loc("Originaler og arbejdsfiler gemmes her. Et nyt valg flytter ikke eksisterende filer."));
    note->setWordWrap(true);
    note->setForegroundRole(QPalette::PlaceholderText);
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
