// The reading page's local commands: reply address, reply, the usual mail program, printing.
#include "AppFixture.h"

#include "app/Application.h"

#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QToolButton>

namespace {

using Kind = ScriptedDialogs::Kind;

TEST(ExtractAngleAddress, TakesWhatIsBetweenTheFirstAngleBrackets)
{
    const std::pair<QString, QString> cases[] = {
        {" Jean Dupont <jean@exemple.fr>", "jean@exemple.fr"},
        {"<jean@exemple.fr>", "jean@exemple.fr"},
        {" jean@exemple.fr", ""},                         // no brackets
        {"", ""},
        {"\"Dupont, J.\" <j@x.fr>", "j@x.fr"},
        {"<a@x.fr>, <b@y.fr>", "a@x.fr"},                 // the first of two
        {"a > b <c@d.fr>", ""},                           // a ">" before the "<" ends it
        {"Jean <jean@exemple.fr", "jean@exemple.fr"},     // no closing bracket: up to the end
        {"<a<b@x.fr>", "a<b@x.fr"},                       // only the first "<" opens
        {"<>", ""},
        {"Élodie <élodie@exemple.fr>", "élodie@exemple.fr"},
    };
    for (const auto& [from, address] : cases)
        EXPECT_EQ(TForm1::ExtractAngleAddress(from), address) << from.toStdString();
}

class MailboxLocalTest : public AppFixture {
protected:
    void SetUp() override { start(); }

    void fillComposePage()
    {
        TForm1& f = form();
        f.ListBox100->addItem("/tmp/a.txt");
        f.ComboBox107->setEditText("old@to.fr");
        f.ComboBox108->setEditText("old@cc.fr");
        f.ComboBox109->setEditText("old@bcc.fr");
        f.ComboBox105->setEditText("Moi");
        f.ComboBox106->setEditText("moi@ici.fr");
        f.Edit110->setText("Ancien objet");
        f.Memo100->setPlainText("Ancien texte");
    }
};

TEST_F(MailboxLocalTest, ReplyStartsANewMessageToTheSender)
{
    TForm1& f = form();
    fillComposePage();
    f.Edit6->setText(" Jean Dupont <jean@exemple.fr>");
    f.Edit7->setText(" Bonjour");
    f.Button8->click();
    EXPECT_EQ(f.PageControl1->currentWidget(), f.TabSheet102);
    EXPECT_EQ(f.ComboBox107->currentText(), "jean@exemple.fr");
    EXPECT_EQ(f.ComboBox108->currentText(), "");
    EXPECT_EQ(f.ComboBox109->currentText(), "");
    EXPECT_EQ(f.ListBox100->count(), 0);
    EXPECT_EQ(f.Edit110->text(), ""); // no subject carried over
    EXPECT_EQ(f.Memo100->toPlainText(), "");
    EXPECT_EQ(f.ComboBox105->currentText(), "Moi");
    EXPECT_EQ(f.ComboBox106->currentText(), "moi@ici.fr");

    // A sender without angle brackets leaves the To field empty.
    f.Edit6->setText(" jean@exemple.fr");
    f.Button8Click();
    EXPECT_EQ(f.ComboBox107->currentText(), "");
}

TEST_F(MailboxLocalTest, UsualMailProgram)
{
    TForm1& f = form();
    // None associated: the warning.
    f.Button4->click();
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
    f.Button4Click();
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
    f.Memo2->setPlainText("From: Jean <jean@exemple.fr>\nSubject: Essai");
    f.Memo1->setPlainText("Bonjour,\nvoici le texte.\nJean");
    answerPrint(2);
    f.PrintBtn->click();
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
    f.Memo2->setPlainText("From: a@b.fr\nSubject: Long");
    QStringList body;
    for (int i = 1; i <= 120; ++i)
        body << QStringLiteral("Ligne %1").arg(i);
    f.Memo1->setPlainText(body.join('\n'));
    answerPrint(2);
    f.PrintBtnClick();

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
    f.Memo1->setPlainText("texte");
    dialogs.AnswerNo();
    f.PrintBtnClick();
    EXPECT_FALSE(QFile::exists(pdf));
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].kind, Kind::Print);
}

} // namespace
