// The compose page's "Envoyer" against a real SMTP server: what the server stores, the histories,
// and what a failed send leaves behind.
#include "MailFixtures.h"

#include "MailExamine.h"
#include "ScriptedServer.h"
#include "app/Application.h"
#include "mail/KTsmtp.h"

#include <QListWidget>
#include <QPlainTextEdit>
#include <QToolButton>
#include <random>

namespace {

using Kind = ScriptedDialogs::Kind;
using Strings = std::vector<std::string>;

QStringList comboItems(const QComboBox* combo)
{
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out << combo->itemText(i);
    return out;
}

std::string randomBytes(size_t n)
{
    std::mt19937 rng(7);
    std::string s(n, '\0');
    for (char& c : s)
        c = char(rng() & 0xFF);
    return s;
}

class SendTest : public MailAppFixture {
protected:
    void SetUp() override { prepare(true); }

    // The main window with an account and a sender; withDialUpEntry: one dial-up entry, its
    // line up.
    void prepare(bool withDialUpEntry)
    {
        if (withDialUpEntry)
            useFakeDialService(true);
        smtp.start();
        TForm1& f = start();
        f.Server->HostCombo->setEditText("127.0.0.1");
        f.Server->Edit2->setText("110");
        f.Server->Edit3->setText("alice");
        f.Server->Edit4->setText("s3cret");
        f.Server->SmtpPortEdit->setText(QString::number(smtp.port()));
        f.Compose->ComboBox105->setEditText("Alice Martin");
        f.Compose->ComboBox106->setEditText("alice@example.org");
    }

    void compose(const QString& to, const QString& cc, const QString& bcc, const QString& subject, const QString& body)
    {
        TForm1& f = form();
        f.Compose->ComboBox107->setEditText(to);
        f.Compose->ComboBox108->setEditText(cc);
        f.Compose->ComboBox109->setEditText(bcc);
        f.Compose->Edit110->setText(subject);
        f.Compose->Memo100->setPlainText(body);
    }

    // Every history list, to compare before and after.
    QList<QStringList> histories()
    {
        TForm1& f = form();
        return {comboItems(f.Compose->ComboBox107), comboItems(f.Compose->ComboBox108), comboItems(f.Compose->ComboBox109),
                comboItems(f.Compose->ComboBox105), comboItems(f.Compose->ComboBox106)};
    }

