#include "sorvaneaiconnectionpanel.h"

#include "foundation/localization.h"
#include "foundation/ui/screenfit.h"
#include "foundation/ui/uikit.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QStyle>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

void monospace(QLabel *label)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(label->font().pointSizeF());
    label->setFont(font);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
}

constexpr qreal callout = 12.0 / 13.0;
constexpr qreal caption = 10.0 / 13.0;

// Standard-clipboard copy; false when nothing could take it.
bool toClipboard(const QString &value)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->clear();
    clipboard->setText(value);
    return clipboard->text() == value;
}

} // namespace

SorvaneAIConnectionPanel::SorvaneAIConnectionPanel(SorvaneAIConnectionPanelModel::Target target, QWidget *parent,
                                                   SorvaneAIConnectionPanelModel::Load load)
    : QDialog(parent), m_model(std::move(target), toClipboard, std::move(load))
{
    setObjectName(QStringLiteral("editor.ai.panel"));
    setWindowTitle(loc("Forbind AI"));
    setWindowModality(Qt::WindowModal);
    setFixedSize(600, 620);
    ScreenFit::keepDialog(this);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 24, 24, 24);
    outer->setSpacing(16);

    auto *titleRow = new QHBoxLayout;
    auto *title = UiKit::label(loc("Forbind AI"), {.scale = 17.0 / 13.0}, this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    titleRow->addWidget(title);
    titleRow->addStretch(1);
    auto *close = new QPushButton(loc("Luk"), this);
    close->setAutoDefault(false);
    close->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    titleRow->addWidget(close);
    outer->addLayout(titleRow);

    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto *content = new QWidget(scroll);
    m_column = new QVBoxLayout(content);
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(16);
    scroll->setWidget(content);
    outer->addWidget(scroll, 1);

    m_column->addWidget(UiKit::label(loc("Forbind på den computer, hvor du klipper. Installér appen i dens faste placering først."),
                                     {}, content));
    auto *folder = UiKit::label(m_model.target().inbox.toLocalFile(), {.scale = callout}, content);
    folder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_column->addWidget(folder);
    m_column->addWidget(UiKit::label(loc("AI-klienten får adgang til hentede projekter i denne mappe. Login deles ikke. Indhold, "
                                     "klienten læser, kan sendes til dens model."), {.scale = callout,
                                     .secondary = true}, content));

    m_busyRow = new QWidget(content);
    auto *busyLayout = new QHBoxLayout(m_busyRow);
    busyLayout->setContentsMargins(0, 0, 0, 0);
    auto *progress = new QProgressBar(m_busyRow);
    progress->setRange(0, 0);
    progress->setTextVisible(false);
    progress->setFixedSize(48, 10);
    busyLayout->addWidget(progress);
    busyLayout->addWidget(UiKit::label(loc("Kontrollerer lokal MCP…"), {}, m_busyRow));
    busyLayout->addStretch(1);
    m_column->addWidget(m_busyRow);

    m_error = UiKit::label(QString(), {}, content);
    UiKit::setInk(m_error, UiKit::Ink::failure);
    m_column->addWidget(m_error);

    m_again = new QPushButton(loc("Kontrollér igen"), content);
    m_again->setAutoDefault(false);
    connect(m_again, &QPushButton::clicked, &m_model, &SorvaneAIConnectionPanelModel::check);

    // Details and the connection block are rebuilt for each accepted result, between these.
    m_column->addWidget(m_again, 0, Qt::AlignLeft);
    auto *divider = new QFrame(content);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    m_column->addWidget(divider);

    m_copied = UiKit::label(QString(), {.scale = callout}, content);
    m_copied->setObjectName(QStringLiteral("editor.ai.copied"));
    m_column->addWidget(m_copied);
    m_column->addStretch(1);

    connect(&m_model, &SorvaneAIConnectionPanelModel::changed, this, &SorvaneAIConnectionPanel::refresh);
    refresh();
}

SorvaneAIConnectionPanel::~SorvaneAIConnectionPanel() { m_model.close(); }

void SorvaneAIConnectionPanel::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_started) {
        m_started = true;
        m_model.check();
    }
}

void SorvaneAIConnectionPanel::done(int result)
{
    m_model.close();
    QDialog::done(result);
}

QWidget *SorvaneAIConnectionPanel::field(const QString &title, const QString &value)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *column = new QVBoxLayout;
    column->setSpacing(2);
    column->addWidget(UiKit::label(title, {.scale = caption, .secondary = true}, row));
    auto *shown = UiKit::label(value, {.scale = callout}, row);
    monospace(shown);
    column->addWidget(shown);
    layout->addLayout(column, 1);
    auto *copy = new QToolButton(row);
    // The copy symbol of the icon theme, or the style's file icon where the theme has none.
    copy->setIcon(QIcon::fromTheme(QStringLiteral("edit-copy"), style()->standardIcon(QStyle::SP_FileIcon)));
    copy->setToolTip(loc("Kopiér %@", {title}));
    copy->setAccessibleName(loc("Kopiér %@", {title}));
    connect(copy, &QToolButton::clicked, this,
            [this, value, title] { m_model.copy(value, loc("Kopieret: %@", {title})); });
    layout->addWidget(copy, 0, Qt::AlignTop);
    return row;
}

