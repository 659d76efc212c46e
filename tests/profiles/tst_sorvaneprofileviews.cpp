// The avatar, the customer line and the own profile form as a person sees them.
#include "../inbox/inboxmodelfakes.h"
#include "profilefixtures.h"

#include "editor/editormodel.h"
#include "foundation/localization.h"
#include "profiles/sorvaneownprofileform.h"
#include "profiles/ui/sorvaneavatarview.h"
#include "profiles/ui/sorvaneownprofileview.h"
#include "profiles/ui/sorvaneticketcustomerview.h"
#include "servicequeue/editorserviceadapter.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace ProfileFixtures;

namespace {

const QString me = id(1, 7);

class FakeChooser final : public SorvanePhotoChooser
{
public:
    Done pending;
    int closed = 0;
    void choose(QWidget *, Done done) override { pending = std::move(done); }
    void close() override { ++closed; }
};

std::optional<SorvanePersonProfile> profile(std::optional<QString> name, std::optional<QString> photo)
{
    return SorvanePersonProfile{QUuid(me), std::move(name), std::move(photo), std::nullopt};
}

} // namespace

class TestSorvaneProfileViews : public QObject
{
    Q_OBJECT

    std::unique_ptr<HeldBridge> bridge;
    std::unique_ptr<SorvaneProfilesModel> model;
    QSharedPointer<EditorModel> editor;
    std::shared_ptr<FakeChooser> chooser;
    std::unique_ptr<SorvaneOwnProfileView> view;

    template<class T>
    T *child(const char *name) const
    {
        return view->findChild<T *>(QString::fromLatin1(name));
    }

    void showForm(const QJsonValue &photo = QJsonValue::Null)
    {
        view = std::make_unique<SorvaneOwnProfileView>(*model, editor, chooser);
        view->show();
        QCOMPARE(bridge->count(), 1);
        bridge->answerLast(ownAnswer(person(me, "Demo Editor", photo)));
        QCOMPARE(child<QLineEdit>("sorvane.profile.name")->text(), QStringLiteral("Demo Editor"));
    }

private Q_SLOTS:
    void initTestCase() { EditorLocalization::overrideLanguageForTesting(QStringLiteral("en")); }

    void init()
    {
        bridge = std::make_unique<HeldBridge>();
        model = std::make_unique<SorvaneProfilesModel>(bridge->bridge());
        editor = EditorModel::create(nullptr);
        editor->accountChanged(QUrl(QStringLiteral("tavlon-session://first")));
        chooser = std::make_shared<FakeChooser>();
    }

    void cleanup()
    {
        view.reset();
        model.reset();
        bridge.reset();
        editor.reset();
    }

    void avatar_data()
    {
        QTest::addColumn<std::optional<SorvanePersonProfile>>("person");
        QTest::addColumn<QString>("accessibleName");
        QTest::addColumn<QColor>("edge");
        const QString photo = QString::fromLatin1(encode(solid(40, 40, QColor(200, 30, 30)), "jpeg").toBase64());
        const QColor disc = QColor::fromRgbF(0.87f, 0.92f, 0.87f);
        QTest::newRow("photo") << profile(QStringLiteral("Mette Holm"), photo) << "Profile photo for Mette Holm"
                               << QColor(200, 30, 30);
        QTest::newRow("photo text not Base64") << profile(QStringLiteral("Mette Holm"), photo.left(30) + "\n")
                                               << "Initials for Mette Holm" << disc;
        QTest::newRow("Base64 of no picture") << profile(QStringLiteral("Mette Holm"), QStringLiteral("aGVsbG8="))
                                              << "Initials for Mette Holm" << disc;
        QTest::newRow("no name: the fallback") << profile(std::nullopt, std::nullopt) << "Initials for Nordlys Film"
                                               << disc;
        QTest::newRow("no profile") << std::optional<SorvanePersonProfile>() << "Initials for Nordlys Film" << disc;
        QTest::newRow("a name is never a format") << profile(QStringLiteral("-100%@ %lld"), std::nullopt)
                                                  << "Initials for -100%@ %lld" << disc;
    }