    // After every send: the goodbye was said (the line is up), the button and cursor are back.
    void expectRestored()
    {
        TForm1& f = form();
        EXPECT_FALSE(f.KTSMTP1->Connected());
        EXPECT_TRUE(f.Compose->Button106->isEnabled());
        EXPECT_FALSE(ScreenCursor::IsBusy());
    }
};

TEST_F(SendTest, SendsToEveryRecipientWithTheAttachments)
{
    TForm1& f = form();
    const std::string text = "première ligne\r\nseconde ligne\r\n";
    const std::string binary = randomBytes(5000);
    testsupport::writeFileBytes(folder.file("pièces/notes.txt"), text);
    testsupport::writeFileBytes(folder.file("pièces/image.bin"), binary);
    f.Compose->ListBox100->addItem(folder.file("pièces/notes.txt"));
    f.Compose->ListBox100->addItem(folder.file("pièces/image.bin"));
    compose("Bob <bob@example.org>", "carl@example.org", "dan@example.org", "Rapport",
            "Bonjour,\n.point en tête\nFin\n");
    f.Compose->ComboBox107->setEditText("Bob <bob@example.org>, \"Martin, Zoé\" <zoe@example.org>");
    f.Compose->Button106->click();
    EXPECT_TRUE(dialogs.shown().empty()) << dialogs.shown()[0].text.toStdString();

    const auto got = smtp.messages();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].mailFrom, "alice@example.org");
    EXPECT_EQ(got[0].rcptTos, (Strings{"bob@example.org", "zoe@example.org", "carl@example.org", "dan@example.org"}));
    // The blind copy is only in the envelope.
    EXPECT_EQ(got[0].content.find("dan@"), std::string::npos);

    testsupport::TempFolder out;
    const testsupport::InspectedMessage m = testsupport::inspectMessage(got[0].file, out.path());
    EXPECT_TRUE(m.defects.empty());
    // The name is written as typed, right before the address.
    EXPECT_EQ(m.header("From"), "Alice Martin<alice@example.org>");
    EXPECT_EQ(m.header("To"), "Bob <bob@example.org>, =?UTF-8?Q?Martin=2C_Zo=C3=A9?= <zoe@example.org>");
    EXPECT_EQ(m.header("CC"), "carl@example.org");
    EXPECT_EQ(m.headerCount("Bcc"), 0);
    EXPECT_EQ(m.header("Subject"), "Rapport");
    EXPECT_EQ(m.header("X-Mailer"), "Kestrune SMTP Demo");
    ASSERT_EQ(m.parts.size(), 3u);
    EXPECT_EQ(m.parts[0].contentType, "text/plain");
    EXPECT_EQ(m.parts[0].payload, "Bonjour,\n.point en tête\nFin");
    EXPECT_EQ(m.parts[1].filename, "notes.txt");
    EXPECT_TRUE(m.parts[1].payload == text);
    EXPECT_EQ(m.parts[2].filename, "image.bin");
    EXPECT_TRUE(m.parts[2].payload == binary);

    expectRestored();
    EXPECT_EQ(f.StatusText(), "Déconnecté de SMTP");
    // The page keeps the message; the addresses, the name and the e-mail join their histories.
    EXPECT_EQ(f.Compose->ComboBox107->currentText(), "Bob <bob@example.org>, \"Martin, Zoé\" <zoe@example.org>");
    EXPECT_EQ(f.Compose->ListBox100->count(), 2);
    const QStringList addresses{"Bob <bob@example.org>, \"Martin, Zoé\" <zoe@example.org>", "carl@example.org",
                                "dan@example.org"};
    EXPECT_EQ(histories(), (QList<QStringList>{addresses, addresses, addresses, {"Alice Martin"}, {"alice@example.org"}}));

    // Sending the same addresses again adds nothing to the histories.
    f.Compose->Button106->click();
    ASSERT_EQ(smtp.messages().size(), 2u);
    EXPECT_EQ(histories(), (QList<QStringList>{addresses, addresses, addresses, {"Alice Martin"}, {"alice@example.org"}}));
}

TEST_F(SendTest, FailedSendsReportTheErrorAndChangeNoHistory)
{
    struct Case {
        const char* name;
        std::function<void(TForm1&)> setup;
        QStringList messages;  // message boxes before the error report
    };
    const Case cases[] = {
        {"no recipient at all", [](TForm1&) {}, {}},
        {"no sender address", [](TForm1& f) { f.Compose->ComboBox106->setEditText(""); f.Compose->ComboBox107->setEditText("bob@example.org"); },
         {"En-tête incomplète."}},
        {"attachment missing",
         [this](TForm1& f) {
             f.Compose->ComboBox107->setEditText("bob@example.org");
             f.Compose->ListBox100->addItem(folder.file("absent.txt"));
         },
         {}},
        {"server unreachable",
         [this](TForm1& f) {
             f.Compose->ComboBox107->setEditText("bob@example.org");
             f.Server->SmtpPortEdit->setText(QString::number(testsupport::freeLoopbackPort()));
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TForm1& f = form();
        f.Composer->NewBtnClick();
        f.Compose->ComboBox106->setEditText("alice@example.org");
        f.Server->SmtpPortEdit->setText(QString::number(smtp.port()));
        c.setup(f);
        const QList<QStringList> before = histories();
        dialogs.clear();
        f.Compose->Button106->click();
        ASSERT_FALSE(dialogs.shown().empty());
        QStringList messages;
        for (size_t i = 0; i + 1 < dialogs.shown().size(); ++i)
            messages << dialogs.shown()[i].text;
        EXPECT_EQ(messages, c.messages);
        EXPECT_EQ(dialogs.shown().back().kind, Kind::Error);
        EXPECT_TRUE(smtp.messages().empty());
        EXPECT_EQ(histories(), before);
        expectRestored();
    }
}

TEST_F(SendTest, ARetryGoesOnlyToTheRecipientsShown)
{
    TForm1& f = form();
    compose("old@example.org", "oldcc@example.org", "", "Essai", "texte");
    f.Compose->ListBox100->addItem(folder.file("absent.txt"));
    f.Compose->Button106->click();
    ASSERT_FALSE(dialogs.shown().empty());
    EXPECT_EQ(dialogs.shown().back().kind, Kind::Error);
    ASSERT_TRUE(smtp.messages().empty());

    // The user corrects the message: another recipient, no copy, no attachment.
    f.Compose->ListBox100->clear();
    compose("new@example.org", "", "", "Essai", "texte");
    dialogs.clear();
    f.Compose->Button106->click();
    EXPECT_TRUE(dialogs.shown().empty());
    const auto got = smtp.messages();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].rcptTos, Strings{"new@example.org"});
    testsupport::TempFolder out;
    const testsupport::InspectedMessage m = testsupport::inspectMessage(got[0].file, out.path());
    EXPECT_EQ(m.header("To"), "new@example.org");
    EXPECT_FALSE(m.isMultipart);
    EXPECT_EQ(comboItems(f.Compose->ComboBox107), QStringList{"new@example.org"});
    expectRestored();
}

