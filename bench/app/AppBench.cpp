// Costs of the whole program, measured in one run:
//  [idle]  the real executable, copied into a program folder with a complete account and the
//          scheduler on, left running: its CPU share over a fixed time (utime + stime from /proc)
//          and its resident memory, while its two-second line probe talks to a private
//          NetworkManager (the tests' fixture) found through DBUS_SYSTEM_BUS_ADDRESS;
//  [check] a check of ten accounts on a private Dovecot server, driven through the main window
//          of this process, against ten single `fetchmail --check` runs for the same accounts;
//  [cli]   one `brevicor --check` process (no window) against one `fetchmail --check` process
//          for the same account, started alternately;
//  [listing] "Lister" on a mailbox of 500 messages in the main window of this process (shown
//          offscreen, the list page in view), against the POP3 component alone doing the same
//          work and Python's poplib doing the same commands one at a time.
#include "DovecotFixture.h"
#include "NmFixture.h"
#include "TestDirs.h"

#include "alert/salert.h"
#include "app/Main.h"
#include "app/Startup.h"
#include "app/Unit1.h"
#include "dialup/DialUp.h"
#include "mail/KTpop3.h"
#include "platform/Autostart.h"
#include "platform/FakeDialService.h"
#include "platform/HelpViewer.h"
#include "platform/IniProfile.h"
#include "platform/NmDialService.h"
#include "platform/RecordingLauncher.h"
#include "platform/ScriptedDialogs.h"
#include "platform/SoundOutput.h"

#include <QApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHostInfo>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::DovecotFixture;
using testsupport::NmFixture;
using testsupport::TempFolder;

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

double Min(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }
double Max(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

[[noreturn]] void Fail(const QString& why)
{
    std::fprintf(stderr, "app_bench: %s\n", qPrintable(why));
    std::fflush(stderr);
    std::exit(1);
}

// Processes events for the given time.
void Pump(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Options {
    int seconds = 60;       // idle measurement per run
    int settle = 10;        // from the start of the program to the start of the measurement
    int runs = 3;           // idle runs per scenario
    int rounds = 7;         // timed check rounds (after one warm-up round)
    QStringList scenarios = {QStringLiteral("tray"), QStringLiteral("tray-noline"), QStringLiteral("offscreen")};
    bool idle = true;
    bool check = true;
    bool listing = true;
    bool cli = true;
    int listCount = 500;
};

Options ParseOptions(const QStringList& args)
{
    Options o;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const QString next = i + 1 < args.size() ? args[i + 1] : QString();
        if (a == QLatin1String("--seconds"))
            o.seconds = next.toInt(), ++i;
        else if (a == QLatin1String("--settle"))
            o.settle = next.toInt(), ++i;
        else if (a == QLatin1String("--runs"))
            o.runs = next.toInt(), ++i;
        else if (a == QLatin1String("--rounds"))
            o.rounds = next.toInt(), ++i;
        else if (a == QLatin1String("--scenarios"))
            o.scenarios = next.split(QLatin1Char(','), Qt::SkipEmptyParts), ++i;
        else if (a == QLatin1String("--only")) {
            o.idle = next == QLatin1String("idle");
            o.check = next == QLatin1String("check");
            o.listing = next == QLatin1String("listing");
            o.cli = next == QLatin1String("cli");
            ++i;
        } else if (a == QLatin1String("--list-count")) {
            o.listCount = next.toInt(), ++i;
        } else {
            Fail(QStringLiteral("unknown argument %1 (--seconds N --settle N --runs N --rounds N "
                                "--scenarios tray,tray-noline,offscreen --only idle|check|listing|cli --list-count N)").arg(a));
        }
    }
    return o;
}

// ------------------------------------------------------------------------------------ /proc

QList<QByteArray> StatFields(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = f.readAll();
    // The fields after the command name (which may hold spaces) start after the last ')'.
    return all.mid(all.lastIndexOf(')') + 2).split(' ');
}

// User + system time of a process (all its threads), in seconds.
double CpuSeconds(qint64 pid)
{
    const QList<QByteArray> f = StatFields(pid);
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return (f.value(11).toDouble() + f.value(12).toDouble()) / ticks;   // utime, stime
}

// A "Key:  value kB" line of /proc/PID/status, in KiB (or the plain number for counts).
long StatusValue(qint64 pid, const char* key)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Context switches of all the process's threads: how often it wakes up.
long ContextSwitches(qint64 pid)
{
    long total = 0;
    for (const QString& task : QDir(QStringLiteral("/proc/%1/task").arg(pid)).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(QStringLiteral("/proc/%1/task/%2/status").arg(pid).arg(task));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : f.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                total += line.mid(line.indexOf(':') + 1).trimmed().toLong();
    }
    return total;
}

// The process running the given executable file (the copy in the program folder is unique).
qint64 FindProcessOf(const QString& exe)
{
    const QString target = QFileInfo(exe).canonicalFilePath();
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (ok && QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget() == target)
            return pid;
    }
    return 0;
}

QString EnvironmentValue(qint64 pid, const QByteArray& name)
{
    QFile f(QStringLiteral("/proc/%1/environ").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& kv : f.readAll().split('\0'))
        if (kv.startsWith(name + '='))
            return QString::fromLocal8Bit(kv.mid(name.size() + 1));
    return {};
}

// ------------------------------------------------------------------------------------ D-Bus

// The unique name of the process's connection to the bus, or empty when it has none.
QString BusNameOf(const QDBusConnection& bus, qint64 pid)
{
    const QStringList names = bus.interface()->registeredServiceNames().value();
    for (const QString& name : names)
        if (name.startsWith(QLatin1Char(':')) && qint64(bus.interface()->servicePid(name).value()) == pid)
            return name;
    return {};
}

