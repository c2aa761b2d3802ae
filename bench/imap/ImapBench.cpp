// IMAP costs against a private Dovecot:
//   latency  a Maildir delivery to the controller's new-mail event through the push connection,
//            median over --runs (20)
//   idle     CPU and resident memory of the process with three accounts in IDLE for --seconds (30)
//   status   a check (connect, sign in, STATUS INBOX, LOGOUT) of a 10,000-message INBOX
//   cli      "brevicor --check --all" of that INBOX in a process of its own, and the program's start
//   list     a listing of 500 messages (SELECT, FETCH of UID FLAGS RFC822.SIZE and four header
//            fields) against Python's imaplib doing the same FETCH, in the same run
#include "DovecotFixture.h"
#include "app/AccountStore.h"
#include "app/MailController.h"
#include "app/PushWatch.h"
#include "mail/ImapIdle.h"
#include "mail/KTimap.h"
#include "platform/FakeDialService.h"
#include "platform/ProgramPaths.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <QEventLoop>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

std::string Message(int N)
{
    return "From: Sender " + std::to_string(N) + " <s" + std::to_string(N) + "@example.org>\r\nTo: bench@example.org\r\n"
           "Subject: Message number " + std::to_string(N) + "\r\nDate: Tue, 8 Dec 2026 10:00:00 +0000\r\nMessage-ID: <"
           + std::to_string(N) + "@example.org>\r\n\r\nBody of message " + std::to_string(N) + ".\r\n";
}

std::vector<std::string> Box(int Count)
{
    std::vector<std::string> box;
    for (int n = 1; n <= Count; ++n)
        box.push_back(Message(n));
    return box;
}

double Median(std::vector<double> V)
{
    std::sort(V.begin(), V.end());
    return V.empty() ? 0 : V[V.size() / 2];
}

void Configure(TKTIMAP& Imap, quint16 Port, const std::string& User)
{
    Imap.Host = "127.0.0.1";
    Imap.Port = Port;
    Imap.UserID = User;
    Imap.Password = "pw";
    Imap.OperationTimeOut = 30000;
}

// Runs the event loop until Done or the time is out; Done is looked at every 5 ms (the figures
// are taken by the handlers themselves, not by this look).
bool Wait(const std::function<bool()>& Done, int Ms)
{
    QEventLoop loop;
    QTimer look, limit;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (Done())
            loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    look.start(5);
    limit.start(Ms);
    if (!Done())
        loop.exec();
    return Done();
}

