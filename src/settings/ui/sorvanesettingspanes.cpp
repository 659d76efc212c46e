// The panes of the settings sheet: each one's content, then the list that
// declares them in the sheet's order.
#include "sorvanesettingspane.h"

#include "sorvanesettingsview.h"

#include "editor/editormodel.h"
#include "editor/ui/projectlocationview.h"
#include "foundation/localization.h"
#include "foundation/ui/editorsettingsview.h"
#include "foundation/ui/symbols.h"
#include "foundation/ui/uikit.h"
#include "profiles/sorvaneprofilesmodel.h"
#include "profiles/ui/sorvaneownprofileview.h"
#include "servicequeue/servicequeuemodel.h"
#include "session/editorsession.h"
#include "session/ui/editoraccountview.h"
#include "session/ui/editorsigninview.h" // completes the account view's QPointer

#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>

namespace {

using Builder = SorvaneSettingsPaneBuilder;

QWidget *account(Builder &b)
{
    SorvaneSettingsView &sheet = b.sheet();
    SorvaneSettingsModel &model = b.model();
    const SorvaneSettingsModel::Parts &parts = model.parts();
    QList<QWidget *> elements = b.header();
    elements << UiKit::label(loc("Your account controls which customers and tasks you can access."),
                             {.secondary = true}, &sheet);
    if (model.demo()) {
        elements << new QLabel(loc("Demo · fictional tasks"), &sheet);
        return b.scrolling(elements);
    }
    if (model.accountShowsProfile()) {
        elements << new SorvaneOwnProfileView(*parts.profiles, parts.editor, {}, &sheet);
        elements << Builder::divider(QFrame::HLine, &sheet);
    }
    elements << new EditorAccountView(*parts.account, [model = QPointer(&model)] {
        if (model)
            model->beforeLogout();
    }, &sheet);
    return b.scrolling(elements);
}

QWidget *storage(Builder &b)
{
    SorvaneSettingsView &sheet = b.sheet();
    SorvaneSettingsModel &model = b.model();
    QList<QWidget *> elements = b.header();
    elements << UiKit::label(loc("Storage is remembered for the selected customer. Choose a task in the inbox "
                             "to change customer."), {.secondary = true}, &sheet);
    if (const auto company = model.parts().queue->directory().selectedCompany()) {
        QFont headline = sheet.font();
        headline.setBold(true);
        elements << Builder::labelled(QStringLiteral("building.2"), company->name, headline, &sheet);
    }
    auto *location = new ProjectLocationView(model.parts().editor, [model = QPointer(&model)] {
        if (model)
            model->chooseStorage();
    }, &sheet);
    b.follow(location);
    elements << location;
    return b.scrolling(elements);
}

QWidget *ai(Builder &b)
{
    SorvaneSettingsView &sheet = b.sheet();
    SorvaneSettingsModel &model = b.model();
    QList<QWidget *> elements = b.header();
    elements << UiKit::label(loc("Connect your local AI assistant to the selected task and project folder. The "
                             "assistant still needs your approval before sending work."), {.secondary = true}, &sheet);
    if (const auto &detail = model.parts().queue->openedTask().detail()) {
        auto *task = new QLabel(detail->request.title, &sheet);
        task->setTextFormat(Qt::PlainText);
        QFont headline = task->font();
        headline.setBold(true);
        task->setFont(headline);
        elements << task;
    }
    if (const auto path = model.parts().editor->storagePath()) {
        auto *label = UiKit::label(*path, {.scale = 0.85, .secondary = true}, &sheet);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        elements << label;
    }
    auto *connectButton = new QPushButton(loc("Connect AI"), &sheet);
    connectButton->setObjectName(QStringLiteral("editor.ai.connect"));
    connectButton->setAutoDefault(false);
    Symbols::applyThemed(connectButton, symbol(SorvaneSettingsSection::ai));
    QObject::connect(connectButton, &QPushButton::clicked, &sheet, &SorvaneSettingsView::openAIConnection);
    b.follow(connectButton);
    elements << b.row(connectButton);
    if (model.showsStorageJump()) {
        elements << UiKit::label(loc("Choose a project folder in Project storage first."), {.secondary = true}, &sheet);
        auto *jump = new QPushButton(loc("Project storage"), &sheet);
        jump->setObjectName(QStringLiteral("sorvane.settings.storageJump"));
        jump->setAutoDefault(false);
        QObject::connect(jump, &QPushButton::clicked, &model,
                         [model = &model] { model->setSection(SorvaneSettingsSection::storage); });
        elements << b.row(jump);
    }
    return b.scrolling(elements);
}

// The cloud and package views come from the sheet's slots and bring their own layout.
QWidget *slotted(Builder &b, const SorvaneSettingsView::ViewBuilder &view)
{
    QWidget *pane = view ? view(&b.sheet()) : new QWidget(&b.sheet());
    b.follow(pane);
    return pane;
}

QWidget *cloud(Builder &b)
{
    return slotted(b, b.sheet().parts().cloud);
}

QWidget *packages(Builder &b)
{
    return slotted(b, b.sheet().parts().packages);
}

QWidget *language(Builder &b)
{
    QList<QWidget *> elements = b.header();
    elements << new EditorSettingsView(&b.sheet());
    return b.scrolling(elements);
}

QWidget *updates(Builder &b)
{
    QList<QWidget *> elements = b.header();
    if (const auto &view = b.sheet().parts().updates)
        elements << view(&b.sheet());
    return b.scrolling(elements);
}

QWidget *advanced(Builder &b)
{
    SorvaneSettingsView &sheet = b.sheet();
    SorvaneSettingsModel &model = b.model();
    QList<QWidget *> elements = b.header();
    elements << UiKit::label(loc("The installed app includes its tools. Choose another tools folder only for "
                             "an explicit development or support task."), {.secondary = true}, &sheet);
    auto *path = UiKit::label(model.parts().editor->repository(), {.scale = 0.85, .secondary = true}, &sheet);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSizeF(path->font().pointSizeF());
    path->setFont(mono);
    path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    path->setObjectName(QStringLiteral("sorvane.settings.toolsPath"));
    elements << path;
    auto *choose = new QPushButton(loc("Vælg værktøjsmappe…"), &sheet);
    choose->setObjectName(QStringLiteral("sorvane.settings.chooseTools"));
    choose->setAutoDefault(false);
    QObject::connect(choose, &QPushButton::clicked, &model, &SorvaneSettingsModel::chooseTools);
    b.follow(choose);
    elements << b.row(choose);
    return b.scrolling(elements);
}

QString orDash(const std::optional<QString> &text)
{
    return text.value_or(QStringLiteral("-"));
}

using Section = SorvaneSettingsSection;
using Model = SorvaneSettingsModel;

// The order is the sidebar's.
constexpr SorvaneSettingsPane panes[] = {
    {.section = Section::account, .id = "account", .title = locKey("Account"), .symbol = "person.crop.circle",
     .create = account, .key = [](const Model &m) { return QStringList{QString::number(m.signedIn())}; }},
    {.section = Section::storage, .id = "storage", .title = locKey("Project storage"), .symbol = "externaldrive",
     .create = storage,
     .key = [](const Model &m) {
         const auto company = m.parts().queue->directory().selectedCompany();
         return QStringList{company ? company->name : QStringLiteral("-")};
     },
     .enabled = &Model::storageEnabled},
    {.section = Section::ai, .id = "ai", .title = locKey("Connect AI"),
     .symbol = "point.3.connected.trianglepath.dotted", .create = ai,
     .key = [](const Model &m) {
         const auto &detail = m.parts().queue->openedTask().detail();
         return QStringList{QString::number(m.hasProjectFolder()),
                            detail ? detail->request.title : QStringLiteral("-"),
                            orDash(m.parts().editor->storagePath())};
     },
     .enabled = &Model::connectAIEnabled},
    {.section = Section::cloud, .id = "cloud", .title = locKey("Cloud backups"), .symbol = "icloud", .create = cloud,
     .enabled = &Model::cloudEnabled},
    {.section = Section::packages, .id = "packages", .title = locKey("Local project packages"),
     .symbol = "shippingbox", .create = packages, .enabled = &Model::packagesEnabled},
    {.section = Section::language, .id = "language", .title = locKey("Appens sprog"), .symbol = "character.bubble",
     .create = language},
    {.section = Section::updates, .id = "updates", .title = locKey("Updates"), .symbol = "arrow.down.circle",
     .create = updates},
    {.section = Section::advanced, .id = "advanced", .title = locKey("Advanced tools"),
     .symbol = "wrench.and.screwdriver", .create = advanced,
     .key = [](const Model &m) { return QStringList{m.parts().editor->repository()}; },
     .enabled = &Model::chooseToolsEnabled},
};

constexpr bool inSectionOrder()
{
    for (std::size_t index = 0; index < std::size(panes); ++index)
        if (panes[index].section != Section(index))
            return false;
    return true;
}
static_assert(inSectionOrder(), "the panes are declared in the order of SorvaneSettingsSection");

} // namespace

std::span<const SorvaneSettingsPane> settingsPanes()
{
    return panes;
}
