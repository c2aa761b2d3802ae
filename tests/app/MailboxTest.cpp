// The mailbox pages against a real POP3 server: listing, reading and deleting messages.
#include "MailFixtures.h"

#include "app/Application.h"
#include "mail/KTpop3.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QToolButton>

namespace {

using Kind = ScriptedDialogs::Kind;

QStringList listItems(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

// The line the list shows for message n of the mailbox.
QString line(int n, const QString& from, const QString& subject, size_t bytes)
{
    return QString::number(n) + " -  " + from + " -  " + subject + " (" + QString::number(bytes) + " octets)";
}

class MailboxTest : public MailAppFixture {
protected:
    std::vector<std::string> messages;

    // Message k (1-based) of a mailbox of plain messages, each of its own size.
    static std::string numbered(int k)
    {
        return textMessage("Expéditeur " + std::to_string(k) + " <x" + std::to_string(k) + "@exemple.fr>",
                           "Message " + std::to_string(k), std::string(size_t(k) * 100, 'a' + char(k)) + "\r\n",
                           "<m" + std::to_string(k) + "@brevicor.test>");
    }

    // A running main window connected to a mailbox holding the messages.
    TForm1& connected(std::vector<std::string> mailbox)
    {
        messages = std::move(mailbox);
        useFakeDialService(true);
        startPop3(messages);
        TForm1& f = start();
        enterAccount(f);
        f.Button1Click();
        EXPECT_TRUE(f.KTPOP31->Connected()) << dovecot.log();
        return f;
    }

    void expectMessageButtons(TForm1& f, bool enabled)
    {
        for (QWidget* w : std::initializer_list<QWidget*>{f.Button3, f.Button7, f.Button8, f.PrintBtn})
            EXPECT_EQ(w->isEnabled(), enabled) << w->objectName().toStdString();
    }

    // What is left after an action: the list button, the cursor, the session state.
    void expectRestored(TForm1& f)
    {
        EXPECT_TRUE(f.Button5->isEnabled());
        EXPECT_FALSE(ScreenCursor::IsBusy());
    }

    static void pressKey(QWidget* w, int key)
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(w, &press);
    }
};

TEST_F(MailboxTest, AnEmptyMailboxListsNothing)
{
    TForm1& f = connected({});
    f.Label10->setText("avant");
    f.Button5->click();
    EXPECT_EQ(f.ListBox1->count(), 0);
    EXPECT_EQ(f.StatusText(), "Il n'y a aucun message sur 127.0.0.1");
    EXPECT_EQ(f.Label10->text(), "avant");
    expectMessageButtons(f, false);
    EXPECT_FALSE(f.SpinEdit1->isEnabled());
    EXPECT_FALSE(f.FirstListing);
    expectRestored(f);
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(MailboxTest, OneMessageThenFiveAfterNewMailArrived)
{
    // Sender in UTF-8, subject in Windows-1252: both shown as the letters they stand for; a
    // "%1" in the subject is shown as it is.
    const std::string first = textMessage("Élodie <elodie@exemple.fr>", "R\xE9union \x80 10 h %1", "Bonjour\r\n");
    TForm1& f = connected({first});
    f.Button5->click();
    EXPECT_EQ(listItems(f.ListBox1), QStringList{line(1, "Élodie <elodie@exemple.fr>", "Réunion € 10 h %1", first.size())});
    EXPECT_EQ(f.Label10->text(), "Nb de messages : 1");
    EXPECT_EQ(f.SpinEdit1->minimum(), 1);
    EXPECT_EQ(f.SpinEdit1->maximum(), 1);
    EXPECT_EQ(f.SpinEdit1->value(), 1);
    EXPECT_FALSE(f.SpinEdit1->isEnabled());
    expectMessageButtons(f, true);
    expectRestored(f);

    // New mail reaches the server while the session is open; the next listing reopens the
    // session and sees it.
    for (int k = 2; k <= 5; ++k)
        dovecot.deliver(kUser, numbered(k));
    f.SpinEdit1->setValue(1);
    f.Button5->click();
    QStringList expected{line(1, "Élodie <elodie@exemple.fr>", "Réunion € 10 h %1", first.size())};
    for (int k = 2; k <= 5; ++k)
        expected << line(k, QStringLiteral("Expéditeur %1 <x%1@exemple.fr>").arg(k), QStringLiteral("Message %1").arg(k),
                         numbered(k).size());
    EXPECT_EQ(listItems(f.ListBox1), expected);
    EXPECT_EQ(f.Label10->text(), "Nb de messages : 5");
    EXPECT_EQ(f.SpinEdit1->maximum(), 5);
    EXPECT_EQ(f.SpinEdit1->value(), 1);
    EXPECT_TRUE(f.SpinEdit1->isEnabled());
    expectMessageButtons(f, true);
    expectRestored(f);
    EXPECT_TRUE(f.MailboxTabsVisible());
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(MailboxTest, ReadingMessageTwoOfThreeShowsItsOwnSize)
{
    TForm1& f = connected({numbered(1), numbered(2), numbered(3)});
    f.Button5->click();
    f.SpinEdit1->setValue(2);
    f.Button3->click();
    EXPECT_EQ(f.Edit6->text(), "Expéditeur 2 <x2@exemple.fr>");
    EXPECT_EQ(f.Edit7->text(), " Message 2"); // the blank after the colon stays
    EXPECT_EQ(f.Edit8->text(), QString::number(numbered(2).size()));
    EXPECT_EQ(f.Edit9->text(), "<m2@brevicor.test>");
    const QStringList header = f.Memo2->toPlainText().split('\n');
    ASSERT_GE(header.size(), 5);
    EXPECT_EQ(header.mid(0, 5), (QStringList{"From: Expéditeur 2 <x2@exemple.fr>", "To: alice@brevicor.test",
                                             "Subject: Message 2", "Message-ID: <m2@brevicor.test>",
                                             "Date: Mon, 6 May 2024 10:00:00 +0200"}));
    EXPECT_EQ(f.Memo1->toPlainText(), QString(200, 'c'));
    EXPECT_TRUE(f.Button3->isEnabled());
    EXPECT_FALSE(ScreenCursor::IsBusy());

    // A click in the list chooses the message; a double click reads it and shows the reader.
    f.ListBox1->setCurrentRow(2);
    emit f.ListBox1->itemClicked(f.ListBox1->item(2));
    EXPECT_EQ(f.SpinEdit1->value(), 3);
    f.ListBox1->setCurrentRow(0);
    emit f.ListBox1->itemDoubleClicked(f.ListBox1->item(0));
    EXPECT_EQ(f.PageControl1->currentWidget(), f.TabSheet2);
    EXPECT_EQ(f.SpinEdit1->value(), 1);
    EXPECT_EQ(f.Edit7->text(), " Message 1");
    EXPECT_EQ(f.Edit8->text(), QString::number(numbered(1).size()));
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(MailboxTest, AnAttachmentIsWrittenToTheWorkingFolder)
{
    TForm1& f = connected({testsupport::readFileBytes(testsupport::testDataDir() + "/mail/en-mail-attachment.eml")});
    f.Button5->click();
    f.Button3->click();
    EXPECT_EQ(f.Edit6->text(), "James Hillyerd <james@makita.skynet>");
    // The decoder's note about the extracted file carries a line break of its own.
    EXPECT_EQ(f.Memo1->toPlainText(), "A text section\n\nFichier \"test.html\" extrait");
    EXPECT_EQ(testsupport::readFileBytes(folder.file("test.html")), "<html>\n");
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(MailboxTest, DeletingAsksThenRemovesTheMessageOnTheServer)
{
    TForm1& f = connected({numbered(1), numbered(2), numbered(3)});
    f.Button5->click();
    f.SpinEdit1->setValue(2);
    f.Button3->click();

    // No: nothing happens.
    dialogs.AnswerNo();
    f.Button7->click();
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].kind, Kind::YesNo);
    EXPECT_EQ(dialogs.shown()[0].text, "Voulez-vous vraiment supprimer ce message du serveur ?");
    EXPECT_EQ(f.ListBox1->count(), 3);
    EXPECT_EQ(f.Edit7->text(), " Message 2"); // the blank after the colon stays
    EXPECT_TRUE(f.Button7->isEnabled());

    // Yes: the server forgets it, the list is rebuilt from a new session, the reader is emptied.
    dialogs.AnswerYes();
    f.Button7->click();
    EXPECT_EQ(dovecot.storedMessageCount(kUser), 2);
    EXPECT_EQ(listItems(f.ListBox1),
              (QStringList{line(1, "Expéditeur 1 <x1@exemple.fr>", "Message 1", numbered(1).size()),
                           line(2, "Expéditeur 3 <x3@exemple.fr>", "Message 3", numbered(3).size())}));
    EXPECT_EQ(f.Label10->text(), "Nb de messages : 2");
    EXPECT_EQ(f.SpinEdit1->maximum(), 2);
    for (QLineEdit* e : {f.Edit6, f.Edit7, f.Edit8, f.Edit9})
        EXPECT_TRUE(e->text().isEmpty());
    EXPECT_TRUE(f.Memo2->toPlainText().isEmpty());
    EXPECT_TRUE(f.Memo1->toPlainText().isEmpty());
    EXPECT_TRUE(f.Button7->isEnabled());
    EXPECT_TRUE(f.MailboxTabsVisible());
    expectRestored(f);
    EXPECT_EQ(dialogs.unexpected(), 0);
}

TEST_F(MailboxTest, DeletingTheLastMessageLeavesNothingToDelete)
{
    TForm1& f = connected({numbered(1)});
    f.Button5->click();
    dialogs.AnswerYes();
    f.Button7->click();
    EXPECT_EQ(dovecot.storedMessageCount(kUser), 0);
    EXPECT_EQ(f.ListBox1->count(), 0);
    EXPECT_EQ(f.StatusText(), "Il n'y a aucun message sur 127.0.0.1");
    expectMessageButtons(f, false);
    expectRestored(f);
}

TEST_F(MailboxTest, DeleteKeyAsksForTheSelectedLineOnly)
{
    TForm1& f = connected({numbered(1), numbered(2), numbered(3), numbered(4), numbered(5)});
    f.Button5->click();
    ASSERT_EQ(f.ListBox1->count(), 5);

    // No line selected: nothing.
    f.ListBox1->setCurrentRow(-1);
    f.ListBox1->clearSelection();
    pressKey(f.ListBox1, Qt::Key_Delete);
    EXPECT_TRUE(dialogs.shown().empty());

    // Another key on a selected line: nothing either.
    f.ListBox1->setCurrentRow(3);
    pressKey(f.ListBox1, Qt::Key_Backspace);
    EXPECT_TRUE(dialogs.shown().empty());

    // Line 4 selected: message 4 goes.
    dialogs.AnswerYes();
    pressKey(f.ListBox1, Qt::Key_Delete);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "Voulez-vous vraiment supprimer ce message du serveur ?");
    EXPECT_EQ(dovecot.storedMessageCount(kUser), 4);
    const QStringList items = listItems(f.ListBox1);
    ASSERT_EQ(items.size(), 4);
    EXPECT_TRUE(items[2].contains("Message 3"));
    EXPECT_TRUE(items[3].contains("Message 5"));
    expectRestored(f);
}

TEST_F(MailboxTest, AServerErrorEndsTheOperationAndRestoresTheWindow)
{
    TForm1& f = connected({numbered(1), numbered(2)});
    f.Button5->click();

    // A message the server does not have: its refusal is reported, nothing else changes.
    dialogs.AnswerYes();
    f.Guarded([&] { f.ConfirmDeleteMessage(9); });
    ASSERT_EQ(dialogs.shown().size(), 3u);
    EXPECT_EQ(dialogs.shown()[1].text, "L'opération a échoué");
    EXPECT_EQ(dialogs.shown()[2].kind, Kind::Error);
    EXPECT_TRUE(dialogs.shown()[2].text.startsWith("-ERR")) << dialogs.shown()[2].text.toStdString();
    EXPECT_EQ(dovecot.storedMessageCount(kUser), 2);
    expectRestored(f);

    // The server goes away: the next listing cannot reopen the session; it ends with an error
    // and the list button comes back.
    dialogs.clear();
    dovecot.stop();
    f.Button5->click();
    bool error = false;
    for (const auto& shown : dialogs.shown())
        error = error || shown.kind == Kind::Error;
    EXPECT_TRUE(error);
    EXPECT_EQ(f.ListBox1->count(), 0);
    expectRestored(f);
}

} // namespace
