// The mailbox pages against a real POP3 server: listing, reading and deleting messages, French
// mail shown decoded, the files of a message.
#include "MailFixtures.h"

#include "app/Application.h"
#include "mail/KTpop3.h"
#include "mail/KTsmtp.h"

#include <QApplication>
#include <QDir>
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
        for (QWidget* w : std::initializer_list<QWidget*>{f.Reader->Button3, f.Reader->Button7, f.Reader->Button8, f.Reader->PrintBtn})
            EXPECT_EQ(w->isEnabled(), enabled) << w->objectName().toStdString();
    }

    // What is left after an action: the list button, the cursor, the session state.
    void expectRestored(TForm1& f)
    {
        EXPECT_TRUE(f.List->Button5->isEnabled());
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
    f.Reader->Label10->setText("avant");
    f.List->Button5->click();
    EXPECT_EQ(f.List->ListBox1->count(), 0);
    EXPECT_EQ(f.StatusText(), "Il n'y a aucun message sur 127.0.0.1");
    EXPECT_EQ(f.Reader->Label10->text(), "avant");
    expectMessageButtons(f, false);
    EXPECT_FALSE(f.Reader->SpinEdit1->isEnabled());
    EXPECT_FALSE(f.Messages->FirstListing);
    expectRestored(f);
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(MailboxTest, OneMessageThenFiveAfterNewMailArrived)
{
    // Sender in UTF-8, subject in Windows-1252: both shown as the letters they stand for; a
    // "%1" in the subject is shown as it is.
    const std::string first = textMessage("Élodie <elodie@exemple.fr>", "R\xE9union \x80 10 h %1", "Bonjour\r\n");
    TForm1& f = connected({first});
    f.List->Button5->click();
    EXPECT_EQ(listItems(f.List->ListBox1), QStringList{line(1, "Élodie <elodie@exemple.fr>", "Réunion € 10 h %1", first.size())});
    EXPECT_EQ(f.Reader->Label10->text(), "Nb de messages : 1");
    EXPECT_EQ(f.Reader->SpinEdit1->minimum(), 1);
    EXPECT_EQ(f.Reader->SpinEdit1->maximum(), 1);
    EXPECT_EQ(f.Reader->SpinEdit1->value(), 1);
    EXPECT_FALSE(f.Reader->SpinEdit1->isEnabled());
    expectMessageButtons(f, true);
    expectRestored(f);

    // New mail reaches the server while the session is open; the next listing reopens the
    // session and sees it.
    for (int k = 2; k <= 5; ++k)
        dovecot.deliver(kUser, numbered(k));
    f.Reader->SpinEdit1->setValue(1);
    f.List->Button5->click();
    QStringList expected{line(1, "Élodie <elodie@exemple.fr>", "Réunion € 10 h %1", first.size())};
    for (int k = 2; k <= 5; ++k)
        expected << line(k, QStringLiteral("Expéditeur %1 <x%1@exemple.fr>").arg(k), QStringLiteral("Message %1").arg(k),
                         numbered(k).size());
    EXPECT_EQ(listItems(f.List->ListBox1), expected);
    EXPECT_EQ(f.Reader->Label10->text(), "Nb de messages : 5");
    EXPECT_EQ(f.Reader->SpinEdit1->maximum(), 5);
    EXPECT_EQ(f.Reader->SpinEdit1->value(), 1);
    EXPECT_TRUE(f.Reader->SpinEdit1->isEnabled());
    expectMessageButtons(f, true);
    expectRestored(f);
    EXPECT_TRUE(f.MailboxTabsVisible());
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(MailboxTest, ReadingMessageTwoOfThreeShowsItsOwnSize)
{
    TForm1& f = connected({numbered(1), numbered(2), numbered(3)});
    f.List->Button5->click();
    f.Reader->SpinEdit1->setValue(2);
    f.Reader->Button3->click();
    EXPECT_EQ(f.Reader->Edit6->text(), "Expéditeur 2 <x2@exemple.fr>");
    EXPECT_EQ(f.Reader->Edit7->text(), " Message 2"); // the blank after the colon stays
    EXPECT_EQ(f.Reader->Edit8->text(), QString::number(numbered(2).size()));
    EXPECT_EQ(f.Reader->Edit9->text(), "<m2@brevicor.test>");
    const QStringList header = f.Reader->Memo2->toPlainText().split('\n');
    ASSERT_GE(header.size(), 5);
    EXPECT_EQ(header.mid(0, 5), (QStringList{"From: Expéditeur 2 <x2@exemple.fr>", "To: alice@brevicor.test",
                                             "Subject: Message 2", "Message-ID: <m2@brevicor.test>",
                                             "Date: Mon, 6 May 2024 10:00:00 +0200"}));
    EXPECT_EQ(f.Reader->Memo1->toPlainText(), QString(200, 'c'));
    EXPECT_TRUE(f.Reader->Button3->isEnabled());
    EXPECT_FALSE(ScreenCursor::IsBusy());

    // A click in the list chooses the message; a double click reads it and shows the reader.
    f.List->ListBox1->setCurrentRow(2);
    emit f.List->ListBox1->itemClicked(f.List->ListBox1->item(2));
    EXPECT_EQ(f.Reader->SpinEdit1->value(), 3);
    f.List->ListBox1->setCurrentRow(0);
    emit f.List->ListBox1->itemDoubleClicked(f.List->ListBox1->item(0));
    EXPECT_EQ(f.PageControl1->currentWidget(), f.Reader);
    EXPECT_EQ(f.Reader->SpinEdit1->value(), 1);
    EXPECT_EQ(f.Reader->Edit7->text(), " Message 1");
    EXPECT_EQ(f.Reader->Edit8->text(), QString::number(numbered(1).size()));
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(MailboxTest, AnAttachmentIsWrittenToTheAttachmentsFolder)
{
    TForm1& f = connected({testsupport::readFileBytes(testsupport::testDataDir() + "/mail/en-mail-attachment.eml")});
    f.List->Button5->click();
    f.Reader->Button3->click();
    EXPECT_EQ(f.Reader->Edit6->text(), "James Hillyerd <james@makita.skynet>");
    // The decoder's note about the extracted file is shown after an empty line.
    EXPECT_EQ(f.Reader->Memo1->toPlainText(), "A text section\n\nFichier \"test.html\" extrait");
    // No usable folder is stored: the files go to the desktop's download folder.
    const QString files = downloadsFolder() + "/Brevicor";
    EXPECT_EQ(testsupport::readFileBytes(files + "/test.html"), "<html>\n");
    ASSERT_EQ(f.Reader->FilesList->count(), 1);
    EXPECT_EQ(f.Reader->FilesList->item(0)->text(), "test.html");
    EXPECT_TRUE(f.Reader->FolderBtn->isEnabled());
    launcher.Associate("text/plain", "gedit %U");
    f.Reader->FilesList->setCurrentRow(0);
    emit f.Reader->FilesList->itemActivated(f.Reader->FilesList->item(0)); // double click or Enter
    EXPECT_EQ(launcher.started().back(), (QStringList{"gedit", files + "/test.html"}));
    EXPECT_TRUE(dialogs.shown().empty());

    // A stored folder that exists is used as it is.
    QDir().mkpath(folder.file("mes pièces"));
    f.Messages->AttachmentsFolder = folder.file("mes pièces");
    f.Reader->Button3->click();
    EXPECT_EQ(testsupport::readFileBytes(folder.file("mes pièces/test.html")), "<html>\n");
    launcher.Associate("inode/directory", "nautilus %U");
    f.Reader->FolderBtn->click();
    EXPECT_EQ(launcher.started().back(), (QStringList{"nautilus", folder.file("mes pièces")}));

    // Deleting the message empties the reader, its list of files too.
    f.Reader->SpinEdit1->setValue(1);
    dialogs.AnswerYes();
    f.Reader->Button7->click();
    EXPECT_EQ(f.Reader->FilesList->count(), 0);
    EXPECT_FALSE(f.Reader->FolderBtn->isEnabled());
}

// The French messages of the test set, as the server holds them.
std::vector<std::string> frenchMailbox()
{
    std::vector<std::string> out;
    for (const char* name : {"fr-subject-q-latin1-qp.eml", "fr-subject-b-utf8-qp-flowed.eml", "fr-html-only.eml"})
        out.push_back(testsupport::readFileBytes(testsupport::testDataDir() + "/mail/" + name));
    return out;
}

TEST_F(MailboxTest, FrenchSendersAndSubjectsAreShownDecoded)
{
    qputenv("TZ", "Europe/Paris");
    tzset();
    const std::vector<std::string> mailbox = frenchMailbox();
    TForm1& f = connected(mailbox);
    f.List->Button5->click();
    EXPECT_EQ(listItems(f.List->ListBox1),
              (QStringList{line(1, "Service après-vente <sav@boutique.exemple>", "Votre commande n° 4512 a été expédiée",
                                mailbox[0].size()),
                           line(2, "Éloïse Gautier <eloise@exemple.fr>", "Réunion de lundi : changement de salle",
                                mailbox[1].size()),
                           line(3, "Boutique <infos@boutique.exemple>", "Soldes d’été", mailbox[2].size())}));

    f.Reader->SpinEdit1->setValue(1);
    f.Reader->Button3->click();
    EXPECT_EQ(f.Reader->Edit6->text(), "Service après-vente <sav@boutique.exemple>");
    EXPECT_EQ(f.Reader->Edit7->text(), " Votre commande n° 4512 a été expédiée");
    EXPECT_EQ(f.Reader->Edit9->text(), "<commande-4512@boutique.exemple>");
    EXPECT_EQ(f.Reader->DateEdit->text(), "mardi 14 mai 2024 à 09:30");
    EXPECT_EQ(f.Reader->ToEdit->text(), "Renée Lefèvre <renee@exemple.fr>");
    EXPECT_EQ(f.Reader->CcEdit->text(), "Agnès <agnes@exemple.fr>");
    EXPECT_TRUE(f.Reader->Memo2->toPlainText().contains("\nSubject: Votre commande n° 4512 a été expédiée\n"));

    // The folded subject of message 2 is whole; the answer threads under it.
    f.Reader->SpinEdit1->setValue(2);
    f.Reader->Button3->click();
    EXPECT_EQ(f.Reader->Edit7->text(), " Réunion de lundi : changement de salle");
    EXPECT_EQ(f.Reader->ToEdit->text(), "equipe@exemple.fr");
    EXPECT_EQ(f.Reader->CcEdit->text(), "");
    f.Reader->Button8->click();
    EXPECT_EQ(f.Compose->ComboBox107->currentText(), "eloise@exemple.fr");
    EXPECT_EQ(f.Compose->Edit110->text(), "Re: Réunion de lundi : changement de salle");
    EXPECT_EQ(f.KTSMTP1->PostMessage.InReplyTo, "<reunion-lundi@exemple.fr>");
    EXPECT_EQ(f.KTSMTP1->PostMessage.References, "<reunion-lundi@exemple.fr>");
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(MailboxTest, FrenchBodiesAreShownAsText)
{
    TForm1& f = connected(frenchMailbox());
    f.List->Button5->click();
    const QString expected[] = {
        "Chère cliente,\n\nVotre commande n° 4512 a été expédiée ; elle arrivera d'ici à jeudi.\n"
        "Nous restons à votre écoute pour toute question concernant la livraison de vos articles.\n\n"
        "Cordialement,\nLe service après-vente",
        "Bonjour à tous, la réunion de lundi est déplacée à 14 h dans la salle « Garonne ». Merci de prévenir vos "
        "équipes.\n\n> Peut-on avancer l'ordre du jour ?\n\n-- \nÉloïse",
        "Bonjour,\n\nDécouvrez nos soldes d'été <https://boutique.exemple/soldes> : jusqu'à −30 % sur une sélection "
        "d'articles.\n\n• Livraison offerte\n• Retours gratuits",
    };
    for (int n = 1; n <= 3; ++n) {
        f.Reader->SpinEdit1->setValue(n);
        f.Reader->Button3->click();
        EXPECT_EQ(f.Reader->Memo1->toPlainText().trimmed(), expected[n - 1]) << "message " << n;
    }
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(MailboxTest, DeletingAsksThenRemovesTheMessageOnTheServer)
{
    TForm1& f = connected({numbered(1), numbered(2), numbered(3)});
    f.List->Button5->click();
    f.Reader->SpinEdit1->setValue(2);
    f.Reader->Button3->click();

    // No: nothing happens.
    dialogs.AnswerNo();
    f.Reader->Button7->click();
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].kind, Kind::YesNo);
    EXPECT_EQ(dialogs.shown()[0].text, "Voulez-vous vraiment supprimer ce message du serveur ?");
    EXPECT_EQ(f.List->ListBox1->count(), 3);
    EXPECT_EQ(f.Reader->Edit7->text(), " Message 2"); // the blank after the colon stays
    EXPECT_TRUE(f.Reader->Button7->isEnabled());

    // Yes: the server forgets it, the list is rebuilt from a new session, the reader is emptied.
    dialogs.AnswerYes();
    f.Reader->Button7->click();
    EXPECT_EQ(dovecot.storedMessageCount(kUser), 2);
    EXPECT_EQ(listItems(f.List->ListBox1),
              (QStringList{line(1, "Expéditeur 1 <x1@exemple.fr>", "Message 1", numbered(1).size()),
                           line(2, "Expéditeur 3 <x3@exemple.fr>", "Message 3", numbered(3).size())}));
    EXPECT_EQ(f.Reader->Label10->text(), "Nb de messages : 2");
    EXPECT_EQ(f.Reader->SpinEdit1->maximum(), 2);
    for (QLineEdit* e : {f.Reader->Edit6, f.Reader->Edit7, f.Reader->Edit8, f.Reader->Edit9})
        EXPECT_TRUE(e->text().isEmpty());
    EXPECT_TRUE(f.Reader->Memo2->toPlainText().isEmpty());
    EXPECT_TRUE(f.Reader->Memo1->toPlainText().isEmpty());
    EXPECT_TRUE(f.Reader->Button7->isEnabled());
    EXPECT_TRUE(f.MailboxTabsVisible());
    expectRestored(f);
    EXPECT_EQ(dialogs.unexpected(), 0);
}

TEST_F(MailboxTest, DeletingTheLastMessageLeavesNothingToDelete)
{
    TForm1& f = connected({numbered(1)});
    f.List->Button5->click();
    dialogs.AnswerYes();
    f.Reader->Button7->click();
    EXPECT_EQ(dovecot.storedMessageCount(kUser), 0);
    EXPECT_EQ(f.List->ListBox1->count(), 0);
    EXPECT_EQ(f.StatusText(), "Il n'y a aucun message sur 127.0.0.1");
    expectMessageButtons(f, false);
    expectRestored(f);
}

TEST_F(MailboxTest, DeleteKeyAsksForTheSelectedLineOnly)
{
    TForm1& f = connected({numbered(1), numbered(2), numbered(3), numbered(4), numbered(5)});
    f.List->Button5->click();
    ASSERT_EQ(f.List->ListBox1->count(), 5);

    // No line selected: nothing.
    f.List->ListBox1->setCurrentRow(-1);
    f.List->ListBox1->clearSelection();
    pressKey(f.List->ListBox1, Qt::Key_Delete);
    EXPECT_TRUE(dialogs.shown().empty());

    // Another key on a selected line: nothing either.
    f.List->ListBox1->setCurrentRow(3);
    pressKey(f.List->ListBox1, Qt::Key_Backspace);
    EXPECT_TRUE(dialogs.shown().empty());

    // Line 4 selected: message 4 goes.
    dialogs.AnswerYes();
    pressKey(f.List->ListBox1, Qt::Key_Delete);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "Voulez-vous vraiment supprimer ce message du serveur ?");
    EXPECT_EQ(dovecot.storedMessageCount(kUser), 4);
    const QStringList items = listItems(f.List->ListBox1);
    ASSERT_EQ(items.size(), 4);
    EXPECT_TRUE(items[2].contains("Message 3"));
    EXPECT_TRUE(items[3].contains("Message 5"));
    expectRestored(f);
}

TEST_F(MailboxTest, AServerErrorEndsTheOperationAndRestoresTheWindow)
{
    TForm1& f = connected({numbered(1), numbered(2)});
    f.List->Button5->click();

    // A message the server does not have: its refusal is reported, nothing else changes.
    dialogs.AnswerYes();
    f.Guarded([&] { f.Messages->ConfirmDeleteMessage(9); });
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
    f.List->Button5->click();
    bool error = false;
    for (const auto& shown : dialogs.shown())
        error = error || shown.kind == Kind::Error;
    EXPECT_TRUE(error);
    EXPECT_EQ(f.List->ListBox1->count(), 0);
    expectRestored(f);
}

} // namespace