// Method calls the connection makes on the bus during the given time, seen by a bus monitor. The
// monitor runs outside the CPU measurement, since the bus daemon copies every message to it.
int CallsFrom(const QString& busAddress, const QString& uniqueName, int seconds)
{
    QProcess monitor;
    monitor.start(QStringLiteral("dbus-monitor"), {QStringLiteral("--address"), busAddress,
                                                   QStringLiteral("type='method_call',sender='%1'").arg(uniqueName)});
    if (!monitor.waitForStarted(5000))
        return -1;
    Pump(500);   // the monitor is registered
    monitor.readAllStandardOutput();
    Pump(seconds * 1000);
    monitor.terminate();
    monitor.waitForFinished(5000);
    int calls = 0;
    for (const QByteArray& line : monitor.readAllStandardOutput().split('\n'))
        if (line.startsWith("method call") && line.contains("sender=" + uniqueName.toUtf8() + " "))
            ++calls;
    return calls;
}

// ------------------------------------------------------------------------------------ X display

struct XWindows {
    int shown = 0;        // top-level windows of the program that are mapped
    int docked = 0;       // windows of the program inside another client (the tray icon)
    QStringList titles;   // of the shown ones
    bool read = false;
};

QString RunTool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(10000))
        return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// What the program shows on the X display: its top-level windows (children of the root window)
// with their map state, and its windows elsewhere in the tree (embedded in the tray).
XWindows ReadXWindows(const QString& display)
{
    XWindows w;
    const QString tree = RunTool(QStringLiteral("xwininfo"), {QStringLiteral("-display"), display,
                                                               QStringLiteral("-root"), QStringLiteral("-tree")});
    if (tree.isEmpty())
        return w;
    w.read = true;
    // "     0x400005 "Title": ("brevicor" "Brevicor")  600x400+0+0  +0+0"; the depth shows in the
    // indentation (root children are indented by five spaces).
    static const QRegularExpression line(QStringLiteral("^( +)(0x[0-9a-f]+) (.*)\\(\"[^\"]*\" \"Brevicor\"\\)"));
    for (const QString& l : tree.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = line.match(l);
        if (!m.hasMatch())
            continue;
        if (m.captured(1).size() > 5) {
            ++w.docked;
            continue;
        }
        const QString info = RunTool(QStringLiteral("xwininfo"), {QStringLiteral("-display"), display,
                                                                   QStringLiteral("-id"), m.captured(2)});
        if (info.contains(QLatin1String("Map State: IsViewable"))) {
            ++w.shown;
            w.titles << m.captured(3).trimmed();
        }
    }
    return w;
}

// ------------------------------------------------------------------------------------ [idle]

// The NetworkManager fixture with one bridge profile, "Pont", that activates without hardware.
struct Network {
    NmFixture nm;
    std::unique_ptr<TDialUp> dialUp;

    void start()
    {
        const NmFixture::Status status = nm.start();
        if (status != NmFixture::Status::Running) {
            std::fprintf(stderr, "cannot start NetworkManager: %s\n", qPrintable(nm.message()));
            std::exit(status == NmFixture::Status::NoNamespaces ? 77 : 1);
        }
        QString error;
        if (nm.addProfile(NmFixture::bridgeProfile(QStringLiteral("Pont"), QStringLiteral("br7")), &error).isEmpty())
            Fail(QStringLiteral("cannot add a profile: ") + error);
        dialUp = std::make_unique<TDialUp>(nullptr, std::make_unique<NmDialService>(nm.bus()));
        dialUp->DialMode = dmSync;
        dialUp->Entry = QStringLiteral("Pont");
    }

    // Active connections as the program's probe sees them.
    int activeConnections()
    {
        int n = 0;
        dialUp->OnActiveConnection = [&n](QObject*, uint32_t, const TRasConnStatus&, const QString&, const QString&,
                                          const QString&, const QString&) { ++n; };
        dialUp->GetConnections();
        dialUp->OnActiveConnection = nullptr;
        return n;
    }

    void setLine(bool up)
    {
        if (up && activeConnections() == 0 && dialUp->Dial() != 0)
            Fail(QStringLiteral("cannot bring the bridge up"));
        if (!up && activeConnections() > 0) {
            dialUp->HangUp();
            NmFixture::waitUntil([this] { return activeConnections() == 0; });
        }
        if ((activeConnections() > 0) != up)
            Fail(QStringLiteral("the line is not %1").arg(up ? "up" : "down"));
    }
};

struct IdleResult {
    double startCpu = 0;     // CPU seconds from the start to the measurement (splash, windows)
    double cpuPercent = 0;   // share of one core over the measurement
    double serversPercent = 0;
    double wall = 0;
    double wakeups = 0;      // context switches per second over the measurement
    long rssKb = 0, hwmKb = 0, anonKb = 0, fileKb = 0, threads = 0;
    int busCalls = -1;       // method calls the program made on the system bus in 10 s after it
    XWindows x;
    int exitCode = -1;
};

