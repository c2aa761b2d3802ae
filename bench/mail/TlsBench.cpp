// TLS benchmarks against peers measured in the same run, all against one Dovecot serving POP3S
// with a throw-away authority: retrieval and decoding of a 100 MB attachment (mpop with TLS), one
// check (connect, handshake, login, STAT, QUIT) against fetchmail --check --ssl and mpop
// --status-only with TLS, and the peak memory while retrieving.
#include "mail/KTpop3.h"
#include "DovecotFixture.h"
#include "TestCertificates.h"
#include "TestDirs.h"

#include <QCoreApplication>
#include <QDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point T0) { return std::chrono::duration<double, std::milli>(Clock::now() - T0).count(); }

double Median(std::vector<double> V)
{
    std::sort(V.begin(), V.end());
    const size_t n = V.size();
    return n == 0 ? 0 : (n % 2 ? V[n / 2] : (V[n / 2 - 1] + V[n / 2]) / 2);
}

std::string RandomBytes(size_t N, unsigned Seed)
{
    std::mt19937_64 rng(Seed);
    std::string s(N, '\0');
    size_t i = 0;
    for (; i + 8 <= N; i += 8) {
        const uint64_t v = rng();
        std::memcpy(&s[i], &v, 8);
    }
    for (; i < N; ++i)
        s[i] = char(rng());
    return s;
}

long PeakRssKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

struct RunResult {
    double wallMs = 0;
    long maxRssKb = 0;
    double cpuMs = 0;  // user + system time of the program
    int exitCode = -1;
    std::string out;
};

