// "Lister" over a real POP3 server: the same list with and without pipelined commands, progress
// in the status bar, a cancelled listing that leaves the session usable; and the status line's
// cost (no line ends, no change of size, repaints spaced out).
#include "MailFixtures.h"
#include "ScriptedServer.h"

#include "app/ListPage.h"
#include "app/StatusLine.h"
#include "mail/KTpop3.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QStatusBar>

namespace {

QStringList listItems(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

class ListingTest : public MailAppFixture {
protected:
    // A running main window connected to a mailbox of count small messages.
    TForm1& connected(int count)
    {
        std::vector<std::string> mailbox;
        for (int k = 1; k <= count; ++k)
            mailbox.push_back(textMessage("Envoi " + std::to_string(k) + " <e" + std::to_string(k) + "@exemple.fr>",
                                          "Objet " + std::to_string(k), std::string(size_t(k % 7) * 30 + 1, 'x') + "\r\n",
                                          "<l" + std::to_string(k) + "@brevicor.test>"));
        useFakeDialService(true);
        startPop3(mailbox);
        TForm1& f = start();
        enterAccount(f);
        f.Button1Click();
        EXPECT_TRUE(f.KTPOP31->Connected()) << dovecot.log();
        return f;
    }
};

TEST_F(ListingTest, PipelinedAndOneAtATimeListingsGiveTheSameList)
{
    TForm1& f = connected(150);
    QStringList lists[2];
    QString statuses[2];
    bool announced = false;
    for (bool pipelined : {true, false}) {
        SCOPED_TRACE(pipelined ? "pipelined" : "one at a time");
        f.KTPOP31->AllowPipelining = pipelined;
        f.List->Button5->click();
        lists[pipelined] = listItems(f.List->ListBox1);
        statuses[pipelined] = f.StatusText();
        if (pipelined)
            announced = f.KTPOP31->Capabilities().Has("PIPELINING");
        EXPECT_TRUE(f.List->Button5->isEnabled());
        EXPECT_TRUE(f.KTPOP31->Connected());
    }
    // Dovecot announces PIPELINING.
    EXPECT_TRUE(announced);
    ASSERT_EQ(lists[1].size(), 150);
    EXPECT_EQ(lists[1], lists[0]);
    EXPECT_TRUE(lists[1].front().startsWith("1 -  Envoi 1 <e1@exemple.fr> -  Objet 1 ("));
    EXPECT_TRUE(lists[1].back().startsWith("150 -  Envoi 150 <e150@exemple.fr> -  Objet 150 ("));
    EXPECT_EQ(statuses[0], QStringLiteral("Lecture des en-têtes… 150 / 150"));
    EXPECT_EQ(statuses[1], statuses[0]);
    // POP3 cannot tell what is unread: its lines stay plain.
    EXPECT_FALSE(f.List->ListBox1->item(0)->font().bold());
}

TEST(ListPageTest, UnreadMessagesAreInBold)
{
    TListPage page;
    TSummary read, unread;
    for (TSummary* s : {&read, &unread}) {
        s->Header.Add("From: a@exemple.fr");
        s->Header.Add("Subject: Bonjour");
    }
    unread.Unread = true;
    page.AddLines({TListPage::LineFor(1, read), TListPage::LineFor(2, unread)});
    ASSERT_EQ(page.ListBox1->count(), 2);
    EXPECT_FALSE(page.ListBox1->item(0)->font().bold());
    EXPECT_TRUE(page.ListBox1->item(1)->font().bold());
    EXPECT_TRUE(page.ListBox1->item(1)->text().startsWith("2 -  a@exemple.fr -  Bonjour ("));
}

TEST_F(ListingTest, ACancelledListingKeepsWhatItReadAndTheSessionStillAnswers)
{
    TForm1& f = connected(120);
    for (bool pipelined : {true, false}) {
        SCOPED_TRACE(pipelined ? "pipelined" : "one at a time");
        f.KTPOP31->AllowPipelining = pipelined;
        // The user presses "Annuler" while summary 40 is being read.
        int summaries = 0;
        const TOnStatus shown = f.KTPOP31->OnStatus;
        f.KTPOP31->OnStatus = [&](QObject* sender, const std::string& status) {
            shown(sender, status);
            if (status == "Résumé récupéré" && ++summaries == 40) {
                EXPECT_TRUE(f.Server->CancelBtn->isEnabled());
                f.Server->CancelBtn->click();
            }
        };
        f.List->Button5->click();
        EXPECT_FALSE(f.Mail->Busy());
        EXPECT_EQ(f.List->ListBox1->count(), 40);
        EXPECT_EQ(f.StatusText(), QStringLiteral("Lecture des en-têtes annulée : 40 / 120"));
        EXPECT_TRUE(f.List->Button5->isEnabled());
        EXPECT_FALSE(f.Server->CancelBtn->isEnabled());
        ASSERT_TRUE(f.KTPOP31->Connected());

        // The next command reads its own reply.
        f.Reader->SpinEdit1->setValue(77);
        f.Messages->Button3Click();
        EXPECT_EQ(f.Reader->Edit7->text(), QStringLiteral(" Objet 77"));
        EXPECT_TRUE(dialogs.shown().empty());
        f.KTPOP31->OnStatus = shown;
    }
}

TEST_F(ListingTest, CancelPressedAgainDropsAListingThatGetsNoAnswer)
{
    testsupport::ScriptedServer server;  // signs in, then never answers the first summary
    server.reply("+OK ready").expect("USER alice").reply("+OK").expect("PASS s3cret").reply("+OK")
        .expect("STAT").reply("+OK 3 300").expect("CAPA").reply("-ERR").expect("TOP 1 0");
    server.start();
    useFakeDialService(true);
    TForm1& f = start();
    enterAccount(f);
    f.Server->Edit2->setText(QString::number(server.port()));
    f.Button1Click();
    ASSERT_TRUE(f.KTPOP31->Connected());
    QTimer::singleShot(200, [&] { f.Server->CancelBtn->click(); });
    QTimer::singleShot(400, [&] { f.Server->CancelBtn->click(); });
    f.Guarded([&] { f.Messages->Button5Click(); });
    EXPECT_FALSE(f.KTPOP31->Connected());
    EXPECT_EQ(f.List->ListBox1->count(), 0);
    EXPECT_TRUE(f.List->Button5->isEnabled());
    EXPECT_FALSE(f.Server->CancelBtn->isEnabled());
    EXPECT_TRUE(dialogs.shown().empty()) << dialogs.shown().front().text.toStdString();
}

TEST(StatusLine, TextsAreOneLineAndCostNoLayout)
{
    struct Case {
        const char* given;
        const char* shown;
    };
    const Case cases[] = {
        {"+OK 3 5120\r\n", "+OK 3 5120"},
        {"+OK\n", "+OK"},
        {"two\r\nlines\r\n", "two lines"},
        {"bare\rreturn", "bare return"},
        {"Lecture des en-têtes… 120 / 500", "Lecture des en-têtes… 120 / 500"},
        {"\r\n", ""},
    };
    QWidget window;
    auto* bar = new QStatusBar(&window);
    auto* line = new TStatusLine(bar);
    bar->addWidget(line, 1);
    window.resize(400, 60);
    window.show();
    QApplication::processEvents();
    const QSize hint = line->sizeHint();
    const QSize size = line->size();
    for (const Case& c : cases) {
        line->setText(QString::fromUtf8(c.given));
        EXPECT_EQ(line->text(), QString::fromUtf8(c.shown)) << c.given;
        EXPECT_EQ(line->sizeHint(), hint) << c.given;
        EXPECT_EQ(line->size(), size) << c.given;
    }
}

TEST(StatusLine, RepaintsAreSpacedOutAndTheLastTextIsPainted)
{
    QWidget window;
    auto* line = new TStatusLine(&window);
    line->resize(300, 20);
    window.show();
    QApplication::processEvents();
    const int before = line->paintCount();
    QElapsedTimer clock;
    clock.start();
    // A thousand texts, the events processed after each as a waiting operation does.
    for (int i = 1; i <= 1000; ++i) {
        line->setText(QStringLiteral("réponse %1").arg(i));
        QApplication::processEvents();
    }
    const qint64 elapsed = clock.elapsed();
    const int paints = line->paintCount() - before;
    EXPECT_LE(paints, elapsed / TStatusLine::MinRepaintMs + 2);
    // The last text reaches the screen once the spacing has passed, with no further call.
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < 2000 && line->paintedText() != QStringLiteral("réponse 1000"))
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    EXPECT_EQ(line->paintedText(), QStringLiteral("réponse 1000"));
    EXPECT_EQ(line->text(), QStringLiteral("réponse 1000"));
}

} // namespace
