// The reading page's local commands: showing a message, its files, reply, the usual mail program,
// printing.
#include "AppFixture.h"

#include "app/Application.h"
#include "mail/KTpop3.h"
#include "mail/KTsmtp.h"


#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QToolButton>

namespace {

using Kind = ScriptedDialogs::Kind;

class MailboxLocalTest : public AppFixture {
protected:
    void SetUp() override { start(); }

    void fillComposePage()
    {
        TForm1& f = form();
        f.Compose->ListBox100->addItem("/tmp/a.txt");
        f.Compose->ComboBox107->setEditText("old@to.fr");
        f.Compose->ComboBox108->setEditText("old@cc.fr");
        f.Compose->ComboBox109->setEditText("old@bcc.fr");
        f.Compose->ComboBox105->setEditText("Moi");
        f.Compose->ComboBox106->setEditText("moi@ici.fr");
        f.Compose->Edit110->setText("Ancien objet");
        f.Compose->Memo100->setPlainText("Ancien texte");
    }
};

// A message as the decoder leaves it.
TMailMessage frenchMessage()
{
    TMailMessage m;
    m.Header = TExStringList{"From: =?UTF-8?Q?Jean_Dupr=C3=A9?= <jean@exemple.fr>",
                             "Subject: =?UTF-8?B?UsOpdW5pb24gZGUgbHVuZGkgw6AgMTAgaA==?=",
                             "Date: Mon, 6 May 2024 10:00:00 +0200",
                             "Message-ID: <r1@exemple.fr>",
                             "References: <r0@exemple.fr>",
                             ""};
    m.Body = TStringList{"Ch\xE8re coll\xE8gue,", "", "\xC0 lundi."};
    m.Files = {{"ordre.pdf", 4000, "application/pdf"}};
    m.BodyCharset = "iso-8859-1";
    return m;
}

TEST_F(MailboxLocalTest, HtmlOnlyMailIsShownAsTextAndQuotedAsText)
{
    TForm1& f = form();
    TMailMessage m;
    m.Header = TExStringList{"From: Boutique <infos@boutique.exemple>", "Subject: Soldes", ""};
    m.Body = TStringList{
        "<html><head><meta charset=\"utf-8\"><style>p { font-family: sans-serif }</style></head>",
        "<body><p>Bonjour,</p><p>D\xC3\xA9" "couvrez nos <a href=\"https://boutique.exemple/soldes\">soldes d'\xC3\xA9t\xC3\xA9</a> : "
        "jusqu'\xC3\xA0 \xE2\x88\x92" "30 % sur une s\xC3\xA9lection d'articles.</p>",
        "<ul><li>Livraison offerte</li><li>Retours gratuits</li></ul>",
        "<img src=\"https://pistage.boutique.exemple/ouverture.gif\" width=\"1\" height=\"1\" alt=\"\">",
        "</body></html>"};
    m.BodyCharset = "utf-8";
    m.BodyIsHtml = true;
    f.Reader->ShowMessage(m, 1, f.Messages->AttachmentsTarget());
    const QString text = "Bonjour,\n\nDécouvrez nos soldes d'été <https://boutique.exemple/soldes> : jusqu'à −30 % sur une "
                         "sélection d'articles.\n\n• Livraison offerte\n• Retours gratuits";
    EXPECT_EQ(f.Reader->Memo1->toPlainText(), text);
    f.Composer->Button8Click();
    EXPECT_EQ(f.Compose->Memo100->toPlainText(), "\n\nBoutique <infos@boutique.exemple> a écrit :\n> Bonjour,\n>\n> Découvrez nos "
                                        "soldes d'été <https://boutique.exemple/soldes> : jusqu'à −30 % sur une sélection "
                                        "d'articles.\n>\n> • Livraison offerte\n> • Retours gratuits");
}

TEST_F(MailboxLocalTest, ReplyAnswersTheMessageShown)
{
    qputenv("TZ", "Europe/Paris");
    tzset();
    TForm1& f = form();
    fillComposePage();
    f.Reader->ShowMessage(frenchMessage(), 4321, f.Messages->AttachmentsTarget());
    f.Reader->Button8->click();
    EXPECT_EQ(f.PageControl1->currentWidget(), f.Compose);
    EXPECT_EQ(f.Compose->ComboBox107->currentText(), "jean@exemple.fr");
    EXPECT_EQ(f.Compose->ComboBox108->currentText(), "");
    EXPECT_EQ(f.Compose->ComboBox109->currentText(), "");
    EXPECT_EQ(f.Compose->ListBox100->count(), 0);
    EXPECT_EQ(f.Compose->Edit110->text(), "Re: Réunion de lundi à 10 h");
    EXPECT_EQ(f.Compose->Memo100->toPlainText(),
              "\n\nLe lundi 6 mai 2024 à 10:00, Jean Dupré <jean@exemple.fr> a écrit :\n> Chère collègue,\n>\n> À lundi.");
    EXPECT_EQ(f.KTSMTP1->PostMessage.InReplyTo, "<r1@exemple.fr>");
    EXPECT_EQ(f.KTSMTP1->PostMessage.References, "<r0@exemple.fr> <r1@exemple.fr>");
    EXPECT_EQ(f.Compose->ComboBox105->currentText(), "Moi");
    EXPECT_EQ(f.Compose->ComboBox106->currentText(), "moi@ici.fr");

    // A new message answers nothing.
    f.Compose->NewBtn->click();
    EXPECT_EQ(f.KTSMTP1->PostMessage.InReplyTo, "");
    EXPECT_EQ(f.KTSMTP1->PostMessage.References, "");

    // With no message shown, "Répondre" starts an empty message.
    fillComposePage();
    f.Reader->Clear();
    f.Composer->Button8Click();
    EXPECT_EQ(f.Compose->ComboBox107->currentText(), "");
    EXPECT_EQ(f.Compose->Edit110->text(), "");
    EXPECT_EQ(f.Compose->Memo100->toPlainText(), "");
    EXPECT_EQ(f.KTSMTP1->PostMessage.InReplyTo, "");
}

TEST_F(MailboxLocalTest, UsualMailProgram)
{
    TForm1& f = form();
    // None associated: the warning.
    f.List->Button4->click();
    EXPECT_EQ(launcher.lookups(), QStringList{"x-scheme-handler/mailto"});
    EXPECT_TRUE(launcher.started().empty());
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].kind, Kind::Message);
    EXPECT_EQ(dialogs.shown()[0].caption, "Avertissement");
    EXPECT_EQ(dialogs.shown()[0].icon, MessageIcon::Warning);
    EXPECT_EQ(dialogs.shown()[0].text, "Votre programme de messagerie n'a pas été trouvé");

    // Associated: started on its own, without an address.
    dialogs.clear();
    launcher.Associate("x-scheme-handler/mailto", "thunderbird -compose %u");
    f.Messages->Button4Click();
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_EQ(launcher.started(), (QList<QStringList>{{"thunderbird", "-compose"}}));
}

