// Desktop integration of the platform layer: Qt's French texts, one running program per user,
// and notifications on a private session bus.
#include "SessionBus.h"
#include "TestDirs.h"
#include "platform/DesktopNotifications.h"
#include "platform/QtDialogs.h"
#include "platform/SingleInstance.h"
#include "platform/Translations.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QLockFile>
#include <QMessageBox>
#include <QPushButton>
#include <QKeyEvent>
#include <QTimer>
#include <QTranslator>
#include <gtest/gtest.h>

namespace {

TEST(FrenchTexts, StandardButtonsSpeakFrench)
{
    ASSERT_TRUE(InstallFrenchQtTranslations(*qApp)) << "qt6-translations-l10n is not installed";
    const std::pair<QDialogButtonBox::StandardButton, const char*> cases[] = {
        {QDialogButtonBox::Yes, "&Oui"},
        {QDialogButtonBox::No, "&Non"},
        {QDialogButtonBox::Cancel, "Annuler"},
        {QDialogButtonBox::Open, "Ouvrir"},
        {QDialogButtonBox::Close, "Fermer"},
    };
    QDialogButtonBox box;
    for (const auto& [button, text] : cases) {
        box.setStandardButtons(button);
        EXPECT_EQ(box.button(button)->text(), QString::fromUtf8(text));
    }
}

// The questions as the user meets them: French buttons, and Enter takes the default answer.
TEST(FrenchTexts, QuestionBoxesAnswerEnterWithTheirDefault)
{
    ASSERT_TRUE(InstallFrenchQtTranslations(*qApp));
    struct Case {
        const char* name;
        bool defaultNo;
        bool answer;
    };
    const Case cases[] = {{"Oui by default", false, true}, {"Non by default", true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QtDialogs dialogs;
        QStringList buttons;
        QTimer press;
        QObject::connect(&press, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            press.stop();
            for (QAbstractButton* b : box->buttons())
                buttons << b->text();
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QCoreApplication::sendEvent(box, &enter);
        });
        press.start(10);
        const QString question = QStringLiteral("Voulez-vous aussi fermer la connexion \"Box\" ?");
        const bool yes = c.defaultNo ? dialogs.ConfirmYesNoDefaultNo(question) : dialogs.ConfirmYesNo(question);
        EXPECT_EQ(yes, c.answer);
        buttons.sort();
        EXPECT_EQ(buttons, QStringList({"&Non", "&Oui"}));
    }
}

TEST(FrenchTexts, AMissingCatalogueLeavesQtsOwnTexts)
{
    testsupport::TempFolder empty;
    EXPECT_FALSE(InstallFrenchQtTranslations(*qApp, empty.path()));
}

TEST(OneProgram, ASecondStartHandsOverToTheFirst)
{
    testsupport::TempFolder runtime;
    SingleInstance first(QStringLiteral("brevicor"), runtime.path());
    ASSERT_TRUE(first.Claim());
    int requests = 0;
    QObject::connect(&first, &SingleInstance::ActivationRequested, [&] { ++requests; });

    SingleInstance second(QStringLiteral("brevicor"), runtime.path());
    EXPECT_FALSE(second.Claim());
    EXPECT_TRUE(testsupport::waitUntil([&] { return requests == 1; }, 5000));
    EXPECT_EQ(QFile::permissions(first.SocketPath()) & (QFileDevice::WriteOther | QFileDevice::WriteGroup), 0);
}

TEST(OneProgram, ALockLeftByAProgramThatEndedIsTakenOver)
{
    testsupport::TempFolder runtime;
    // A lock naming a process that no longer exists, and its dead socket.
    QFile lock(runtime.file("brevicor.lock"));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write("999999\nbrevicor\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    lock.close();
    QFile socket(runtime.file("brevicor.sock"));
    ASSERT_TRUE(socket.open(QIODevice::WriteOnly));
    socket.close();
    SingleInstance instance(QStringLiteral("brevicor"), runtime.path());
    EXPECT_TRUE(instance.Claim());
}

TEST(Notifications, TextIsEscapedForServicesThatReadMarkup)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Alice <alice@example.org> — Réunion", "Alice &lt;alice@example.org&gt; — Réunion"},
        {"Tom & Jerry", "Tom &amp; Jerry"},
        {"<b>gras</b>", "&lt;b&gt;gras&lt;/b&gt;"},
    };
    for (const auto& [text, escaped] : cases)
        EXPECT_EQ(DesktopNotifications::EscapeMarkup(QString::fromUtf8(text)), QString::fromUtf8(escaped));
}

TEST(Notifications, OnlyTheClickedNotificationRunsItsAction)
{
    testsupport::SessionBus bus;
    testsupport::FakeNotificationService service(bus.connect(QStringLiteral("service")));
    DesktopNotifications notifications(bus.connect(QStringLiteral("program")));
    QStringList clicked;
    notifications.Notify(QStringLiteral("Un"), QStringLiteral("corps 1"), [&] { clicked << QStringLiteral("un"); });
    notifications.Notify(QStringLiteral("Deux"), QStringLiteral("corps 2"), [&] { clicked << QStringLiteral("deux"); });
    ASSERT_TRUE(testsupport::waitUntil([&] { return notifications.Pending() == 2; }));
    ASSERT_EQ(service.shown.size(), 2u);
    EXPECT_EQ(service.shown[0].summary, "Un");
    EXPECT_EQ(service.shown[1].body, "corps 2");
    service.click(service.shown[1].id);
    ASSERT_TRUE(testsupport::waitUntil([&] { return notifications.Pending() == 1; }));
    EXPECT_EQ(clicked, QStringList({"deux"}));
}

TEST(Notifications, NoServiceOnTheBusIsNotAnError)
{
    testsupport::SessionBus bus;
    DesktopNotifications notifications(bus.connect(QStringLiteral("program")));
    bool clicked = false;
    notifications.Notify(QStringLiteral("Un"), QString(), [&] { clicked = true; });
    testsupport::waitUntil([] { return false; }, 300);
    EXPECT_EQ(notifications.Pending(), 0u);
    EXPECT_FALSE(clicked);
}

} // namespace
