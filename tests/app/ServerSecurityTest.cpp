// The "Serveur" page's security and sign-in settings: the port fields follow the security mode,
// the settings survive a restart, and a message is sent with the account's SMTP sign-in.
#include "MailFixtures.h"
#include "TestCertificates.h"
#include "app/Unit1.h"
#include "mail/KTpop3.h"
#include "platform/IniProfile.h"
#include "mail/KTsmtp.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

using Kind = ScriptedDialogs::Kind;

class ServerSecurityTest : public MailAppFixture {};

// Picks a combo entry as the user does (the "activated" signal).
void choose(QComboBox* combo, int index)
{
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

TEST_F(ServerSecurityTest, PortFieldsFollowTheSecurityMode)
{
    TForm1& f = start();
    struct Row {
        const char* name;
        QComboBox* TServerPage::*combo;
        QLineEdit* TServerPage::*port;
        const char* before;
        int mode;
        const char* after;
        bool idle = false; // the IDLE check box is offered (IMAP only)
    } rows[] = {
        {"POP3S", &TServerPage::SecurityCombo, &TServerPage::Edit2, "110", 1, "995"},
        {"back to none", &TServerPage::SecurityCombo, &TServerPage::Edit2, "995", 0, "110"},
        {"POP3 typed port kept", &TServerPage::SecurityCombo, &TServerPage::Edit2, "1995", 1, "1995"},
        {"an SMTP port is typed for POP3", &TServerPage::SecurityCombo, &TServerPage::Edit2, "25", 1, "25"},
        {"empty POP3 port", &TServerPage::SecurityCombo, &TServerPage::Edit2, "", 2, "110"},
        {"SMTP STARTTLS", &TServerPage::SmtpSecurityCombo, &TServerPage::SmtpPortEdit, "25", 2, "587"},
        {"SMTP SSL/TLS", &TServerPage::SmtpSecurityCombo, &TServerPage::SmtpPortEdit, "587", 1, "465"},
        {"SMTP typed port kept", &TServerPage::SmtpSecurityCombo, &TServerPage::SmtpPortEdit, "2525", 2, "2525"},
        {"back to port 25", &TServerPage::SmtpSecurityCombo, &TServerPage::SmtpPortEdit, "465", 0, "25"},
        {"IMAP with STARTTLS", &TServerPage::ProtocolCombo, &TServerPage::Edit2, "110", 1, "143", true},
        {"IMAPS", &TServerPage::SecurityCombo, &TServerPage::Edit2, "143", 1, "993", true},
        {"back to POP3S", &TServerPage::ProtocolCombo, &TServerPage::Edit2, "993", 0, "995"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        (f.Server->*r.port)->setText(r.before);
        choose(f.Server->*r.combo, r.mode);
        EXPECT_EQ((f.Server->*r.port)->text(), r.after);
        EXPECT_EQ(f.Server->IdleCheck->isEnabled(), r.idle);
    }
}

TEST_F(ServerSecurityTest, SettingsSurviveARestartAndFollowTheAccount)
{
    TForm1& f = start();
    f.Server->HostCombo->setEditText("pop.a.org");
    f.Server->Edit2->setText("995");
    f.Server->Edit3->setText("al");
    f.Server->Edit4->setText("pa");
    f.Server->SecurityCombo->setCurrentIndex(1);
    f.Server->ProtocolCombo->setCurrentIndex(int(TProtocol::Imap));
    f.Server->IdleCheck->setChecked(false);
    f.Server->AuthCombo->setCurrentText("SCRAM-SHA-256");
    f.Server->PasswordCommandEdit->setText("pass show mail/a");
    f.Server->SmtpHostEdit->setText("smtp.a.org");
    f.Server->SmtpPortEdit->setText("587");
    f.Server->SmtpSecurityCombo->setCurrentIndex(2);
    f.Server->SmtpSignInCombo->setCurrentIndex(2);
    f.Server->SmtpUserEdit->setText("al@a.org");
    f.Server->SmtpPasswordEdit->setText("sp");
    f.SaveSettings();
    // Another account shows its own (default) settings.
    f.Server->HostCombo->setEditText("pop.b.org");
    f.HostComboClick();
    EXPECT_EQ(f.Server->SecurityCombo->currentIndex(), 0);
    EXPECT_EQ(f.Server->AuthCombo->currentText(), "Mot de passe");
    EXPECT_EQ(f.Server->SmtpPortEdit->text(), "25");
    EXPECT_FALSE(f.Server->SmtpUserEdit->isEnabled());
    EXPECT_TRUE(f.Server->IdleCheck->isChecked());
    EXPECT_FALSE(f.Server->IdleCheck->isEnabled());
    f.SaveSettings();
    stop();
    EXPECT_EQ(ini().ReadString("pop.a.org", "Attente", ""), "0");

    TForm1& g = start();
    g.Server->HostCombo->setEditText("pop.a.org");
    g.HostComboClick();
    EXPECT_EQ(g.Server->SecurityCombo->currentText(), "SSL/TLS");
    EXPECT_EQ(g.Server->ProtocolCombo->currentText(), "IMAP");
    EXPECT_FALSE(g.Server->IdleCheck->isChecked());
    EXPECT_TRUE(g.Server->IdleCheck->isEnabled());
    EXPECT_EQ(g.Server->AuthCombo->currentText(), "SCRAM-SHA-256");
    EXPECT_EQ(g.Server->PasswordCommandEdit->text(), "pass show mail/a");
    EXPECT_EQ(g.Server->SmtpHostEdit->text(), "smtp.a.org");
    EXPECT_EQ(g.Server->SmtpPortEdit->text(), "587");
    EXPECT_EQ(g.Server->SmtpSecurityCombo->currentText(), "STARTTLS");
    EXPECT_EQ(g.Server->SmtpSignInCombo->currentText(), "Identifiant propre");
    EXPECT_EQ(g.Server->SmtpUserEdit->text(), "al@a.org");
    EXPECT_TRUE(g.Server->SmtpUserEdit->isEnabled());
    EXPECT_EQ(g.Server->SmtpPasswordEdit->text(), "sp");
}

TEST_F(ServerSecurityTest, SendSignsInAsTheAccountSays)
{
    struct Row {
        const char* name;
        int signIn;             // TSmtpSignIn order
        const char* password;   // the POP3 password field
        const char* command;    // the password command
        const char* smtpUser;
        const char* smtpPassword;
        const char* error;      // start of the error shown, empty when the message is delivered
    } rows[] = {
        {"same as receiving", 1, "s3cret", "", "", "", ""},
        {"from the password command", 1, "", "printf s3cret", "", "", ""},
        {"own user and password", 2, "other", "", "alice", "s3cret", ""},
        {"refused", 2, "s3cret", "", "alice", "wrong", "Identifiant ou mot de passe refusé par 127.0.0.1 : 5.7.8"},
        {"no sign-in where one is required", 0, "s3cret", "", "", "", "530"},
        {"failing password command", 1, "", "false", "", "", "La commande du mot de passe a échoué (code 1)"},
    };
    useFakeDialService(true);
    smtp.requireAuth(kUser, kPassword);
    smtp.start();
    TForm1& f = start();
    size_t delivered = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        f.Server->HostCombo->setEditText("127.0.0.1");
        f.Server->Edit2->setText("110");
        f.Server->Edit3->setText(kUser);
        f.Server->Edit4->setText(r.password);
        f.Server->PasswordCommandEdit->setText(r.command);
        f.Server->SmtpPortEdit->setText(QString::number(smtp.port()));
        f.Server->SmtpSignInCombo->setCurrentIndex(r.signIn);
        f.Server->SmtpUserEdit->setText(r.smtpUser);
        f.Server->SmtpPasswordEdit->setText(r.smtpPassword);
        f.Compose->ComboBox106->setEditText("alice@example.org");
        f.Compose->ComboBox107->setEditText("bob@example.org");
        f.Compose->Edit110->setText(r.name);
        f.Compose->Memo100->setPlainText("texte");
        dialogs.clear();
        f.Compose->Button106->click();
        const auto got = smtp.messages();
        if (!*r.error) {
            EXPECT_TRUE(dialogs.shown().empty()) << dialogs.shown()[0].text.toStdString();
            ASSERT_EQ(got.size(), ++delivered);
            EXPECT_EQ(got.back().login, kUser);
            EXPECT_NE(got.back().content.find(std::string("Subject: ") + r.name), std::string::npos);
        } else {
            EXPECT_EQ(got.size(), delivered);
            ASSERT_FALSE(dialogs.shown().empty());
            EXPECT_EQ(dialogs.shown().back().kind, Kind::Error);
            EXPECT_TRUE(dialogs.shown().back().text.startsWith(QString::fromUtf8(r.error)))
                << dialogs.shown().back().text.toStdString();
        }
        EXPECT_FALSE(f.KTSMTP1->Connected());
        EXPECT_TRUE(f.Compose->Button106->isEnabled());
    }
}

TEST_F(ServerSecurityTest, ARefusedCertificateCanBeTrustedForTheAccount)
{
    dovecot.enableTls("good");
    startPop3({textMessage("ann@x", "Sur TLS", "texte\r\n")});
    useFakeDialService(true);
    TForm1& f = start();
    enterAccount(f);
    f.Server->SecurityCombo->setCurrentIndex(1);
    f.Server->Edit2->setText(QString::number(dovecot.tlsPort()));
    const QString print = QString::fromStdString(testsupport::TestCertificates::get().fingerprint("good"));
    struct Row {
        const char* name;
        int answer;        // 1 yes, 0 no, -1 no question expected
        bool connected;
    } rows[] = {
        {"the user does not trust it", 0, false},
        {"the user trusts it", 1, true},
        {"trusted from now on: no question", -1, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        dialogs.clear();
        if (r.answer == 1)
            dialogs.AnswerYes();
        else if (r.answer == 0)
            dialogs.AnswerNo();
        f.Button1Click();
        EXPECT_EQ(f.KTPOP31->Connected(), r.connected);
        EXPECT_EQ(dialogs.unexpected(), 0);
        QStringList questions;
        for (const auto& shown : dialogs.shown())
            if (shown.kind == Kind::YesNo)
                questions << shown.text;
        ASSERT_EQ(questions.size(), r.answer >= 0 ? 1 : 0);
        if (!questions.isEmpty()) {
            EXPECT_TRUE(questions[0].contains(print)) << questions[0].toStdString();
            EXPECT_TRUE(questions[0].contains("certificat inconnu")) << questions[0].toStdString();
        }
        EXPECT_EQ(ini().ReadString("127.0.0.1", "Certificats", QString()), r.answer == 0 ? QString() : print);
        if (f.KTPOP31->Connected())
            f.ClosePopSession();
    }
}

} // namespace