class PrintTest : public MailboxLocalTest {
protected:
    QString pdf = folder.file("message.pdf");

    void answerPrint(int copies)
    {
        dialogs.AnswerPrint([this, copies](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            printer.setCopyCount(copies);
        });
    }

    static QString run(const QString& program, const QStringList& args)
    {
        QProcess p;
        p.start(program, args);
        EXPECT_TRUE(p.waitForFinished(60000)) << program.toStdString();
        EXPECT_EQ(p.exitCode(), 0) << program.toStdString();
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    // The text of each page of the PDF.
    QStringList pages()
    {
        QStringList list = run("pdftotext", {"-layout", pdf, "-"}).split('\f');
        if (!list.isEmpty() && list.last().trimmed().isEmpty())
            list.removeLast();
        return list;
    }

    // The non-blank lines of a text, trimmed.
    static QStringList textLines(const QString& text)
    {
        QStringList out;
        for (const QString& line : text.split('\n'))
            if (!line.trimmed().isEmpty())
                out << line.trimmed();
        return out;
    }
};

TEST_F(PrintTest, EachCopyIsAWholeDocumentStartingOnItsOwnPage)
{
    TForm1& f = form();
    f.Reader->Memo2->setPlainText("From: Jean <jean@exemple.fr>\nSubject: Essai");
    f.Reader->Memo1->setPlainText("Bonjour,\nvoici le texte.\nJean");
    answerPrint(2);
    f.Reader->PrintBtn->click();
    ASSERT_EQ(dialogs.unexpected(), 0);

    const QStringList expected{"From: Jean <jean@exemple.fr>", "Subject: Essai", "Bonjour,", "voici le texte.", "Jean"};
    const QStringList p = pages();
    ASSERT_EQ(p.size(), 2);
    EXPECT_EQ(textLines(p[0]), expected);
    EXPECT_EQ(textLines(p[1]), expected);
    // The job carries the application's title.
    EXPECT_TRUE(run("pdfinfo", {pdf}).contains(QRegularExpression("Title:\\s+Brevicor\\n")));
    EXPECT_FALSE(ScreenCursor::IsBusy());
}

TEST_F(PrintTest, ALongMessageRunsOverPagesAndTheSecondCopyStartsAFreshPage)
{
    TForm1& f = form();
    f.Reader->Memo2->setPlainText("From: a@b.fr\nSubject: Long");
    QStringList body;
    for (int i = 1; i <= 120; ++i)
        body << QStringLiteral("Ligne %1").arg(i);
    f.Reader->Memo1->setPlainText(body.join('\n'));
    answerPrint(2);
    f.Messages->PrintBtnClick();

    const QStringList p = pages();
    ASSERT_GE(p.size(), 4);
    ASSERT_EQ(p.size() % 2, 0);
    QStringList all;
    int secondCopyPage = -1;
    for (int i = 0; i < p.size(); ++i) {
        const QStringList lines = textLines(p[i]);
        if (i > 0 && !lines.isEmpty() && lines.first() == "From: a@b.fr")
            secondCopyPage = i;
        all << lines;
    }
    const QStringList copy = QStringList{"From: a@b.fr", "Subject: Long"} + body;
    EXPECT_EQ(all.join('|').toStdString(), (copy + copy).join('|').toStdString());
    EXPECT_EQ(secondCopyPage, p.size() / 2);
}

TEST_F(PrintTest, CancellingThePrintDialogPrintsNothing)
{
    TForm1& f = form();
    f.Reader->Memo1->setPlainText("texte");
    dialogs.AnswerNo();
    f.Messages->PrintBtnClick();
    EXPECT_FALSE(QFile::exists(pdf));
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].kind, Kind::Print);
}

} // namespace