// A program folder with the executable, its data files and a settings file that has a complete
// account, the scheduler on every five minutes, no window at start and the first connection.
void PrepareProgramFolder(const TempFolder& dir, quint16 popPort)
{
    if (dir.copyProgram(QStringLiteral(BREVICOR_EXECUTABLE)).isEmpty())
        Fail(QStringLiteral("cannot copy the program"));
    const QDir data(QStringLiteral(BREVICOR_SOURCE_DIR "/data"));
    for (const QString& name : data.entryList(QDir::Files))
        QFile::copy(data.filePath(name), dir.file(name));
    IniProfile ini(dir.file(QStringLiteral("brevicor.ini")));
    ini.WriteInteger(QStringLiteral("Host"), QStringLiteral("Nombre"), 1);
    ini.WriteString(QStringLiteral("Host"), QStringLiteral("1"), QStringLiteral("127.0.0.1"));
    ini.WriteString(QStringLiteral("127.0.0.1"), QStringLiteral("UserName"), QStringLiteral("u0"));
    ini.WriteString(QStringLiteral("127.0.0.1"), QStringLiteral("Password"), QStringLiteral("p0"));
    ini.WriteString(QStringLiteral("127.0.0.1"), QStringLiteral("Port"), QString::number(popPort));
    ini.WriteInteger(QStringLiteral("MainW"), QStringLiteral("ComboBox1"), 0);
    ini.WriteString(QStringLiteral("MainW"), QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
    ini.WriteString(QStringLiteral("MainW"), QStringLiteral("Port"), QString::number(popPort));
    ini.WriteString(QStringLiteral("MainW"), QStringLiteral("UserID"), QStringLiteral("u0"));
    ini.WriteString(QStringLiteral("MainW"), QStringLiteral("Password"), QStringLiteral("p0"));
    ini.WriteBool(QStringLiteral("MainW"), QStringLiteral("Automail"), true);
    ini.WriteBool(QStringLiteral("MainW"), QStringLiteral("ConnectOnStart"), false);
    ini.WriteBool(QStringLiteral("MainW"), QStringLiteral("JustCurrentMess"), true);
    ini.WriteInteger(QStringLiteral("Last"), QStringLiteral("Minute"), 5);
    ini.WriteBool(QStringLiteral("Last"), QStringLiteral("RadioButton1"), true);
    ini.WriteBool(QStringLiteral("Last"), QStringLiteral("ShowOnStart"), false);
    ini.WriteBool(QStringLiteral("Last"), QStringLiteral("WinStart"), false);
}

IdleResult MeasureIdle(const Options& o, Network& net, const QString& scenario, quint16 popPort)
{
    const bool tray = scenario.startsWith(QLatin1String("tray"));
    net.setLine(scenario != QLatin1String("tray-noline"));

    TempFolder dir;
    PrepareProgramFolder(dir, popPort);
    const QString exe = dir.file(QStringLiteral("brevicor"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), net.nm.busAddress());
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.file(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), dir.file(QStringLiteral("cache")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.file(QStringLiteral("share")));
    // A runtime folder of its own, so an earlier run (or the user's Brevicor) is not taken for
    // the running program.
    QDir().mkpath(dir.file(QStringLiteral("run")));
    QFile::setPermissions(dir.file(QStringLiteral("run")), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.file(QStringLiteral("run")));
    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.setStandardOutputFile(dir.file(QStringLiteral("output.log")));
    if (tray)
        program.start(QStringLiteral(BREVICOR_SOURCE_DIR "/tests/support/with-tray-desktop.sh"), {exe});
    else
        program.start(exe, {});
    if (!program.waitForStarted(10000))
        Fail(QStringLiteral("cannot start the program"));

    qint64 pid = 0;
    for (int i = 0; i < 100 && !pid; ++i) {
        Pump(50);
        pid = FindProcessOf(exe);
    }
    if (!pid)
        Fail(QStringLiteral("the program did not start"));
    Pump(o.settle * 1000);
    if (program.state() != QProcess::Running)
        Fail(QStringLiteral("the program ended early: ") + QString::fromLocal8Bit(
            testsupport::readFileBytes(dir.file(QStringLiteral("output.log"))).c_str()));

    // The probe must reach the private NetworkManager: the program is on that bus.
    const QDBusConnection bus = net.nm.bus();
    const QString busName = BusNameOf(bus, pid);
    if (busName.isEmpty())
        Fail(QStringLiteral("the program has no connection to the private system bus"));

    IdleResult r;
    r.startCpu = CpuSeconds(pid);
    const double servers0 = CpuSeconds(net.nm.networkManagerPid()) + CpuSeconds(net.nm.busPid());
    const long switches0 = ContextSwitches(pid);
    QElapsedTimer wall;
    wall.start();
    Pump(o.seconds * 1000);
    const double cpu = CpuSeconds(pid) - r.startCpu;
    const double servers = CpuSeconds(net.nm.networkManagerPid()) + CpuSeconds(net.nm.busPid()) - servers0;
    r.wall = double(wall.nsecsElapsed()) / 1e9;
    r.wakeups = double(ContextSwitches(pid) - switches0) / r.wall;
    r.cpuPercent = 100.0 * cpu / r.wall;
    r.serversPercent = 100.0 * servers / r.wall;
    r.rssKb = StatusValue(pid, "VmRSS");
    r.hwmKb = StatusValue(pid, "VmHWM");
    r.anonKb = StatusValue(pid, "RssAnon");
    r.fileKb = StatusValue(pid, "RssFile");
    r.threads = StatusValue(pid, "Threads");
    if (tray)
        r.x = ReadXWindows(EnvironmentValue(pid, "DISPLAY"));
    r.busCalls = CallsFrom(net.nm.busAddress(), busName, 10);

    // Ended as a logout ends it: the settings are saved and the exit code is 0.
    ::kill(pid_t(pid), SIGTERM);
    for (int i = 0; i < 300 && program.state() != QProcess::NotRunning; ++i)
        Pump(50);
    if (program.state() != QProcess::NotRunning) {
        program.kill();
        program.waitForFinished(5000);
    }
    r.exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    return r;
}

QString ScenarioTitle(const QString& s)
{
    if (s == QLatin1String("tray"))
        return QStringLiteral("Xvfb + tray, line up");
    if (s == QLatin1String("tray-noline"))
        return QStringLiteral("Xvfb + tray, no line");
    if (s == QLatin1String("offscreen"))
        return QStringLiteral("offscreen, line up");
    return s;
}

void BenchIdle(const Options& o, quint16 popPort)
{
    for (const QString& s : o.scenarios)
        if (s != QLatin1String("tray") && s != QLatin1String("tray-noline") && s != QLatin1String("offscreen"))
            Fail(QStringLiteral("unknown scenario ") + s);
    Network net;
    net.start();
    std::printf("[idle] the program left running with the scheduler on (every 5 min), measured for %d s after "
                "%d s of start-up, %d runs per scenario\n"
                "       NetworkManager on a private system bus in a network namespace; profile \"Pont\" (bridge)\n",
                o.seconds, o.settle, o.runs);
    std::printf("%-22s %3s %8s %8s %8s %8s %8s %8s %7s %8s %8s %5s  %s\n", "scenario", "run", "start s", "cpu %",
                "NM+bus %", "RSS MiB", "HWM MiB", "anon MiB", "threads", "wakeup/s", "calls/2s", "exit", "windows");
    std::map<QString, std::vector<double>> cpu, rss, hwm, calls, servers;
    for (int run = 1; run <= o.runs; ++run) {
        for (const QString& s : o.scenarios) {
            const IdleResult r = MeasureIdle(o, net, s, popPort);
            QString windows = QStringLiteral("(no X display: the main window is shown, no tray)");
            if (r.x.read)
                windows = QStringLiteral("%1 shown%2, %3 docked in the tray")
                              .arg(r.x.shown)
                              .arg(r.x.titles.isEmpty() ? QString() : QStringLiteral(" ") + r.x.titles.join(QLatin1Char(',')))
                              .arg(r.x.docked);
            std::printf("%-22s %3d %8.2f %8.3f %8.3f %8.1f %8.1f %8.1f %7ld %8.2f %8.1f %5d  %s\n",
                        qPrintable(ScenarioTitle(s)), run, r.startCpu, r.cpuPercent, r.serversPercent, r.rssKb / 1024.0,
                        r.hwmKb / 1024.0, r.anonKb / 1024.0, r.threads, r.wakeups, r.busCalls / 5.0, r.exitCode, qPrintable(windows));
            std::fflush(stdout);
            cpu[s].push_back(r.cpuPercent);
            rss[s].push_back(r.rssKb / 1024.0);
            hwm[s].push_back(r.hwmKb / 1024.0);
            servers[s].push_back(r.serversPercent);
            calls[s].push_back(r.busCalls / 5.0);
        }
    }
    std::printf("\nmedians                 cpu %% (min-max)        NM+bus %%  RSS MiB  HWM MiB  bus calls per 2 s\n");
    for (const QString& s : o.scenarios)
        std::printf("%-22s %7.3f (%.3f-%.3f) %9.3f %8.1f %8.1f %8.1f\n", qPrintable(ScenarioTitle(s)), Median(cpu[s]),
                    Min(cpu[s]), Max(cpu[s]), Median(servers[s]), Median(rss[s]), Median(hwm[s]),
                    Median(calls[s]));
    for (const QString& s : o.scenarios)
        std::printf("%-22s target cpu < 0.2 %% of one core: %s; RSS < 60 MiB: %s (peak %s)\n",
                    qPrintable(ScenarioTitle(s)), Median(cpu[s]) < 0.2 ? "met" : "NOT met",
                    Median(rss[s]) < 60 ? "met" : "NOT met", Max(hwm[s]) < 60 ? "under 60 MiB too" : "above 60 MiB");
    std::printf("\n");
}

// ------------------------------------------------------------------------------------ [check]

struct Account {
    QString host;
    std::string user, password;
    int messages = 0;
};

// Every address the system's resolver and Qt's give for a name.
QStringList Resolve(const QString& host)
{
    QStringList found;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.toUtf8().constData(), "110", &hints, &list) == 0) {
        for (addrinfo* a = list; a; a = a->ai_next) {
            char text[INET6_ADDRSTRLEN] = {};
            const void* address = a->ai_family == AF_INET ? static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr)
                                                          : static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(a->ai_addr)->sin6_addr);
            ::inet_ntop(a->ai_family, address, text, sizeof text);
            found << QStringLiteral("getaddrinfo:") + QString::fromLatin1(text);
        }
        ::freeaddrinfo(list);
    }
    for (const QHostAddress& a : QHostInfo::fromName(host).addresses())
        found << QStringLiteral("Qt:") + a.toString();
    found.removeDuplicates();
    return found;
}