// A refused address stops the message for everybody: the user is told which address, and
// nothing is reported sent.
TEST_F(SendTest, ARefusedRecipientIsNamedAndNothingIsSent)
{
    TForm1& f = form();
    testsupport::ScriptedServer server;
    server.reply("220 ready")
        .expect("HELO alice").reply("250 hello")
        .expect("RSET").reply("250 ok")
        .expect("MAIL FROM:<alice@example.org>").reply("250 ok")
        .expect("RCPT TO:<bob@example.org>").reply("250 ok")
        .expect("RCPT TO:<zoe@example.org>").reply("250 ok")
        .expect("RCPT TO:<carl@example.org>").reply("550-no such user").reply("550 try another")
        .expect("RSET").reply("250 flushed")
        .expect("QUIT").reply("221 bye")
        .start();
    f.Server->SmtpPortEdit->setText(QString::number(server.port()));
    compose("bob@example.org; Zoé <zoe@example.org>", "Carl <carl@example.org>", "", "Essai", "texte");
    f.Compose->Button106->click();
    ASSERT_TRUE(server.waitFinished());
    EXPECT_TRUE(server.failures().empty()) << server.failures()[0];
    ASSERT_EQ(dialogs.shown().size(), 2u);
    EXPECT_EQ(dialogs.shown()[0].kind, Kind::Message);
    EXPECT_EQ(dialogs.shown()[0].text, "Destinataire \"Carl <carl@example.org>\" introuvable");
    EXPECT_EQ(dialogs.shown()[1].kind, Kind::Error);
    EXPECT_EQ(dialogs.shown()[1].text,
              "Message non envoyé. Destinataires refusés par le serveur :\nCarl <carl@example.org> : 550 try another");
    EXPECT_NE(f.StatusText(), "Terminé.");
    EXPECT_TRUE(comboItems(f.Compose->ComboBox107).isEmpty());
    expectRestored();
}

TEST_F(SendTest, IncompleteAccountDetailsSendNothing)
{
    TForm1& f = form();
    compose("bob@example.org", "", "", "Essai", "texte");
    f.Server->Edit4->clear();
    f.ShowPage(f.Compose);
    f.Compose->Button106->click();
    EXPECT_EQ(f.PageControl1->currentWidget(), f.Server);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "Veuillez d'abord saisir vos coordonnées complètes de messagerie.");
    EXPECT_TRUE(smtp.messages().empty());
    EXPECT_TRUE(f.Compose->Button106->isEnabled());
    EXPECT_FALSE(ScreenCursor::IsBusy());
}

class SendWithoutDialUpTest : public SendTest {
protected:
    void SetUp() override { prepare(false); }
};

// Without any dial-up entry the program says so and sends nothing.
TEST_F(SendWithoutDialUpTest, NoEntryDefinedSendsNothing)
{
    TForm1& f = form();
    compose("bob@example.org", "", "", "Essai", "texte");
    f.Compose->Button106->click();
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "Aucune connexion n'est définie dans le gestionnaire de réseau. Utilisez le bouton \"Créer\".");
    EXPECT_TRUE(smtp.messages().empty());
    EXPECT_FALSE(f.KTSMTP1->Connected());
    EXPECT_TRUE(f.Compose->Button106->isEnabled());
    EXPECT_FALSE(ScreenCursor::IsBusy());
}

} // namespace
