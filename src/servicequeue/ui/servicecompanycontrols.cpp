#include "servicecompanycontrols.h"

#include "editor/editormodel.h"
#include "foundation/ui/symbols.h"
#include "foundation/localization.h"
#include "foundation/ui/uikit.h"
#include "servicequeue/servicequeuemodel.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

ServiceCompanyControls::ServiceCompanyControls(ServiceQueueModel &model, EditorModel &editorModel,
                                               ServiceQueueEditor &editor, QWidget *parent)
    : QWidget(parent), m_model(model), m_editorModel(editorModel), m_editor(editor)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);

    m_demo = UiKit::label({}, {.name = QStringLiteral("service.companies.demo")}, this);
    m_demo->setText(QStringLiteral("\U0001F9EA ") + loc("Demo · Syntetiske virksomheder, ingen netværksforbindelse"));
    UiKit::setSecondary(m_demo);
    layout->addWidget(m_demo);
    m_signIn = UiKit::label({}, {.name = QStringLiteral("service.companies.signIn")}, this);
    m_signIn->setText(loc("Sign in from Settings to fetch your customers and tasks."));
    UiKit::setSecondary(m_signIn);
    layout->addWidget(m_signIn);

    m_fetch = new QPushButton(this);
    m_fetch->setObjectName(QStringLiteral("service.companies.fetch"));
    Symbols::applyThemed(m_fetch, QStringLiteral("arrow.clockwise"));
    connect(m_fetch, &QPushButton::clicked, this, [this] { m_model.fetchCompanies(m_editor, false); });
    layout->addWidget(m_fetch, 0, Qt::AlignLeft);

    m_progress = new QWidget(this);
    m_progress->setObjectName(QStringLiteral("service.companies.progress"));
    auto *progressRow = new QHBoxLayout(m_progress);
    progressRow->setContentsMargins(0, 0, 0, 0);
    auto *spinner = new QProgressBar(m_progress);
    spinner->setRange(0, 0); // indeterminate
    spinner->setTextVisible(false);
    spinner->setFixedSize(60, 10);
    progressRow->addWidget(spinner);
    progressRow->addWidget(new QLabel(loc("Henter virksomheder…"), m_progress));
    progressRow->addStretch(1);
    layout->addWidget(m_progress);

    m_error = UiKit::label({}, {.name = QStringLiteral("service.companies.error")}, this);
    UiKit::setInk(m_error, UiKit::Ink::companyFailure);
    layout->addWidget(m_error);

    m_empty = UiKit::label({}, {.name = QStringLiteral("service.companies.empty")}, this);
    m_empty->setText(loc("Ingen virksomheder er tildelt denne konto. Bed platformens administrator om adgang."));
    UiKit::setSecondary(m_empty);
    layout->addWidget(m_empty);

    m_picker = new QComboBox(this);
    m_picker->setObjectName(QStringLiteral("service.companies.picker"));
    m_picker->setAccessibleName(loc("Virksomhed"));
    m_picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_picker->setMinimumContentsLength(24);
    // `activated` comes only from the person: filling the list or following
    // the model never chooses a company.
    connect(m_picker, &QComboBox::activated, this, [this](int index) {
        const QVariant data = m_picker->itemData(index);
        const std::optional<QUuid> id = data.isValid() ? std::optional(data.toUuid()) : std::nullopt;
        if (id != m_model.directory().selectedCompanyID())
            m_model.selectCompany(id, m_editor);
        fillPicker(); // shows the model's choice, also when it refused this one
    });
    layout->addWidget(m_picker, 0, Qt::AlignLeft);

    m_selected = UiKit::label({}, {.name = QStringLiteral("service.companies.selected")}, this);
    QFont headline = m_selected->font();
    headline.setBold(true);
    m_selected->setFont(headline);
    layout->addWidget(m_selected);

    m_more = new QPushButton(loc("Hent flere virksomheder"), this);
    m_more->setObjectName(QStringLiteral("service.companies.more"));
    connect(m_more, &QPushButton::clicked, this, [this] { m_model.fetchCompanies(m_editor, true); });
    layout->addWidget(m_more, 0, Qt::AlignLeft);

    connect(&m_model.directory(), &ServiceCompanyDirectory::changed, this, &ServiceCompanyControls::update);
    connect(&m_editorModel, &EditorModel::credentialsChanged, this, &ServiceCompanyControls::update);
    update();
}

void ServiceCompanyControls::fillPicker()
{
    const QSignalBlocker quiet(m_picker);
    const QList<ServiceCompany> &companies = m_model.directory().companies();
    bool same = m_picker->count() == companies.size() + 1;
    for (qsizetype i = 0; same && i < companies.size(); ++i)
        same = m_picker->itemData(int(i + 1)).toUuid() == companies.at(i).id
            && m_picker->itemText(int(i + 1)) == companies.at(i).name;
    if (!same) {
        m_picker->clear();
        m_picker->addItem(loc("Vælg virksomhed"));
        for (const ServiceCompany &company : companies)
            m_picker->addItem(company.name, company.id);
    }
    int current = 0;
    for (qsizetype i = 0; i < companies.size(); ++i)
        if (companies.at(i).id == m_model.directory().selectedCompanyID())
            current = int(i + 1);
    m_picker->setCurrentIndex(current);
}

void ServiceCompanyControls::update()
{
    const bool signedIn = !m_editorModel.credentials().isEmpty();
    m_demo->setVisible(m_model.isDemo());
    m_signIn->setVisible(!m_model.isDemo() && !signedIn);
    m_fetch->setText(m_model.directory().companiesLoaded() ? loc("Opdatér mine virksomheder") : loc("Hent mine virksomheder"));
    m_fetch->setEnabled(signedIn && !m_model.directory().loadingCompanies());
    m_progress->setVisible(m_model.directory().loadingCompanies());
    const auto error = m_model.directory().companyError();
    m_error->setVisible(error.has_value());
    m_error->setText(error ? QStringLiteral("\u26A0 ") + *error : QString());

    const bool verified = m_model.directory().companiesVerified();
    const bool none = m_model.directory().companies().isEmpty();
    m_empty->setVisible(verified && none);
    m_picker->setVisible(verified && !none);
    fillPicker();
    const auto selected = m_model.directory().selectedCompany();
    m_selected->setVisible(verified && !none && selected.has_value());
    m_selected->setText(selected ? selected->name : QString());
    m_more->setVisible(verified && !none && m_model.directory().nextCompanyID().has_value());
}