// Runs a program under GNU time (for its peak memory), stdout captured, stderr discarded. Started
// with posix_spawn, so this large process's pages are not copied.
RunResult Run(const std::vector<std::string>& ProgramArgv)
{
    static int counter = 0;
    const std::string rssFile = "/tmp/brevicor-tlsbench-rss-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    std::vector<std::string> argv = {"/usr/bin/time", "-f", "%U %S %M", "-o", rssFile};
    argv.insert(argv.end(), ProgramArgv.begin(), ProgramArgv.end());
    int pipeFd[2];
    if (::pipe2(pipeFd, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
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
    if (rc != 0) {
        ::close(pipeFd[0]);
        throw std::runtime_error("cannot start " + argv[0]);
    }
    RunResult r;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(pipeFd[0], buf, sizeof buf)) > 0)
        r.out.append(buf, size_t(n));
    ::close(pipeFd[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.wallMs = MsSince(t0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::ifstream rss(rssFile);
    std::string line, last;
    while (std::getline(rss, line))
        if (!line.empty())
            last = line;
    double user = 0, system = 0;
    long rssKb = -1;
    if (std::sscanf(last.c_str(), "%lf %lf %ld", &user, &system, &rssKb) == 3) {
        r.cpuMs = (user + system) * 1000;
        r.maxRssKb = rssKb;
    }
    ::unlink(rssFile.c_str());
    return r;
}

double ValueOf(const std::string& Out, const std::string& Key)
{
    const size_t at = Out.find(Key + " ");
    return at == std::string::npos ? -1 : std::stod(Out.substr(at + Key.size() + 1));
}

void PrintRow(const char* What, double Value, const char* Unit) { std::printf("  %-52s %10.2f %s\n", What, Value, Unit); }

std::string Self;

// Child: retrieve and decode message 1 over POP3S.
int ChildRetrieve(char** Argv)
{
    const auto t0 = Clock::now();
    TKTPOP3 pop;
    pop.Host = "localhost";
    pop.Port = std::atoi(Argv[0]);
    pop.Security = secTls;
    pop.CaFile = Argv[1];
    pop.UserID = "bench";
    pop.Password = "secret";
    pop.AttachFilePath = std::string(Argv[2]) + "/";
    pop.Connect();
    pop.RetrieveMessage(1);
    pop.Disconnect();
    std::printf("INTERNAL_MS %.3f\nHWM_KB %ld\nATTACHMENTS %d\n", MsSince(t0), PeakRssKb(),
                pop.MailMessage().Attachments.Count());
    return 0;
}

std::string MessageWithAttachment(const std::string& Data)
{
    std::string m = "From: Sender <sender@example.org>\r\nTo: bench@example.org\r\nSubject: Big attachment\r\n"
                    "Message-ID: <bench@example.org>\r\nMIME-Version: 1.0\r\n"
                    "Content-Type: multipart/mixed; boundary=\"BENCH-BOUNDARY\"\r\n\r\n"
                    "--BENCH-BOUNDARY\r\nContent-Type: text/plain\r\n\r\nSee the attachment.\r\n"
                    "--BENCH-BOUNDARY\r\nContent-Type: application/octet-stream; name=\"big.bin\"\r\n"
                    "Content-Transfer-Encoding: base64\r\n\r\n";
    const QByteArray b64 = QByteArray::fromRawData(Data.data(), qsizetype(Data.size())).toBase64();
    m.reserve(m.size() + size_t(b64.size()) / 76 * 78 + 200);
    for (qsizetype at = 0; at < b64.size(); at += 76) {
        m.append(b64.constData() + at, size_t(std::min<qsizetype>(76, b64.size() - at)));
        m += "\r\n";
    }
    return m + "--BENCH-BOUNDARY--\r\n";
}

struct Options {
    int runs = 5;
    int popMb = 100;
    int checks = 21;
    std::string only;
};

void BenchRetrieve(const Options& O)
{
    std::printf("\n[POP3S] retrieve and decode one message with a %d MB base64 attachment (Dovecot, TLS)\n", O.popMb);
    const std::string data = RandomBytes(size_t(O.popMb) * 1000 * 1000, 7);
    testsupport::DovecotFixture dovecot;
    dovecot.enableTls("good");
    dovecot.addUser("bench", "secret", {MessageWithAttachment(data)});
    dovecot.start();
    const std::string ca = testsupport::TestCertificates::get().caFile();
    testsupport::TempFolder work;
    const std::string port = std::to_string(dovecot.tlsPort());
    const std::string mine = work.file("brevicor").toStdString(), peer = work.file("mpop").toStdString();
    auto clean = [&] {
        QDir(QString::fromStdString(mine)).removeRecursively();
        QDir(QString::fromStdString(peer)).removeRecursively();
        for (const std::string& d : {mine, peer + "/cur", peer + "/new", peer + "/tmp"})
            QDir().mkpath(QString::fromStdString(d));
    };
    auto runMine = [&] { return Run({Self, "--child-retrieve", port, ca, mine}); };
    auto runPeer = [&] {
        return Run({"/usr/bin/mpop", "--host=localhost", "--port=" + port, "--auth=user", "--user=bench",
                    "--passwordeval=echo secret", "--tls=on", "--tls-starttls=off", "--tls-trust-file=" + ca, "--keep",
                    "--only-new=off", "--quiet", "--uidls-file=" + work.file("uidls").toStdString(),
                    "--delivery=maildir," + peer});
    };
    clean();
    RunResult w = runMine();
    if (w.exitCode != 0)
        throw std::runtime_error("Brevicor retrieve over TLS failed: " + w.out);
    const std::string decoded = testsupport::readFileBytes(QString::fromStdString(mine + "/big.bin"));
    std::printf("  decoded attachment identical to the original: %s\n", decoded == data ? "yes" : "NO");
    if (runPeer().exitCode != 0)
        throw std::runtime_error("mpop with TLS failed");

    std::vector<double> mineMs, mineRss, mineCpu, peerMs, peerRss, peerCpu;
    for (int r = 0; r < O.runs; ++r) {
        // Order alternated, so neither side always runs on a warmer machine.
        for (int side = 0; side < 2; ++side) {
            clean();
            if ((side == 0) == (r % 2 == 0)) {
                const RunResult a = runMine();
                if (a.exitCode != 0)
                    throw std::runtime_error("Brevicor retrieve over TLS failed");
                mineMs.push_back(a.wallMs);
                mineCpu.push_back(a.cpuMs);
                mineRss.push_back(double(a.maxRssKb) / 1024);
            } else {
                const RunResult b = runPeer();
                if (b.exitCode != 0 || QDir(QString::fromStdString(peer + "/new")).entryList(QDir::Files).size() != 1)
                    throw std::runtime_error("mpop delivered nothing");
                peerMs.push_back(b.wallMs);
                peerCpu.push_back(b.cpuMs);
                peerRss.push_back(double(b.maxRssKb) / 1024);
            }
        }
    }
    PrintRow("Brevicor POP3S retrieve+decode (process, median)", Median(mineMs), "ms");
    PrintRow("mpop --tls=on --keep (median)", Median(peerMs), "ms");
    PrintRow("ratio Brevicor / mpop (target <= 1.0)", Median(mineMs) / Median(peerMs), "");
    PrintRow("  CPU time (user + system): Brevicor (median)", Median(mineCpu), "ms");
    PrintRow("  CPU time (user + system): mpop (median)", Median(peerCpu), "ms");
    PrintRow("Brevicor peak memory (max RSS, target < 64)", *std::max_element(mineRss.begin(), mineRss.end()), "MiB");
    PrintRow("mpop peak memory (max RSS)", *std::max_element(peerRss.begin(), peerRss.end()), "MiB");
}

void BenchCheck(const Options& O)
{
    std::printf("\n[POP3S] one check: connect, TLS handshake, log in, STAT, QUIT (Dovecot)\n");
    testsupport::DovecotFixture dovecot;
    dovecot.enableTls("good");
    dovecot.addUser("check", "secret", {"Subject: one\r\n\r\nbody\r\n", "Subject: two\r\n\r\nbody\r\n"});
    dovecot.start();
    const std::string ca = testsupport::TestCertificates::get().caFile();
    testsupport::TempFolder work;
    const std::string port = std::to_string(dovecot.tlsPort());
    const std::string rc = work.file("fetchmailrc").toStdString();
    testsupport::writeFileBytes(QString::fromStdString(rc),
                                "set no syslog\npoll localhost with proto POP3 port " + port
                                    + " auth password\n  user \"check\" there with password \"secret\" options keep ssl"
                                      " sslcertck sslcertfile \"" + ca + "\"\n");
    ::chmod(rc.c_str(), 0600);
    auto runFetchmail = [&] {
        return Run({"/usr/bin/fetchmail", "--check", "-f", rc, "-i", work.file("fetchids").toStdString(), "--pidfile",
                    work.file("fetchmail.pid").toStdString()});
    };
    auto runMpop = [&] {
        return Run({"/usr/bin/mpop", "--status-only", "--host=localhost", "--port=" + port, "--auth=user", "--user=check",
                    "--passwordeval=echo secret", "--tls=on", "--tls-starttls=off", "--tls-trust-file=" + ca,
                    "--uidls-file=" + work.file("uidls").toStdString(),
                    "--delivery=maildir," + work.file("unused").toStdString()});
    };
    // Exit code 0 from fetchmail: mail is waiting; mpop --status-only reports and exits 0.
    if (runFetchmail().exitCode != 0)
        throw std::runtime_error("fetchmail --check --ssl failed");
    if (runMpop().exitCode != 0)
        throw std::runtime_error("mpop --status-only with TLS failed");

    TKTPOP3 pop;
    pop.Host = "localhost";
    pop.Port = dovecot.tlsPort();
    pop.Security = secTls;
    pop.CaFile = ca;
    pop.UserID = "check";
    pop.Password = "secret";
    pop.Connect();  // the first check also loads the authorities: not counted
    pop.Disconnect();
    std::vector<double> mineMs, fetchmailMs, mpopMs;
    for (int i = 0; i < O.checks; ++i) {
        const auto t0 = Clock::now();
        pop.Connect();
        pop.Disconnect();
        mineMs.push_back(MsSince(t0));
        if (pop.MessageCount() != 2)
            throw std::runtime_error("Brevicor check counted " + std::to_string(pop.MessageCount()));
        const RunResult f = runFetchmail();
        if (f.exitCode != 0)
            throw std::runtime_error("fetchmail --check --ssl failed");
        fetchmailMs.push_back(f.wallMs);
        const RunResult m = runMpop();
        if (m.exitCode != 0)
            throw std::runtime_error("mpop --status-only failed");
        mpopMs.push_back(m.wallMs);
    }
    // A whole process too, for a like-for-like comparison with the peers' processes.
    std::vector<double> processMs;
    for (int i = 0; i < std::min(O.checks, 7); ++i)
        processMs.push_back(Run({Self, "--child-check", port, ca}).wallMs);
    PrintRow("Brevicor check from a running process (median)", Median(mineMs), "ms");
    PrintRow("Brevicor check as a process of its own (median)", Median(processMs), "ms");
    PrintRow("fetchmail --check --ssl process (median)", Median(fetchmailMs), "ms");
    PrintRow("mpop --status-only --tls=on process (median)", Median(mpopMs), "ms");
    PrintRow("ratio Brevicor / fetchmail (target <= 0.8)", Median(mineMs) / Median(fetchmailMs), "");
    PrintRow("ratio Brevicor / mpop (target <= 0.8)", Median(mineMs) / Median(mpopMs), "");
    PrintRow("  as processes: Brevicor / fetchmail", Median(processMs) / Median(fetchmailMs), "");
    PrintRow("  as processes: Brevicor / mpop", Median(processMs) / Median(mpopMs), "");
}

// Child: one check over POP3S.
int ChildCheck(char** Argv)
{
    TKTPOP3 pop;
    pop.Host = "localhost";
    pop.Port = std::atoi(Argv[0]);
    pop.Security = secTls;
    pop.CaFile = Argv[1];
    pop.UserID = "check";
    pop.Password = "secret";
    pop.Connect();
    pop.Disconnect();
    return pop.MessageCount() == 2 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Self = QCoreApplication::applicationFilePath().toStdString();
    try {
        if (argc >= 5 && std::strcmp(argv[1], "--child-retrieve") == 0)
            return ChildRetrieve(argv + 2);
        if (argc >= 4 && std::strcmp(argv[1], "--child-check") == 0)
            return ChildCheck(argv + 2);
        Options o;
        for (int i = 1; i + 1 < argc; i += 2) {
            const std::string k = argv[i];
            const int v = std::atoi(argv[i + 1]);
            if (k == "--runs")
                o.runs = v;
            else if (k == "--pop-mb")
                o.popMb = v;
            else if (k == "--checks")
                o.checks = v;
            else if (k == "--only")
                o.only = argv[i + 1];
        }
        std::printf("Brevicor TLS benchmarks: medians of %d runs, peers measured in the same run\n", o.runs);
        if (o.only.empty() || o.only == "check")
            BenchCheck(o);
        std::fflush(stdout);
        if (o.only.empty() || o.only == "retrieve")
            BenchRetrieve(o);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "benchmark failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
