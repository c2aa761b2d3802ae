// Cost of the two-second "is a line up?" probe: TDialUp over QtDBus against spawning nmcli.
//
// A private NetworkManager (the tests' fixture) holds one active connection. For each method the
// probe runs every two seconds for the chosen time; the CPU used by this process, by the
// programs it spawns, by NetworkManager and by the bus daemon is read before and after, and
// given as a share of one core. An idle run (the same timer, no probe) is the baseline.
#include "NmFixture.h"
#include "dialup/DialUp.h"
#include "platform/NmDialService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <map>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

using testsupport::NmFixture;

namespace {

double seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }

double usage(int who)
{
    rusage u{};
    getrusage(who, &u);
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

// User + system time of another process, from /proc.
double processCpu(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray all = f.readAll();
    // Fields after the command name (which may hold spaces) start after the last ')'.
    const QList<QByteArray> fields = all.mid(all.lastIndexOf(')') + 2).split(' ');
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / ticks;   // utime, stime
}

struct Sample {
    double client = 0;    // this process and what it spawned
    double servers = 0;   // NetworkManager and the bus daemon
    double wall = 0;
    int probes = 0;
    int lineUp = 0;
};

enum class Method { Idle, QtDBus, Nmcli };

const char* nameOf(Method m)
{
    switch (m) {
    case Method::Idle: return "idle (timer only)";
    case Method::QtDBus: return "TDialUp over QtDBus";
    case Method::Nmcli: return "spawning nmcli";
    }
    return "";
}

Sample measure(Method method, int durationSec, NmFixture& nm, TDialUp& dialUp)
{
    Sample s;
    bool lineUp = false;
    dialUp.OnActiveConnection = [&lineUp](QObject*, uint32_t, const TRasConnStatus&, const QString&,
                                          const QString&, const QString&, const QString&) { lineUp = true; };
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), nm.busAddress());

    auto probe = [&] {
        ++s.probes;
        lineUp = false;
        if (method == Method::QtDBus) {
            dialUp.GetConnections();
        } else if (method == Method::Nmcli) {
            QProcess nmcli;
            nmcli.setProcessEnvironment(env);
            nmcli.start(QStringLiteral("nmcli"), {QStringLiteral("-t"), QStringLiteral("-f"),
                                                  QStringLiteral("NAME,TYPE,DEVICE"), QStringLiteral("connection"),
                                                  QStringLiteral("show"), QStringLiteral("--active")});
            nmcli.waitForFinished(10000);
            for (const QByteArray& line : nmcli.readAllStandardOutput().split('\n'))
                if (!line.isEmpty() && !line.contains(":loopback:"))
                    lineUp = true;
        } else {
            lineUp = true;
        }
        s.lineUp += lineUp ? 1 : 0;
    };

    const double client0 = usage(RUSAGE_SELF) + usage(RUSAGE_CHILDREN);
    const double servers0 = processCpu(nm.networkManagerPid()) + processCpu(nm.busPid());
    QElapsedTimer wall;
    wall.start();
    QTimer every2s;
    every2s.setInterval(2000);
    QObject::connect(&every2s, &QTimer::timeout, probe);
    every2s.start();
    QEventLoop loop;
    QTimer::singleShot(durationSec * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    s.wall = double(wall.nsecsElapsed()) / 1e9;
    s.client = usage(RUSAGE_SELF) + usage(RUSAGE_CHILDREN) - client0;
    s.servers = processCpu(nm.networkManagerPid()) + processCpu(nm.busPid()) - servers0;
    return s;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double percent(double cpu, double wall) { return wall > 0 ? 100.0 * cpu / wall : 0; }

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int durationSec = 60;
    int runs = 3;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--seconds"))
            durationSec = args[++i].toInt();
        else if (args[i] == QLatin1String("--runs"))
            runs = args[++i].toInt();
    }

    NmFixture nm;
    const NmFixture::Status status = nm.start();
    if (status != NmFixture::Status::Running) {
        std::fprintf(stderr, "cannot start NetworkManager: %s\n", qPrintable(nm.message()));
        return status == NmFixture::Status::NoNamespaces ? 77 : 1;
    }
    QString error;
    if (nm.addProfile(NmFixture::bridgeProfile(QStringLiteral("Pont"), QStringLiteral("br7")), &error).isEmpty()) {
        std::fprintf(stderr, "cannot add a profile: %s\n", qPrintable(error));
        return 1;
    }
    TDialUp dialUp(nullptr, std::make_unique<NmDialService>(nm.bus()));
    dialUp.DialMode = dmSync;
    dialUp.Entry = QStringLiteral("Pont");
    if (dialUp.Dial() != 0) {
        std::fprintf(stderr, "cannot bring the bridge up\n");
        return 1;
    }

    std::printf("probe every 2 s for %d s, %d runs, one active connection (NetworkManager %s)\n", durationSec, runs,
                "in a network namespace");
    std::printf("%-22s %4s %10s %12s %12s %12s\n", "method", "run", "probes/up", "client %", "NM+bus %",
                "total %");
    const Method methods[] = {Method::Idle, Method::QtDBus, Method::Nmcli};
    std::map<Method, std::vector<double>> client, total;
    for (int r = 1; r <= runs; ++r) {
        for (Method m : methods) {
            const Sample s = measure(m, durationSec, nm, dialUp);
            std::printf("%-22s %4d %6d/%-3d %12.3f %12.3f %12.3f\n", nameOf(m), r, s.probes, s.lineUp,
                        percent(s.client, s.wall), percent(s.servers, s.wall), percent(s.client + s.servers, s.wall));
            std::fflush(stdout);
            client[m].push_back(percent(s.client, s.wall));
            total[m].push_back(percent(s.client + s.servers, s.wall));
        }
    }

    std::printf("\nmedians (%% of one core)      client    total   total above idle\n");
    const double idle = median(total[Method::Idle]);
    for (Method m : methods)
        std::printf("%-26s %9.3f %8.3f %10.3f\n", nameOf(m), median(client[m]), median(total[m]),
                    median(total[m]) - idle);
    const double q = median(total[Method::QtDBus]) - idle;
    const double n = median(total[Method::Nmcli]) - idle;
    if (q > 0)
        std::printf("nmcli / QtDBus (above idle): %.1fx\n", n / q);
    // The probe's cost is what it adds to the idle run, on both sides of the bus.
    std::printf("TDialUp probe: %.3f %% of one core (client %.3f %%); target below 0.2 %%: %s\n", q,
                median(client[Method::QtDBus]) - median(client[Method::Idle]), q < 0.2 ? "met" : "NOT met");
    return 0;
}