struct SpawnResult {
    double wallMs = 0;
    double cpuMs = 0;
    int exitCode = -1;
    std::string out;
};

// Runs a program with its output captured and its error stream discarded.
SpawnResult Spawn(const std::vector<std::string>& argv)
{
    int pipeFd[2];
    if (::pipe2(pipeFd, O_CLOEXEC) != 0)
        Fail(QStringLiteral("pipe"));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFd[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto t0 = Clock::now();
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFd[1]);
    if (rc != 0)
        Fail(QStringLiteral("cannot start %1").arg(argv[0].c_str()));
    SpawnResult r;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(pipeFd[0], buf, sizeof buf)) > 0)
        r.out.append(buf, size_t(n));
    ::close(pipeFd[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    r.wallMs = MsSince(t0);
    r.cpuMs = (double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
               + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

double OwnCpuMs()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// Closes the alert window as soon as it opens, noting when that was and what it showed.
class AlertWatch : public QObject {
public:
    explicit AlertWatch(TAlert* alert) : alert_(alert) { alert->installEventFilter(this); }
    Clock::time_point shownAt;
    QStringList lines;
    bool shown = false;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == alert_ && event->type() == QEvent::Show && !shown) {
            shownAt = Clock::now();
            shown = true;
            for (int i = 0; i < alert_->ListBox->count(); ++i)
                lines << alert_->ListBox->item(i)->text();
            QTimer::singleShot(0, alert_, [a = alert_] { a->CloseBtn->click(); });
        }
        return false;
    }

private:
    TAlert* alert_;
};

std::string MessageText(int user, int n)
{
    return "From: Sender <s" + std::to_string(n) + "@example.org>\r\nTo: u" + std::to_string(user)
           + "@example.org\r\nSubject: Message " + std::to_string(n) + "\r\nMessage-ID: <" + std::to_string(user) + "."
           + std::to_string(n) + "@example.org>\r\n\r\nBody of message " + std::to_string(n) + "\r\n";
}

QString ExpectedLine(const Account& a)
{
    return a.messages == 1 ? QStringLiteral("Vous avez 1 message sur %1").arg(a.host)
                           : QStringLiteral("Vous avez %1 messages sur %2").arg(a.messages).arg(a.host);
}

void BenchCheck(const Options& o, DovecotFixture& dovecot, const std::vector<Account>& accounts)
{
    const quint16 port = dovecot.port();
    std::printf("[check] %zu accounts on one Dovecot server (127.0.0.1:%u), each under its own host name:\n       ",
                accounts.size(), unsigned(port));
    for (const Account& a : accounts)
        std::printf(" %s(%d)", qPrintable(a.host), a.messages);
    std::printf("\n");
    std::fflush(stdout);

    // ---- fetchmail: one run per account, each with its own control file
    TempFolder work;
    std::vector<std::vector<std::string>> fetchmail;
    for (size_t i = 0; i < accounts.size(); ++i) {
        const Account& a = accounts[i];
        const QString rc = work.file(QStringLiteral("fetchmailrc%1").arg(i));
        testsupport::writeFileBytes(rc, "set no syslog\npoll \"" + a.host.toStdString() + "\" with proto POP3 port "
                                            + std::to_string(port) + " auth password\n  user \"" + a.user
                                            + "\" there with password \"" + a.password + "\" options keep sslproto \"\"\n");
        ::chmod(QFile::encodeName(rc).constData(), 0600);
        fetchmail.push_back({"/usr/bin/fetchmail", "--check", "-f", rc.toStdString(), "-i",
                             work.file(QStringLiteral("ids%1").arg(i)).toStdString(), "--pidfile",
                             work.file(QStringLiteral("pid%1").arg(i)).toStdString()});
    }
    auto runFetchmail = [&](double& cpuMs) {
        double total = 0;
        cpuMs = 0;
        for (size_t i = 0; i < accounts.size(); ++i) {
            const SpawnResult r = Spawn(fetchmail[i]);
            // Exit code 0: mail is waiting; the count is in its report ("3 messages for u2 at 127.1").
            const std::string want = std::to_string(accounts[i].messages) + (accounts[i].messages == 1 ? " message" : " messages")
                                     + " for " + accounts[i].user + " at " + accounts[i].host.toStdString();
            if (r.exitCode != 0 || r.out.find(want) == std::string::npos)
                Fail(QStringLiteral("fetchmail --check for %1 gave %2: %3").arg(accounts[i].host).arg(r.exitCode).arg(r.out.c_str()));
            total += r.wallMs;
            cpuMs += r.cpuMs;
        }
        return total;
    };

    // ---- Brevicor: the main window of this process, in a program folder of its own
    TempFolder folder;
    qputenv("XDG_CONFIG_HOME", folder.file(QStringLiteral("config")).toUtf8());
    ScriptedDialogs dialogs;
    FakeSoundOutput sound;
    RecordingLauncher launcher;
    XdgAutostart autostart(folder.file(QStringLiteral("config/autostart")));
    RecordingHelpViewer help;
    AppContext context;
    context.paths = ProgramPaths::forProgramFile(folder.file(QStringLiteral("brevicor")));
    context.dialogs = &dialogs;
    context.sound = &sound;
    context.launcher = &launcher;
    context.autostart = &autostart;
    context.help = &help;
    // A connection is already up, so nothing is dialed.
    context.makeDialService = [] {
        auto s = std::make_unique<FakeDialService>();
        FakeDialService::Entry box;
        box.Name = QStringLiteral("Box");
        s->Entries.push_back(box);
        ActiveConnection c;
        c.Handle = 99;
        c.State = DialState::Connected;
        c.EntryName = QStringLiteral("Lan");
        s->Active.push_back(c);
        return s;
    };
    {
        IniProfile ini(context.paths.iniPath());
        ini.WriteInteger(QStringLiteral("Host"), QStringLiteral("Nombre"), int(accounts.size()));
        for (size_t i = 0; i < accounts.size(); ++i) {
            const Account& a = accounts[i];
            ini.WriteString(QStringLiteral("Host"), QString::number(i + 1), a.host);
            ini.WriteString(a.host, QStringLiteral("UserName"), QString::fromStdString(a.user));
            ini.WriteString(a.host, QStringLiteral("Password"), QString::fromStdString(a.password));
            ini.WriteString(a.host, QStringLiteral("Port"), QString::number(port));
        }
        ini.WriteString(QStringLiteral("MainW"), QStringLiteral("Host"), accounts[0].host);
        ini.WriteString(QStringLiteral("MainW"), QStringLiteral("Port"), QString::number(port));
        ini.WriteString(QStringLiteral("MainW"), QStringLiteral("UserID"), QString::fromStdString(accounts[0].user));
        ini.WriteString(QStringLiteral("MainW"), QStringLiteral("Password"), QString::fromStdString(accounts[0].password));
        ini.WriteBool(QStringLiteral("MainW"), QStringLiteral("JustCurrentMess"), false);
        ini.WriteBool(QStringLiteral("MainW"), QStringLiteral("Automail"), false);
        ini.WriteInteger(QStringLiteral("MainW"), QStringLiteral("ComboBox1"), 0);
        ini.WriteBool(QStringLiteral("Last"), QStringLiteral("WinStart"), false);
    }
    TWindows windows = CreateWindows(context);
    TForm1& form = *windows.Form1;
    QStringList expected;
    for (const Account& a : accounts)
        expected << ExpectedLine(a);

    struct Check {
        double toAlertMs = 0, toReturnMs = 0, cpuMs = 0;
    };
    auto runBrevicor = [&] {
        // Every round is a first check: all the mail is new, so the alert window opens each time.
        QDir(context.paths.configDir + QStringLiteral("nouveaux")).removeRecursively();
        AlertWatch watch(windows.Alert.get());
        Check c;
        const double cpu0 = OwnCpuMs();
        const auto t0 = Clock::now();
        form.CheckMail();
        c.toReturnMs = MsSince(t0);
        c.cpuMs = OwnCpuMs() - cpu0;
        if (!watch.shown)
            Fail(QStringLiteral("the alert window did not open"));
        c.toAlertMs = std::chrono::duration<double, std::milli>(watch.shownAt - t0).count();
        // The first check also says how many are new; the counts are what is compared.
        QStringList said = watch.lines;
        said.replaceInStrings(QRegularExpression(QStringLiteral(" \\(\\d+ nouveaux?\\)$")), QString());
        if (said != expected)
            Fail(QStringLiteral("the alert window said:\n  %1\ninstead of:\n  %2")
                     .arg(watch.lines.join(QStringLiteral("\n  ")), expected.join(QStringLiteral("\n  "))));
        if (!dialogs.shown().empty())
            Fail(QStringLiteral("the check showed a message: ") + dialogs.shown().front().text);
        return c;
    };

    // The first run of each sets up what later runs reuse (Dovecot's processes, this process's
    // socket and resolver machinery); it is not counted.
    double ignored = 0;
    runBrevicor();
    runFetchmail(ignored);

    std::printf("%5s %14s %14s %10s %16s %16s\n", "round", "Brevicor ms", "fetchmail ms", "ratio", "Brevicor cpu ms",
                "fetchmail cpu ms");
    std::vector<double> mine, mineReturn, peer, ratio, mineCpu, peerCpu;
    for (int round = 1; round <= o.rounds; ++round) {
        Check c;
        double f = 0, fCpu = 0;
        // Alternating which goes first evens out what one leaves behind for the other.
        if (round % 2) {
            c = runBrevicor();
            f = runFetchmail(fCpu);
        } else {
            f = runFetchmail(fCpu);
            c = runBrevicor();
        }
        std::printf("%5d %14.1f %14.1f %10.3f %16.1f %16.1f\n", round, c.toAlertMs, f, c.toAlertMs / f, c.cpuMs, fCpu);
        std::fflush(stdout);
        mine.push_back(c.toAlertMs);
        mineReturn.push_back(c.toReturnMs);
        peer.push_back(f);
        ratio.push_back(c.toAlertMs / f);
        mineCpu.push_back(c.cpuMs);
        peerCpu.push_back(fCpu);
    }
    std::printf("\nmedians: Brevicor check of %zu accounts %.1f ms (to the alert window; %.1f ms until CheckMail returned"
                " with the window closed), CPU %.1f ms\n",
                accounts.size(), Median(mine), Median(mineReturn), Median(mineCpu));
    std::printf("         %zu single fetchmail --check runs: %.1f ms in all, CPU %.1f ms\n", accounts.size(), Median(peer),
                Median(peerCpu));
    std::printf("         ratio Brevicor / fetchmail: %.3f (median of the rounds' ratios %.3f); target <= 1.2: %s\n",
                Median(mine) / Median(peer), Median(ratio), Median(mine) / Median(peer) <= 1.2 ? "met" : "NOT met");
}

// -------------------------------------------------------------------------------------- cli

void PrintRatio(const char* what, std::vector<double> ratios, double target);

// fetchmail's control file for the account on a port of 127.0.0.1, in the folder.
std::string WriteFetchmailRc(const TempFolder& dir, quint16 port, const Account& a)
{
    const std::string rc = dir.file(QStringLiteral("fetchmailrc")).toStdString();
    testsupport::writeFileBytes(QString::fromStdString(rc),
                                "set no syslog\npoll \"127.0.0.1\" with proto POP3 port " + std::to_string(port)
                                    + " auth password\n  user \"" + a.user + "\" there with password \"" + a.password
                                    + "\" options keep sslproto \"\"\n");
    ::chmod(rc.c_str(), 0600);
    return rc;
}

// A port of 127.0.0.1 where nothing listens: bound, then let go.
quint16 RefusingPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        Fail(QStringLiteral("no free port"));
    ::close(fd);
    return ntohs(address.sin_port);
}