    void avatar()
    {
        QFETCH(std::optional<SorvanePersonProfile>, person);
        QFETCH(QString, accessibleName);
        QFETCH(QColor, edge);
        SorvaneAvatarView avatar(person, QStringLiteral("Nordlys Film"), 36);
        QCOMPARE(avatar.size(), QSize(36, 36));
        QCOMPARE(avatar.accessibleName(), accessibleName);
        const QImage shot = avatar.grab().toImage();
        const QColor inside = shot.pixelColor(4, 18); // inside the circle, beside the letters
        QVERIFY2(qAbs(inside.red() - edge.red()) < 30 && qAbs(inside.green() - edge.green()) < 30, qPrintable(inside.name()));
        // Outside the circle nothing of the fill is drawn.
        QVERIFY(shot.pixelColor(0, 0) != inside);
    }

    void customerLine_data()
    {
        QTest::addColumn<std::optional<QString>>("contact");
        QTest::addColumn<std::optional<SorvanePersonProfile>>("person");
        QTest::addColumn<std::optional<QString>>("line");
        using S = std::optional<QString>;
        QTest::newRow("nobody known") << S() << std::optional<SorvanePersonProfile>() << S();
        QTest::newRow("contact only") << S("Ida Holm") << std::optional<SorvanePersonProfile>() << S("Ida Holm");
        QTest::newRow("profile name wins") << S("Ida Holm") << profile(QStringLiteral("Mette"), std::nullopt) << S("Mette");
        QTest::newRow("profile without name") << S("Ida Holm") << profile(std::nullopt, std::nullopt) << S("Ida Holm");
        QTest::newRow("same as the company, composed differently")
            << S() << profile(QStringLiteral("Nordlys Film"), std::nullopt) << S();
    }

    void customerLine()
    {
        QFETCH(std::optional<QString>, contact);
        QFETCH(std::optional<SorvanePersonProfile>, person);
        QFETCH(std::optional<QString>, line);
        SorvaneInboxRow item = row(4);
        item.company.contactName = contact;
        QCOMPARE(SorvaneTicketCustomerView::personLine(item, person), line);
        SorvaneTicketCustomerView view(item, person, true);
        QCOMPARE(view.objectName(), QStringLiteral("sorvane.customerIdentity.") + item.request.id);
        QCOMPARE(view.findChild<SorvaneAvatarView *>()->size(), QSize(28, 28));
        QCOMPARE(view.findChild<SorvaneAvatarView *>()->name(), person && person->displayName
                     ? *person->displayName : contact.value_or(item.company.name));
    }