void SorvaneAIConnectionPanel::refresh()
{
    const SorvaneAIConnectionPanelModel &model = m_model;
    m_busyRow->setVisible(model.busy());
    m_error->setVisible(model.error().has_value());
    m_error->setText(model.error() ? QStringLiteral("⚠ ") + *model.error() : QString());
    m_again->setEnabled(!model.busy());
    m_copied->setVisible(model.copied().has_value());
    m_copied->setText(model.copied() ? QStringLiteral("✓ ") + *model.copied() : QString());

    // A new check always clears the result before it sets one: rebuilding only when the result
    // comes or goes keeps an opened field list open while its values are copied.
    const auto &configuration = model.configuration();
    if (configuration.has_value() == (m_details != nullptr))
        return;
    delete m_details;
    m_details = nullptr;
    delete m_connection;
    m_connection = nullptr;
    if (!configuration)
        return;
    QWidget *content = m_again->parentWidget();
    const auto &check = configuration->check;

    m_details = new QWidget(content);
    auto *details = new QVBoxLayout(m_details);
    details->setContentsMargins(0, 0, 0, 0);
    details->setSpacing(6);
    auto *message = UiKit::label((check.ready() ? QStringLiteral("✓ ") : QStringLiteral("⚠ ")) + check.message(), {},
                                 m_details);
    message->setObjectName(QStringLiteral("editor.ai.localCheck"));
    UiKit::setInk(message, check.ready() ? UiKit::Ink::success : UiKit::Ink::attention);
    details->addWidget(message);
    if (const auto line = check.versionLine()) {
        const bool full = check.serverName && check.serverVersion && check.protocolVersion;
        auto *version = UiKit::label(*line, {.scale = caption}, m_details);
        if (full) {
            version->setObjectName(QStringLiteral("editor.ai.version"));
            monospace(version);
        }
        details->addWidget(version);
    }
    if (const auto note = check.separateVersionsNote())
        details->addWidget(UiKit::label(*note, {.scale = caption, .secondary = true}, m_details));
    m_column->insertWidget(m_column->indexOf(m_again), m_details);

    if (!model.showsConnection())
        return;
    m_connection = new QWidget(content);
    auto *block = new QVBoxLayout(m_connection);
    block->setContentsMargins(0, 0, 0, 0);
    block->setSpacing(16);
    auto *copyConfiguration = new QPushButton(loc("Kopiér konfiguration"), m_connection);
    copyConfiguration->setAutoDefault(false);
    connect(copyConfiguration, &QPushButton::clicked, this,
            [this, toml = configuration->toml] { m_model.copy(toml, loc("Konfiguration kopieret")); });
    block->addWidget(copyConfiguration, 0, Qt::AlignLeft);
    block->addWidget(UiKit::label(loc("Til ChatGPT Desktop/Codex: Indstillinger → MCP servers → Add server → STDIO. Brug felterne "
                                  "nedenfor, gem og vælg Restart. Kontrollér forbindelsen med /mcp i klienten."),
                                  {.scale = callout}, m_connection));

    // The disclosure group, collapsed at first.
    auto *disclosure = new QToolButton(m_connection);
    disclosure->setText(loc("Forbindelsesfelter"));
    disclosure->setCheckable(true);
    disclosure->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    disclosure->setArrowType(Qt::RightArrow);
    disclosure->setAutoRaise(true);
    auto *fields = new QWidget(m_connection);
    auto *fieldColumn = new QVBoxLayout(fields);
    fieldColumn->setContentsMargins(0, 8, 0, 0);
    fieldColumn->setSpacing(8);
    fieldColumn->addWidget(field(loc("Navn"), configuration->name));
    fieldColumn->addWidget(field(loc("Kommando"), configuration->command));
    for (qsizetype i = 0; i < configuration->arguments.size(); ++i)
        fieldColumn->addWidget(field(loc("Argument %lld", {qint64(i + 1)}), configuration->arguments.at(i)));
    auto *toml = UiKit::label(configuration->toml, {.scale = caption}, fields);
    monospace(toml);
    fieldColumn->addWidget(toml);
    fields->setVisible(false);
    connect(disclosure, &QToolButton::toggled, fields, [disclosure, fields](bool open) {
        disclosure->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        fields->setVisible(open);
    });
    block->addWidget(disclosure, 0, Qt::AlignLeft);
    block->addWidget(fields);

    block->addWidget(UiKit::label(loc("Testen kontrollerer kun den lokale MCP. Den bekræfter ikke forbindelse i ChatGPT, NLE eller "
                                  "cloud. Skifter du projektmappe eller appens placering, skal klientens konfiguration "
                                  "opdateres."), {.scale = caption, .secondary = true}, m_connection));
    auto *copyStart = new QPushButton(loc("Kopiér startbesked til AI"), m_connection);
    copyStart->setAutoDefault(false);
    connect(copyStart, &QPushButton::clicked, this, [this] {
        m_model.copy(SorvaneAIConnectionPanelModel::startMessage(m_model.target().requestID),
                     loc("Startbesked kopieret"));
    });
    block->addWidget(copyStart, 0, Qt::AlignLeft);
    auto *guide = new QLabel(QStringLiteral("<a href=\"https://modelcontextprotocol.io/quickstart/user\">%1</a>")
                                 .arg(loc("Officiel MCP-vejledning").toHtmlEscaped()),
                             m_connection);
    QFont small = guide->font();
    small.setPointSizeF(small.pointSizeF() * caption);
    guide->setFont(small);
    guide->setOpenExternalLinks(true);
    UiKit::setLinkInk(guide);
    block->addWidget(guide, 0, Qt::AlignLeft);
    m_column->insertWidget(m_column->indexOf(m_copied), m_connection);
}