// What each start-up costs without a server's time: both checks against a port where nothing
// listens (start, read the settings, be refused, print, end), and a program that only starts
// Qt Core, which no Qt program can cost less than.
void BenchStartUp(const Options& o, const Account& a)
{
    TempFolder dir;
    const quint16 port = RefusingPort();
    PrepareProgramFolder(dir, port);
    const std::string rc = WriteFetchmailRc(dir, port, a);
    const std::vector<std::vector<std::string>> programs = {
        {dir.file(QStringLiteral("brevicor")).toStdString(), "--check"},
        {"/usr/bin/fetchmail", "--check", "-f", rc, "-i", dir.file(QStringLiteral("ids")).toStdString(), "--pidfile",
         dir.file(QStringLiteral("pid")).toStdString()},
        {QT_START_EXECUTABLE}};
    const int expectedExit[] = {2, 2, 0};
    std::vector<double> wall[3], cpu[3];
    for (int round = 0; round <= o.rounds; ++round) {
        for (size_t k = 0; k < programs.size(); ++k) {
            const size_t p = (k + size_t(round)) % programs.size();
            const SpawnResult r = Spawn(programs[p]);
            if (r.exitCode != expectedExit[p])
                Fail(QStringLiteral("%1 gave %2: %3").arg(programs[p][0].c_str()).arg(r.exitCode).arg(r.out.c_str()));
            if (round > 0) {
                wall[p].push_back(r.wallMs);
                cpu[p].push_back(r.cpuMs);
            }
        }
    }
    std::printf("  start-up alone, nothing listening (median of %d rounds):\n", o.rounds);
    const char* names[] = {"brevicor --check", "fetchmail --check", "a program that only starts Qt Core"};
    for (int p = 0; p < 3; ++p)
        std::printf("    %-36s %6.1f ms wall %6.1f ms cpu\n", names[p], Median(wall[p]), Median(cpu[p]));
}

