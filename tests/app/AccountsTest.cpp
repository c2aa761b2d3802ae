// Mail accounts: one section per host, switching, deleting, completeness and lookups.
#include "AppFixture.h"
#include "app/AccountStore.h"
#include "app/AddAccountDialog.h"

#include <QApplication>

namespace {

class AccountsTest : public AppFixture {
protected:
    void SetUp() override
    {
        IniProfile i = ini();
        i.WriteInteger("Host", "Nombre", 2);
        i.WriteString("Host", "1", "pop.alpha.org");
        i.WriteString("Host", "2", "pop.beta.org");
        i.WriteString("pop.alpha.org", "UserName", "al");
        i.WriteString("pop.alpha.org", "Password", "pa");
        i.WriteString("pop.alpha.org", "Port", "1110");
        i.WriteString("pop.beta.org", "UserName", "be");
        i.WriteString("pop.beta.org", "Password", "pb");
        start();
    }
};

TEST_F(AccountsTest, ChoosingAHostLoadsItsSection)
{
    TForm1& f = form();
    f.Server->HostCombo->setCurrentIndex(1);
    f.HostComboClick();
    EXPECT_EQ(f.Server->Edit2->text(), "110");  // no Port key: the default
    EXPECT_EQ(f.Server->Edit3->text(), "be");
    EXPECT_EQ(f.Server->Edit4->text(), "pb");
    f.Server->HostCombo->setCurrentIndex(0);
    f.HostComboClick();
    EXPECT_EQ(f.Server->Edit2->text(), "1110");
    EXPECT_EQ(f.Server->Edit3->text(), "al");
    // A host without a section.
    f.Server->HostCombo->setEditText("pop.unknown.org");
    f.HostComboClick();
    EXPECT_EQ(f.Server->Edit2->text(), "110");
    EXPECT_EQ(f.Server->Edit3->text(), "");
    EXPECT_EQ(f.Server->Edit4->text(), "");
}

TEST_F(AccountsTest, DeletingAsksThenErasesTheSectionAndTheEntryWhateverTheCase)
{
    TForm1& f = form();
    f.Server->HostCombo->setEditText("POP.Alpha.org");
    f.Server->Edit3->setText("x");
    dialogs.AnswerNo();
    f.Accounts->Poubelle6Click();
    EXPECT_EQ(f.Server->HostCombo->count(), 2);
    dialogs.AnswerYes();
    f.Accounts->Poubelle6Click();
    ASSERT_EQ(dialogs.shown().size(), 2u);
    EXPECT_EQ(dialogs.shown()[1].text,
              "Voulez-vous vraiment supprimer les coordonnées relatives à POP.Alpha.org ?");
    ASSERT_EQ(f.Server->HostCombo->count(), 1);
    EXPECT_EQ(f.Server->HostCombo->itemText(0), "pop.beta.org");
    EXPECT_FALSE(ini().SectionExists("pop.alpha.org"));
    EXPECT_TRUE(ini().SectionExists("pop.beta.org"));
    EXPECT_EQ(f.Server->HostCombo->currentText(), "");
    EXPECT_EQ(f.Server->Edit2->text(), "");
    EXPECT_EQ(f.Server->Edit3->text(), "");
    // The stored host list changes only at the next save.
    EXPECT_EQ(ini().ReadInteger("Host", "Nombre", 0), 2);
}

TEST_F(AccountsTest, DeletingWithAnEmptyHostShowsNothing)
{
    form().Server->HostCombo->setEditText("");
    form().Accounts->Poubelle6Click();
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_EQ(form().Server->HostCombo->count(), 2);
}

TEST_F(AccountsTest, CurrentAccountIndexIsCaseSensitiveUnlikeTheList)
{
    TForm1& f = form();
    f.Server->HostCombo->setEditText("pop.beta.org");
    EXPECT_EQ(f.Accounts->CurrentAccountIndex(), 1);
    f.Server->HostCombo->setEditText("POP.BETA.ORG");
    EXPECT_EQ(f.Accounts->CurrentAccountIndex(), -1);
    EXPECT_EQ(f.Accounts->FindAccount("pop.alpha.org"), 0);
    EXPECT_EQ(f.Accounts->FindAccount("nowhere"), -1);
    // Saving that account does not add a second, differently cased entry.
    f.Accounts->SaveAccount();
    EXPECT_EQ(f.Server->HostCombo->count(), 2);
}

TEST_F(AccountsTest, IncompleteDetailsAreRequestedAndTheFirstEmptyFieldFocused)
{
    TForm1& f = form();
    f.Server->HostCombo->setEditText("pop.alpha.org");
    f.Server->Edit2->setText("110");
    f.Server->Edit3->clear();
    f.Server->Edit4->clear();
    EXPECT_FALSE(f.Server->AccountComplete());
    f.Accounts->RequestAccountDetails();
    EXPECT_TRUE(f.isVisible());
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].caption, "Information");
    EXPECT_EQ(dialogs.shown()[0].icon, MessageIcon::Information);
    EXPECT_EQ(dialogs.shown()[0].text, "Veuillez d'abord saisir vos coordonnées complètes de messagerie.");
    QApplication::processEvents();
    EXPECT_TRUE(f.Server->Edit3->hasFocus() || QApplication::focusWidget() == f.Server->Edit3);
}
} // namespace

// What "Ajouter un compte" checked becomes a stored account beside the others, shown on the page;
// the other accounts keep their sections.
TEST_F(AccountsTest, AnAccountFoundFromAnAddressIsStoredAndShown)
{
    struct Case {
        const char* smtpUser;
        TSmtpSignIn signIn;
    };
    for (const Case& c : {Case{"marie@alpha.org", TSmtpSignIn::SameAsPop3}, Case{"marie.smtp", TSmtpSignIn::Own}}) {
        SCOPED_TRACE(c.smtpUser);
        TAddedAccount added;
        added.Password = "secret";
        added.Account.Address = "marie@alpha.org";
        added.Account.Incoming = {TFoundServer::Pop3, "pop.alpha.org", 995, secTls, TAuthMethod::Automatic,
                                  "marie@alpha.org", {}};
        added.Account.Outgoing = {TFoundServer::Smtp, "smtp.alpha.org", 465, secTls, TAuthMethod::Automatic,
                                  c.smtpUser, {}};
        TForm1& f = form();
        f.Accounts->AddFoundAccount(added);
        // pop.alpha.org already holds another user: the new account is "user@host".
        const TAccount stored = TAccountStore(iniPath()).Read("marie@alpha.org@pop.alpha.org");
        EXPECT_EQ(stored.Port, "995");
        EXPECT_EQ(stored.Security, secTls);
        EXPECT_EQ(stored.SmtpHost, "smtp.alpha.org");
        EXPECT_EQ(stored.SmtpPort, "465");
        EXPECT_EQ(stored.SmtpSignIn, c.signIn);
        EXPECT_EQ(f.Server->HostCombo->currentText(), "marie@alpha.org@pop.alpha.org");
        EXPECT_EQ(f.Server->Edit3->text(), "marie@alpha.org");
        EXPECT_EQ(TAccountStore(iniPath()).Read("pop.alpha.org").UserID, "al");
        EXPECT_EQ(TAccountStore(iniPath()).ReadList().size(), 3);
    }
}