// Runs the event loop for Ms with nothing else looking.
void Idle(int Ms)
{
    QEventLoop loop;
    QTimer::singleShot(Ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long ResidentKiB()
{
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    return 0;
}

void Latency(int Runs)
{
    testsupport::DovecotFixture dovecot;
    dovecot.enableImap(120);
    dovecot.addUser("bench", "pw", Box(3));
    dovecot.start();
    // The program's own path: the controller's push connection, what is new remembered, and its
    // new-mail event (the window turns it into the desktop notification at once).
    testsupport::TempFolder folder;
    auto line = std::make_unique<FakeDialService>();
    ActiveConnection up;
    up.Handle = 1;
    up.State = DialState::Connected;
    line->Active.push_back(up);
    TMailController mail(std::move(line), folder.file("brevicor.ini"), folder.file("nouveaux/"), nullptr);
    TAccount account;
    account.Section = account.Host = "127.0.0.1";
    account.Port = QString::number(dovecot.imapPort());
    account.Protocol = TProtocol::Imap;
    account.UserID = "bench";
    account.Password = "pw";
    int arrived = 0;
    qint64 at = 0;
    QElapsedTimer clock;
    clock.start();
    mail.OnPushMail = [&](const TAccountResult& r) {
        arrived += r.Fresh;
        at = clock.nsecsElapsed();
    };
    mail.FollowAccounts({account});
    if (!Wait([&] { return mail.Pushed(account); }, 20000)) {
        std::printf("latency: no IDLE connection\n");
        return;
    }
    // The steps between, as the connection passes them.
    TImapIdle* idle = mail.Push()->Connection(account);
    qint64 existsAt = 0, fetchedAt = 0, idleAt = 0;
    const auto supervisorExists = idle->Session()->OnExists;
    idle->Session()->OnExists = [&, supervisorExists](std::uint64_t N) {
        existsAt = clock.nsecsElapsed();
        supervisorExists(N);
    };
    const auto watchFetched = idle->OnNewMail;
    idle->OnNewMail = [&, watchFetched](const std::vector<TImapSummary>& Fresh) {
        fetchedAt = clock.nsecsElapsed();
        watchFetched(Fresh);
    };
    const auto watchIdle = idle->OnIdle;
    idle->OnIdle = [&, watchIdle](QObject* Sender) {
        idleAt = clock.nsecsElapsed();
        watchIdle(Sender);
    };
    std::vector<double> times, serverPart, ownPart, fetchPart, countPart, eventPart;
    for (int run = 0; run < Runs; ++run) {
        Idle(200);  // the connection back in IDLE and quiet
        const int before = arrived;
        const qint64 start = clock.nsecsElapsed();
        dovecot.deliver("bench", Message(100 + run));
        if (!Wait([&] { return arrived > before; }, 10000)) {
            std::printf("latency: delivery %d never announced\n", run);
            return;
        }
        times.push_back(double(at - start) / 1e6);
        serverPart.push_back(double(existsAt - start) / 1e6);
        ownPart.push_back(double(at - existsAt) / 1e6);
        fetchPart.push_back(double(fetchedAt - existsAt) / 1e6);
        countPart.push_back(double(idleAt - fetchedAt) / 1e6);
        eventPart.push_back(double(at - idleAt) / 1e6);
    }
    std::printf("delivery to the new-mail event: median %.1f ms, max %.1f ms over %d deliveries (goal < 500 ms)\n"
                "  of which delivery to the server's EXISTS (Dovecot; it waits a fixed 500 ms after a change before "
                "telling IDLE sessions): median %.1f ms\n"
                "  of which EXISTS to the event: median %.1f ms (DONE and UID FETCH %.1f ms; STATUS, remembering and "
                "back in IDLE %.1f ms; to the event %.1f ms)\n",
                Median(times), *std::max_element(times.begin(), times.end()), Runs, Median(serverPart), Median(ownPart),
                Median(fetchPart), Median(countPart), Median(eventPart));
    mail.StopPush();
}

void IdleCost(int Seconds)
{
    testsupport::DovecotFixture dovecot;
    dovecot.enableImap(120);
    for (const char* user : {"a1", "a2", "a3"})
        dovecot.addUser(user, "pw", Box(10));
    dovecot.start();
    testsupport::TempFolder folder;
    TMailController mail(std::make_unique<FakeDialService>(), folder.file("brevicor.ini"), folder.file("nouveaux/"), nullptr);
    QList<TAccount> accounts;
    for (const char* user : {"a1", "a2", "a3"}) {
        TAccount account;
        account.Host = "127.0.0.1";
        account.Section = QString(user) + "@127.0.0.1";
        account.Port = QString::number(dovecot.imapPort());
        account.Protocol = TProtocol::Imap;
        account.UserID = user;
        account.Password = "pw";
        accounts << account;
    }
    mail.FollowAccounts(accounts);
    if (!Wait([&] { return std::all_of(accounts.begin(), accounts.end(), [&](const TAccount& A) { return mail.Pushed(A); }); },
              20000)) {
        std::printf("idle: not every account reached IDLE\n");
        return;
    }
    const double cpu0 = CpuSeconds();
    QElapsedTimer clock;
    clock.start();
    Idle(Seconds * 1000);
    const double wall = double(clock.nsecsElapsed()) / 1e9;
    const double cpu = CpuSeconds() - cpu0;
    std::printf("three accounts in IDLE for %.0f s: %.4f %% of one core (goal < 0.1 %%), %.1f MiB resident (goal < 50 MiB)\n",
                wall, 100.0 * cpu / wall, double(ResidentKiB()) / 1024.0);
    mail.StopPush();
}

void Status(int Runs)
{
    const int count = 10000;
    testsupport::DovecotFixture dovecot;
    dovecot.enableImap(120);
    dovecot.addUser("bench", "pw", Box(count));
    dovecot.start();
    std::vector<double> times, connectTimes, statusTimes, logoutTimes;
    for (int run = 0; run <= Runs; ++run) {
        if (run > 1)
            dovecot.deliver("bench", Message(count + run));
        QElapsedTimer clock;
        clock.start();
        TKTIMAP imap;
        Configure(imap, dovecot.imapPort(), "bench");
        imap.Connect();
        const double connectMs = double(clock.nsecsElapsed()) / 1e6;
        const TImapStatus status = imap.Status();
        const double statusMs = double(clock.nsecsElapsed()) / 1e6 - connectMs;
        imap.Disconnect();
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        if (run == 0)
            std::printf("first check of %llu messages (the server builds its index): %.1f ms\n",
                        static_cast<unsigned long long>(status.Messages), ms);
        else
            times.push_back(ms), connectTimes.push_back(connectMs), statusTimes.push_back(statusMs),
                logoutTimes.push_back(ms - connectMs - statusMs);
    }
    std::printf("check with STATUS of a %d+ message INBOX, connection and sign-in included: median %.1f ms over %d runs "
                "(goal < 200 ms)\n  connection, greeting and sign-in: median %.1f ms; STATUS: median %.1f ms; LOGOUT: median %.1f ms\n",
                count, Median(times), Runs, Median(connectTimes), Median(statusTimes), Median(logoutTimes));
}

// "brevicor --check --all" of the same INBOX, the program started anew each time, against the
// program's start alone (no account stored: it says so and ends).
void CommandLine(int Runs, const QString& Program)
{
    const int count = 10000;
    testsupport::DovecotFixture dovecot;
    dovecot.enableImap(120);
    dovecot.addUser("bench", "pw", Box(count));
    dovecot.start();
    testsupport::TempFolder folder;
    const QString program = folder.file("brevicor");
    if (!QFile::copy(Program, program)) {
        std::printf("cli: no program at %s\n", qPrintable(Program));
        return;
    }
    QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
    auto run = [&] {
        QElapsedTimer clock;
        clock.start();
        QProcess p;
        p.start(program, {"--check", "--all"});
        p.waitForFinished(60000);
        return std::pair(double(clock.nsecsElapsed()) / 1e6, p.readAllStandardOutput().trimmed());
    };
    std::vector<double> bare, check;
    for (int n = 0; n < Runs; ++n)
        bare.push_back(run().first);
    TAccount account;
    account.Section = account.Host = "127.0.0.1";
    account.Port = QString::number(dovecot.imapPort());
    account.Protocol = TProtocol::Imap;
    account.UserID = "bench";
    account.Password = "pw";
    TAccountStore store(ProgramPaths::forProgramFile(program).iniPath());
    store.Write(account);
    store.WriteList({account.Section});
    QByteArray said;
    for (int n = 0; n <= Runs; ++n) {
        const auto [ms, out] = run();
        if (n > 0)  // the first builds the server's index
            check.push_back(ms);
        said = out;
    }
    std::printf("brevicor --check --all of a %d-message INBOX, a new process each time: median %.1f ms over %d runs; "
                "the program's start and end alone: median %.1f ms (%s)\n",
                count, Median(check), Runs, Median(bare), said.constData());
}

void List(int Runs, const QString& Imaplib)
{
    const int count = 500;
    testsupport::DovecotFixture dovecot;
    dovecot.enableImap(120);
    dovecot.addUser("bench", "pw", Box(count));
    dovecot.start();
    std::vector<double> ours, theirs, oursFetch, theirsFetch;
    for (int run = 0; run <= Runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        TKTIMAP imap;
        Configure(imap, dovecot.imapPort(), "bench");
        imap.ListBatch = count;
        imap.Connect();
        imap.Select();
        int subjects = 0;
        QElapsedTimer fetchClock;
        fetchClock.start();
        imap.ListSummaries(1, count, [&](const TImapSummary& S) { return subjects += !S.Summary.Subject.empty(), true; });
        const double fetchMs = double(fetchClock.nsecsElapsed()) / 1e6;
        imap.Disconnect();
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        QProcess python;
        python.start("/usr/bin/python3", {Imaplib, QString::number(dovecot.imapPort()), "bench", "pw", QString::number(count)});
        python.waitForFinished(60000);
        const QList<QByteArray> words = python.readAllStandardOutput().trimmed().split(' ');
        const double peer = words.value(0).toDouble();
        const double peerFetch = words.value(1).toDouble();
        if (subjects != count || peer <= 0) {
            std::printf("list: listed %d of %d; imaplib: %s\n", subjects, count, python.readAllStandardError().constData());
            return;
        }
        if (run == 0)
            continue;  // the first listing warms the server's caches for both
        ours.push_back(ms);
        theirs.push_back(peer);
        oursFetch.push_back(fetchMs);
        theirsFetch.push_back(peerFetch);
    }
    std::printf("listing %d messages, the FETCH and its reading: Brevicor median %.1f ms, imaplib median %.1f ms, "
                "ratio %.2f over %d runs (goal <= 0.5)\n",
                count, Median(oursFetch), Median(theirsFetch), Median(oursFetch) / Median(theirsFetch), Runs);
    std::printf("the whole session (connection, sign-in, SELECT, FETCH, LOGOUT): Brevicor median %.1f ms, imaplib median "
                "%.1f ms, ratio %.2f\n", Median(ours), Median(theirs), Median(ours) / Median(theirs));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString what = "all", imaplib, program;
    int runs = 0, seconds = 30;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--runs" && i + 1 < args.size())
            runs = args[++i].toInt();
        else if (args[i] == "--seconds" && i + 1 < args.size())
            seconds = args[++i].toInt();
        else if (args[i] == "--imaplib" && i + 1 < args.size())
            imaplib = args[++i];
        else if (args[i] == "--program" && i + 1 < args.size())
            program = args[++i];
        else
            what = args[i];
    }
    try {
        if (what == "latency" || what == "all")
            Latency(runs > 0 ? runs : 20);
        if (what == "idle" || what == "all")
            IdleCost(seconds);
        if (what == "status" || what == "all")
            Status(runs > 0 ? runs : 7);
        if (what == "list" || what == "all")
            List(runs > 0 ? runs : 7, imaplib);
        if (what == "cli" || what == "all")
            CommandLine(runs > 0 ? runs : 7, program);
    } catch (const std::exception& e) {
        std::printf("failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