// One check from the command line, process against process: the program copied into a folder
// with the account as its current one, and fetchmail with a control file for the same account.
void BenchCommandLine(const Options& o, DovecotFixture& dovecot, const Account& a)
{
    TempFolder dir;
    PrepareProgramFolder(dir, dovecot.port());
    const std::string rc = WriteFetchmailRc(dir, dovecot.port(), a);
    const std::vector<std::string> brevicor = {dir.file(QStringLiteral("brevicor")).toStdString(), "--check"};
    const std::vector<std::string> fetchmail = {"/usr/bin/fetchmail", "--check", "-f", rc, "-i",
                                                dir.file(QStringLiteral("ids")).toStdString(), "--pidfile",
                                                dir.file(QStringLiteral("pid")).toStdString()};
    std::printf("[cli] one check of one account: brevicor --check against fetchmail --check\n");
    std::printf("%5s %14s %14s %10s %16s %16s\n", "round", "Brevicor ms", "fetchmail ms", "ratio", "Brevicor cpu ms",
                "fetchmail cpu ms");
    std::vector<double> ratios;
    for (int round = 0; round <= o.rounds; ++round) {
        // Alternating which goes first evens out what one leaves behind for the other (the
        // server's processes, the page cache).
        SpawnResult b, f;
        if (round % 2) {
            b = Spawn(brevicor);
            f = Spawn(fetchmail);
        } else {
            f = Spawn(fetchmail);
            b = Spawn(brevicor);
        }
        if (b.exitCode != 0 || b.out.find(" sur 127.0.0.1") == std::string::npos)
            Fail(QStringLiteral("brevicor --check gave %1: %2").arg(b.exitCode).arg(b.out.c_str()));
        if (f.exitCode != 0)
            Fail(QStringLiteral("fetchmail --check gave %1: %2").arg(f.exitCode).arg(f.out.c_str()));
        if (round == 0)
            continue;  // warm-up: caches filled for both
        ratios.push_back(b.wallMs / f.wallMs);
        std::printf("%5d %14.1f %14.1f %10.3f %16.1f %16.1f\n", round, b.wallMs, f.wallMs, ratios.back(), b.cpuMs, f.cpuMs);
    }
    PrintRatio("brevicor --check / fetchmail --check (wall)", ratios, 1.0);
    BenchStartUp(o, a);
    std::printf("\n");
}