    void saveEnabling_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("unchanged") << "Demo Editor" << false;
        QTest::newRow("new name") << "Mette" << true;
        QTest::newRow("outer spaces are a change and valid") << "Demo Editor  " << true;
        QTest::newRow("spaces only") << "    " << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("100 units") << QString(100, 'x') << true;
        QTest::newRow("101 units") << QString(101, 'x') << false;
        QTest::newRow("tab inside") << "Demo\tEditor" << false;
        QTest::newRow("zero-width format character") << QStringLiteral("Demo\u200BEditor") << false;
    }

    void saveEnabling()
    {
        QFETCH(QString, name);
        QFETCH(bool, enabled);
        showForm();
        auto *field = child<QLineEdit>("sorvane.profile.name");
        auto *save = child<QPushButton>("sorvane.profile.save");
        QVERIFY(!save->isEnabled());
        QVERIFY(child<QPushButton>("sorvane.profile.removePhoto")->isHidden());
        // Typed over the stored name, as a person would.
        field->setFocus();
        field->selectAll();
        if (name.isEmpty()) {
            QTest::keyClick(field, Qt::Key_Backspace);
        } else {
            QInputMethodEvent typed;
            typed.setCommitString(name);
            QApplication::sendEvent(field, &typed);
        }
        QCOMPARE(save->isEnabled(), enabled);
        if (!enabled)
            return;
        // While the save runs the whole form is disabled; afterwards the saved name is no change.
        save->click();
        QVERIFY(!field->isEnabled());
        bridge->answerLast(ownAnswer(person(me, name.trimmed())));
        QVERIFY(field->isEnabled());
        QVERIFY(child<QWidget>("sorvane.profile.saved")->isVisible());
        // The trimmed name was stored; outer spaces typed stay a difference.
        QCOMPARE(save->isEnabled(), name != name.trimmed());
    }

    // Minimising and restoring the window is no leaving: the typed name stays
    // and a save running meanwhile ends as usual. Leaving the pane still is.
    void minimisingKeepsTheEditsAndTheSave()
    {
        showForm();
        auto *field = child<QLineEdit>("sorvane.profile.name");
        auto *save = child<QPushButton>("sorvane.profile.save");
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, QStringLiteral("Mette"));
        const auto minimiseAndRestore = [this] {
            view->setWindowState(Qt::WindowMinimized);
            view->setWindowState(Qt::WindowNoState);
        };
        minimiseAndRestore();
        QCOMPARE(field->text(), QStringLiteral("Mette"));
        QCOMPARE(bridge->count(), 1);
        QVERIFY(save->isEnabled());
        save->click();
        QCOMPARE(bridge->count(), 2);
        minimiseAndRestore();
        QCOMPARE(bridge->count(), 2);
        QVERIFY(model->saving());
        bridge->answerLast(ownAnswer(person(me, "Mette")));
        QVERIFY(!model->saving());
        QVERIFY(child<QWidget>("sorvane.profile.saved")->isVisible());
        QCOMPARE(model->ownProfile()->displayName, std::optional<QString>(QStringLiteral("Mette")));
        // Leaving and coming back loads the profile again.
        view->hide();
        view->show();
        QCOMPARE(bridge->count(), 3);
    }

    void photoChoice_data()
    {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("a small picture") << qsizetype(0) << true;
        QTest::newRow("exactly 20 MiB") << qsizetype(20971520) << true;
        QTest::newRow("one byte more") << qsizetype(20971521) << false;
        QTest::newRow("empty file") << qsizetype(-1) << false;
    }

    void photoChoice()
    {
        QFETCH(qsizetype, size);
        QFETCH(bool, accepted);
        showForm();
        QTemporaryDir folder;
        QFile file(folder.filePath(QStringLiteral("photo.jpg")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray bytes = size < 0 ? QByteArray() : encode(solid(300, 200, Qt::darkGreen), "jpeg");
        if (size > 0)
            bytes.append(QByteArray(size - bytes.size(), '\0'));
        file.write(bytes);
        file.close();

        child<QPushButton>("sorvane.profile.choosePhoto")->click();
        QVERIFY(view->form().choosingPhoto());
        chooser->pending(QStringList{file.fileName()});
        QVERIFY(!view->form().choosingPhoto());
        auto *message = child<QLabel>("sorvane.profile.message");
        QCOMPARE(message->isVisible(), !accepted);
        if (!accepted) {
            QCOMPARE(message->text(),
                     QStringLiteral("Choose a photo that can be opened. The profile photo must be a small JPEG."));
            QVERIFY(!view->form().avatarJPEG());
            return;
        }
        QVERIFY(view->findChild<SorvaneAvatarView *>()->hasPhoto());
        QVERIFY(child<QPushButton>("sorvane.profile.save")->isEnabled());
        auto *remove = child<QPushButton>("sorvane.profile.removePhoto");
        QVERIFY(remove->isVisible());
        remove->click();
        QVERIFY(remove->isHidden());
        QVERIFY(!child<QPushButton>("sorvane.profile.save")->isEnabled());
    }

    void signingOutWhileChoosingIgnoresTheChoice()
    {
        showForm();
        child<QPushButton>("sorvane.profile.choosePhoto")->click();
        editor->accountChanged(QUrl(QStringLiteral("tavlon-session://second")));
        QCOMPARE(chooser->closed, 1);
        QVERIFY(!view->form().choosingPhoto());
        QTemporaryDir folder;
        QFile file(folder.filePath(QStringLiteral("photo.jpg")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(smallJPEG());
        file.close();
        chooser->pending(QStringList{file.fileName()});
        QVERIFY(!view->form().avatarJPEG());
        QVERIFY(!view->form().photoError());
    }

    void aFailedLoadOffersTryAgain()
    {
        view = std::make_unique<SorvaneOwnProfileView>(*model, editor, chooser);
        view->show();
        auto *again = child<QPushButton>("sorvane.profile.tryAgain");
        QVERIFY(child<QWidget>("sorvane.profile.loading")->isVisible());
        bridge->failLast(QStringLiteral("offline"));
        QVERIFY(again->isVisible() && again->isEnabled());
        QVERIFY(!child<QLineEdit>("sorvane.profile.name")->isVisible());
        again->click();
        QCOMPARE(bridge->count(), 2);
        QVERIFY(!again->isEnabled() || again->isHidden());
        bridge->answerLast(ownAnswer(person(me, "Demo Editor")));
        QVERIFY(again->isHidden());
        QVERIFY(child<QLineEdit>("sorvane.profile.name")->isVisible());
    }
};

QTEST_MAIN(TestSorvaneProfileViews)
#include "tst_sorvaneprofileviews.moc"
