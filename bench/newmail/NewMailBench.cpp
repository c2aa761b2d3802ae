// New-mail cost against a private Dovecot holding a large mailbox: the time of one check with
// UIDL (connect, log in, STAT, UIDL, compare with what the account saw, remember it, the summaries
// of up to three new messages, QUIT), with
// two messages delivered between checks, and the memory and file the remembered ids take.
#include "DovecotFixture.h"
#include "app/NewMail.h"
#include "mail/KTpop3.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

std::string message(int n)
{
    return "From: s" + std::to_string(n) + "@example.org\r\nSubject: Message " + std::to_string(n)
           + "\r\nMessage-ID: <" + std::to_string(n) + "@example.org>\r\n\r\nBody " + std::to_string(n) + "\r\n";
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int messages = 10000;
    int runs = 7;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--messages"))
            messages = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--runs"))
            runs = args[i + 1].toInt();
    }
    std::vector<std::string> box;
    box.reserve(size_t(messages));
    for (int n = 1; n <= messages; ++n)
        box.push_back(message(n));
    testsupport::DovecotFixture dovecot;
    dovecot.addUser("bench", "pw", box);
    dovecot.start();
    testsupport::TempFolder state;
    const QString file = TSeenMail::StateFileFor(state.path(), "127.0.0.1", "bench");

    std::vector<double> times;
    size_t stateBytes = 0;
    int lastFresh = 0;
    for (int run = 0; run <= runs; ++run) {
        if (run > 1) {
            dovecot.deliver("bench", message(messages + 2 * run));
            dovecot.deliver("bench", message(messages + 2 * run + 1));
        }
        QElapsedTimer clock;
        clock.start();
        TKTPOP3 pop;
        pop.Host = "127.0.0.1";
        pop.Port = dovecot.port();
        pop.UserID = "bench";
        pop.Password = "pw";
        pop.Connect();
        std::vector<std::string> ids;
        TSeenMail seen(file);
        const std::vector<int> fresh = pop.UIDL(ids) ? seen.NewByIds(ids) : seen.NewByCount(pop.MessageCount());
        seen.Save();
        // The notification's lines: sender and subject of up to three of the newest.
        for (auto it = fresh.rbegin(); it != fresh.rend() && it - fresh.rbegin() < 3; ++it)
            pop.RetrieveSummary(*it);
        pop.Disconnect();
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        lastFresh = int(fresh.size());
        stateBytes = seen.StateBytes();
        // The first check finds everything new (and Dovecot builds its index): reported apart.
        if (run == 0)
            std::printf("first check of %d messages: %.1f ms, %d new\n", messages, ms, lastFresh);
        else
            times.push_back(ms);
    }
    std::printf("check with UIDL of %d+ messages, two new each time: median %.1f ms over %d runs (goal < 500 ms); "
                "last found %d new\n",
                messages, median(times), runs, lastFresh);
    std::printf("remembered ids: %zu bytes in memory, %lld bytes on disk (goal < 1 MiB)\n", stateBytes,
                static_cast<long long>(QFileInfo(file).size()));
    return 0;
}