// ---------------------------------------------------------------------------------- listing

// Median of paired ratios with their spread, and whether the target is met.
void PrintRatio(const char* what, std::vector<double> ratios, double target)
{
    std::sort(ratios.begin(), ratios.end());
    const double median = Median(ratios);
    std::printf("  %-44s %7.3f (rounds %.3f-%.3f) target <= %.1f: %s\n", what, median, ratios.front(), ratios.back(),
                target, median <= target ? "met" : "NOT met");
}

void BenchListing(const Options& o, DovecotFixture& dovecot, const std::string& user, const std::string& password)
{
    const quint16 port = dovecot.port();
    std::printf("[listing] %d messages on Dovecot (127.0.0.1:%u), which announces PIPELINING\n", o.listCount,
                unsigned(port));
    std::fflush(stdout);

    TempFolder folder;
    qputenv("XDG_CONFIG_HOME", folder.file(QStringLiteral("config")).toUtf8());
    ScriptedDialogs dialogs;
    FakeSoundOutput sound;
    RecordingLauncher launcher;
    XdgAutostart autostart(folder.file(QStringLiteral("config/autostart")));
    RecordingHelpViewer help;
    AppContext context;
    context.paths = ProgramPaths::forProgramFile(folder.file(QStringLiteral("brevicor")));
    context.dialogs = &dialogs;
    context.sound = &sound;
    context.launcher = &launcher;
    context.autostart = &autostart;
    context.help = &help;
    // A connection is already up, so nothing is dialed.
    context.makeDialService = [] {
        auto s = std::make_unique<FakeDialService>();
        FakeDialService::Entry box;
        box.Name = QStringLiteral("Box");
        s->Entries.push_back(box);
        ActiveConnection c;
        c.Handle = 99;
        c.State = DialState::Connected;
        c.EntryName = QStringLiteral("Lan");
        s->Active.push_back(c);
        return s;
    };
    {
        IniProfile ini(context.paths.iniPath());
        ini.WriteInteger(QStringLiteral("MainW"), QStringLiteral("ComboBox1"), 0);
        ini.WriteString(QStringLiteral("MainW"), QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
        ini.WriteString(QStringLiteral("MainW"), QStringLiteral("Port"), QString::number(port));
        ini.WriteString(QStringLiteral("MainW"), QStringLiteral("UserID"), QString::fromStdString(user));
        ini.WriteString(QStringLiteral("MainW"), QStringLiteral("Password"), QString::fromStdString(password));
        ini.WriteBool(QStringLiteral("MainW"), QStringLiteral("Automail"), false);
        ini.WriteBool(QStringLiteral("Last"), QStringLiteral("WinStart"), false);
    }
    TWindows windows = CreateWindows(context);
    TForm1& form = *windows.Form1;
    form.show();
    form.Button1Click();
    if (!form.KTPOP31->Connected())
        Fail(QStringLiteral("the main window could not connect: %1")
                 .arg(dialogs.shown().empty() ? form.StatusText() : dialogs.shown().front().text));
    form.ShowMailboxTabs(true);
    form.ShowPage(form.List);
    Pump(200);

    // "Lister" refreshes the session (QUIT, new login) and lists; the component alone does the same.
    auto runForm = [&](bool pipelined) {
        form.KTPOP31->AllowPipelining = pipelined;
        const auto t0 = Clock::now();
        form.List->Button5->click();
        const double ms = MsSince(t0);
        if (form.List->ListBox1->count() != o.listCount || !dialogs.shown().empty())
            Fail(QStringLiteral("the window listed %1 lines").arg(form.List->ListBox1->count()));
        return ms;
    };
    TKTPOP3 pop;
    pop.Host = "127.0.0.1";
    pop.Port = port;
    pop.UserID = user;
    pop.Password = password;
    pop.Connect();
    auto runComponent = [&](bool pipelined) {
        pop.AllowPipelining = pipelined;
        const auto t0 = Clock::now();
        pop.Disconnect();
        pop.Connect();
        int seen = 0;
        pop.ListSummaries(1, pop.MessageCount(), [&](int, const TSummary&) { return ++seen, true; });
        const double ms = MsSince(t0);
        if (seen != o.listCount)
            Fail(QStringLiteral("the component listed %1 summaries").arg(seen));
        return ms;
    };
    const std::string script = std::string(BREVICOR_SOURCE_DIR) + "/bench/mail/poplib_list.py";
    auto runPoplib = [&] {
        const SpawnResult r = Spawn({"/usr/bin/python3", script, "127.0.0.1", std::to_string(port), user, password});
        const auto at = r.out.find("INTERNAL_MS ");
        if (r.exitCode != 0 || at == std::string::npos
            || r.out.find("COUNT " + std::to_string(o.listCount)) == std::string::npos)
            Fail(QStringLiteral("poplib listing failed: %1").arg(r.out.c_str()));
        return std::stod(r.out.substr(at + 12));
    };

    // One warm-up round, not counted.
    runForm(false), runForm(true), runComponent(false), runComponent(true), runPoplib();
    std::printf("%5s %12s %12s %12s %12s %12s\n", "round", "window 1x1", "window pipe", "alone 1x1", "alone pipe",
                "poplib");
    std::vector<double> fs, fp, cs, cp, pl, rFormCompS, rFormCompP, rFormPoplib, rPipePoplib;
    for (int round = 1; round <= o.rounds; ++round) {
        double v[5];
        // The order rotates, so that no side always follows the same other side.
        for (int k = 0; k < 5; ++k) {
            const int which = (k + round) % 5;
            switch (which) {
            case 0: v[0] = runForm(false); break;
            case 1: v[1] = runForm(true); break;
            case 2: v[2] = runComponent(false); break;
            case 3: v[3] = runComponent(true); break;
            default: v[4] = runPoplib(); break;
            }
        }
        std::printf("%5d %12.1f %12.1f %12.1f %12.1f %12.1f\n", round, v[0], v[1], v[2], v[3], v[4]);
        std::fflush(stdout);
        fs.push_back(v[0]), fp.push_back(v[1]), cs.push_back(v[2]), cp.push_back(v[3]), pl.push_back(v[4]);
        rFormCompS.push_back(v[0] / v[2]);
        rFormCompP.push_back(v[1] / v[3]);
        rFormPoplib.push_back(v[0] / v[4]);
        rPipePoplib.push_back(v[1] / v[4]);
    }
    std::printf("medians (ms): window %.1f one at a time, %.1f pipelined; component alone %.1f / %.1f; poplib %.1f\n",
                Median(fs), Median(fp), Median(cs), Median(cp), Median(pl));
    PrintRatio("window / component, one at a time", rFormCompS, 1.5);
    PrintRatio("window / component, pipelined", rFormCompP, 1.5);
    PrintRatio("window one at a time / poplib", rFormPoplib, 1.2);
    PrintRatio("window pipelined / poplib", rPipePoplib, 0.5);
    form.ClosePopSession();
    pop.Disconnect();
}

} // namespace

int main(int argc, char** argv)
{
    // This process's windows (the in-process check) stay off any screen; the program started for
    // the idle measurement gets its own platform.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const Options o = ParseOptions(app.arguments());

    // Ten names for 127.0.0.1, each checked with the system's resolver and Qt's.
    const QStringList hosts = {"127.0.0.1",  "localhost",  "127.1",  "127.0.1", "2130706433",
                               "0x7f000001", "0177.0.0.1", "0x7f.1", "0177.1",  "127.000.000.001"};
    std::vector<Account> accounts;
    DovecotFixture dovecot;
    for (int i = 0; i < hosts.size(); ++i) {
        const QStringList found = Resolve(hosts[i]);
        if (found != QStringList({QStringLiteral("getaddrinfo:127.0.0.1"), QStringLiteral("Qt:127.0.0.1")}))
            Fail(QStringLiteral("%1 does not resolve to 127.0.0.1 alone: %2").arg(hosts[i], found.join(QLatin1Char(' '))));
        Account a{hosts[i], QStringLiteral("u%1").arg(i).toStdString(), QStringLiteral("p%1").arg(i).toStdString(),
                  i % 4 + 1};
        std::vector<std::string> messages;
        for (int n = 1; n <= a.messages; ++n)
            messages.push_back(MessageText(i, n));
        dovecot.addUser(a.user, a.password, messages);
        accounts.push_back(a);
    }
    std::vector<std::string> listed;
    for (int n = 1; n <= o.listCount; ++n)
        listed.push_back(MessageText(99, n));
    dovecot.addUser("lister", "l1ster", listed);
    dovecot.start();

    if (o.cli)
        BenchCommandLine(o, dovecot, accounts.front());
    if (o.listing)
        BenchListing(o, dovecot, "lister", "l1ster");
    if (o.listing && (o.check || o.idle))
        std::printf("\n");
    if (o.check)
        BenchCheck(o, dovecot, accounts);
    if (o.check && o.idle)
        std::printf("\n");
    if (o.idle)
        BenchIdle(o, dovecot.port());
    return 0;
}
