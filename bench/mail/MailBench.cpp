// Mail layer benchmarks against peers measured in the same run: POP3 retrieval of a 100 MB
// attachment (mpop --keep), sending a 100 MB attachment (msmtp), one mailbox check as a whole
// process (fetchmail --check), the listing of a mailbox's summaries (Python's poplib), and the
// base64 codec in memory (coreutils base64).
#include "mail/KTUUE.h"
#include "mail/KTpop3.h"
#include "mail/KTsmtp.h"
#include "DovecotFixture.h"
#include "TestDirs.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <netinet/in.h>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
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

// Peak resident memory of this process so far, in KiB.
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
    int exitCode = -1;
    std::string out;
};

// Runs a program, stdin from a file when given, stdout captured (or discarded), stderr kept.
// posix_spawn does not copy this process's page tables (a fork would, and would then make every
// later write to the large benchmark buffers fault). The program runs under GNU time, which
// reports its peak memory: the rusage of a child started from this large process would count
// this process's pages too. Every program, Brevicor's and the peers', is started the same way.
RunResult Run(const std::vector<std::string>& ProgramArgv, const std::string& StdinFile = "", bool DiscardOutput = false,
              bool DiscardErrors = false)
{
    static int counter = 0;
    const std::string rssFile = "/tmp/brevicor-bench-rss-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    std::vector<std::string> Argv = {"/usr/bin/time", "-f", "%M", "-o", rssFile};
    Argv.insert(Argv.end(), ProgramArgv.begin(), ProgramArgv.end());
    int pipeFd[2];
    if (::pipe2(pipeFd, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, StdinFile.empty() ? "/dev/null" : StdinFile.c_str(), O_RDONLY, 0);
    if (DiscardOutput)
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    else
        posix_spawn_file_actions_adddup2(&actions, pipeFd[1], 1);
    if (DiscardErrors)
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const auto& a : Argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto t0 = Clock::now();
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFd[1]);
    if (rc != 0) {
        ::close(pipeFd[0]);
        throw std::runtime_error("cannot start " + Argv[0]);
    }
    RunResult r;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(pipeFd[0], buf, sizeof buf)) > 0)
        r.out.append(buf, size_t(n));
    ::close(pipeFd[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    r.wallMs = MsSince(t0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::ifstream rss(rssFile);
    std::string line, last;
    while (std::getline(rss, line))
        if (!line.empty())
            last = line;  // GNU time may put a note about the exit status first
    r.maxRssKb = last.empty() ? -1 : std::stol(last);
    ::unlink(rssFile.c_str());
    return r;
}

double ValueOf(const std::string& Out, const std::string& Key)
{
    const size_t at = Out.find(Key + " ");
    return at == std::string::npos ? -1 : std::stod(Out.substr(at + Key.size() + 1));
}

std::string Self;  // path of this program, for child modes

void PrintRow(const char* What, double Value, const char* Unit) { std::printf("  %-48s %10.2f %s\n", What, Value, Unit); }

// ---------------------------------------------------------------------------------------------
// Child modes (run as separate processes so that their memory and wall time are their own).

int ChildRetrieve(char** Argv)
{
    const auto t0 = Clock::now();
    TKTPOP3 pop;
    pop.Host = "127.0.0.1";
    pop.Port = std::atoi(Argv[0]);
    pop.UserID = Argv[1];
    pop.Password = Argv[2];
    pop.AttachFilePath = std::string(Argv[3]) + "/";
    pop.Connect();
    pop.RetrieveMessage(1);
    pop.Disconnect();
    std::printf("INTERNAL_MS %.3f\nHWM_KB %ld\nATTACHMENTS %d\n", MsSince(t0), PeakRssKb(),
                pop.MailMessage().Attachments.Count());
    return 0;
}

// One check as its own process: connect, log in, STAT, QUIT.
int ChildCheck(char** Argv)
{
    const auto t0 = Clock::now();
    TKTPOP3 pop;
    pop.Host = "127.0.0.1";
    pop.Port = std::atoi(Argv[0]);
    pop.UserID = Argv[1];
    pop.Password = Argv[2];
    pop.Connect();
    const int count = pop.MessageCount();
    pop.Disconnect();
    std::printf("INTERNAL_MS %.3f\nCOUNT %d\n", MsSince(t0), count);
    return 0;
}

int ChildSend(char** Argv)
{
    const auto t0 = Clock::now();
    TKTSMTP smtp;
    smtp.Host = "127.0.0.1";
    smtp.Port = std::atoi(Argv[0]);
    smtp.UserID = "bench.local";
    TPostMessage& m = smtp.PostMessage;
    m.FromName = "Bench ";
    m.FromAddress = "a@example.org";
    m.ToAddress = {"b@example.org"};
    m.Subject = "Big attachment";
    m.LocalProgram = "Brevicor bench";
    m.Body = {"The file is attached."};
    m.Attachments = {Argv[1]};
    smtp.Connect();
    smtp.Send();
    smtp.Disconnect();
    std::printf("INTERNAL_MS %.3f\nHWM_KB %ld\nMESSAGE_BYTES %lld\n", MsSince(t0), PeakRssKb(),
                static_cast<long long>(smtp.BytesTotal()));
    return 0;
}

// ---------------------------------------------------------------------------------------------
// A raw SMTP sink on 127.0.0.1: answers every command, swallows DATA up to "\r\n.\r\n". The
// first message's data can be kept (dot-stuffing undone) so that the peer sends the same text.

class SmtpSink {
public:
    SmtpSink()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener_, 8) != 0)
            throw std::runtime_error("sink: bind");
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~SmtpSink()
    {
        stop_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        thread_.join();
    }
    int port() const { return port_; }
    void keepNextMessage(const std::string& File) { keepFile_ = File; }
    long long lastDataBytes() const { return lastData_; }

private:
    void Serve()
    {
        while (!stop_) {
            const int c = ::accept(listener_, nullptr, nullptr);
            if (c < 0)
                continue;
            Session(c);
            ::close(c);
        }
    }
    void Say(int C, const char* Text) { (void)!::send(C, Text, std::strlen(Text), MSG_NOSIGNAL); }
    void Session(int C)
    {
        Say(C, "220 sink ready\r\n");
        std::vector<char> buf(256 * 1024);
        std::string pending;       // received bytes not handled yet
        bool inData = false;
        std::string window;        // the last bytes of data, to find the terminator across reads
        std::string kept;
        long long dataBytes = 0;
        for (;;) {
            const ssize_t n = ::recv(C, buf.data(), buf.size(), 0);
            if (n <= 0)
                return;
            pending.append(buf.data(), size_t(n));
            for (;;) {
                if (inData) {
                    const std::string probe = window + pending;
                    const size_t end = probe.find("\r\n.\r\n");
                    const size_t take = end == std::string::npos ? pending.size() : end + 5 - window.size();
                    dataBytes += static_cast<long long>(take);
                    if (!keepFile_.empty())
                        kept.append(pending, 0, take);
                    if (end == std::string::npos) {
                        window = probe.substr(probe.size() > 4 ? probe.size() - 4 : 0);
                        pending.clear();
                        break;
                    }
                    pending.erase(0, take);
                    inData = false;
                    lastData_ = dataBytes;
                    if (!keepFile_.empty()) {
                        Save(kept);
                        keepFile_.clear();
                    }
                    Say(C, "250 ok\r\n");
                    continue;
                }
                const size_t lf = pending.find('\n');
                if (lf == std::string::npos)
                    break;
                std::string cmd = pending.substr(0, std::min<size_t>(lf + 1, 4));
                pending.erase(0, lf + 1);
                for (auto& ch : cmd)
                    ch = char(std::toupper(static_cast<unsigned char>(ch)));
                if (cmd == "DATA") {
                    Say(C, "354 go ahead\r\n");
                    inData = true;
                    window = "\r\n";  // the data may be empty: ".\r\n" at once
                    dataBytes = 0;
                    kept.clear();
                } else if (cmd == "QUIT") {
                    Say(C, "221 bye\r\n");
                    return;
                } else if (cmd == "EHLO") {
                    Say(C, "250-sink\r\n250 8BITMIME\r\n");
                } else {
                    Say(C, "250 ok\r\n");
                }
            }
        }
    }
    void Save(const std::string& Data)
    {
        // Undo dot-stuffing and drop the terminator: the text a sender would be given.
        std::string text;
        text.reserve(Data.size());
        size_t at = 0;
        while (at < Data.size()) {
            size_t lf = Data.find('\n', at);
            lf = lf == std::string::npos ? Data.size() : lf + 1;
            std::string_view line(Data.data() + at, lf - at);
            if (line == ".\r\n")
                break;
            if (!line.empty() && line[0] == '.')
                line.remove_prefix(1);
            text.append(line);
            at = lf;
        }
        testsupport::writeFileBytes(QString::fromStdString(keepFile_), text);
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::string keepFile_;
    std::atomic<long long> lastData_{0};
};

// ---------------------------------------------------------------------------------------------
// The benchmarks.

struct Options {
    int runs = 5;
    std::vector<int> popMb = {100};
    int smtpMb = 100;
    int codecMb = 200;
    int checks = 21;
    int listCount = 500;
    std::string only;
};

// A ratio over paired runs: the median of the runs' ratios and their spread.
void PrintRatio(const char* What, const std::vector<double>& Ratios, double Target)
{
    std::vector<double> r = Ratios;
    std::sort(r.begin(), r.end());
    const double median = Median(r);
    std::printf("  %-48s %10.3f (runs %.3f-%.3f) target <= %.1f: %s\n", What, median, r.front(), r.back(), Target,
                median <= Target ? "met" : "NOT met");
}

// A multipart message: a short text part and an attachment in base64 lines of 76 characters.
std::string MessageWithAttachment(const std::string& Data, const std::string& Name)
{
    std::string m = "From: Sender <sender@example.org>\r\nTo: bench@example.org\r\nSubject: Big attachment\r\n"
                    "Message-ID: <bench@example.org>\r\nMIME-Version: 1.0\r\n"
                    "Content-Type: multipart/mixed; boundary=\"BENCH-BOUNDARY\"\r\n\r\n"
                    "--BENCH-BOUNDARY\r\nContent-Type: text/plain\r\n\r\nSee the attachment.\r\n"
                    "--BENCH-BOUNDARY\r\nContent-Type: application/octet-stream; name=\"" + Name + "\"\r\n"
                    "Content-Transfer-Encoding: base64\r\n\r\n";
    const QByteArray b64 = QByteArray::fromRawData(Data.data(), qsizetype(Data.size())).toBase64();
    m.reserve(m.size() + size_t(b64.size()) / 76 * 78 + 200);
    for (qsizetype at = 0; at < b64.size(); at += 76) {
        m.append(b64.constData() + at, size_t(std::min<qsizetype>(76, b64.size() - at)));
        m += "\r\n";
    }
    m += "--BENCH-BOUNDARY--\r\n";
    return m;
}

// Median and spread (lowest..highest) of a series, printed on one row.
void PrintSpread(const char* What, const std::vector<double>& V, const char* Unit)
{
    std::printf("  %-48s %10.2f %s  (%.2f .. %.2f)\n", What, Median(V), Unit, *std::min_element(V.begin(), V.end()),
                *std::max_element(V.begin(), V.end()));
}

// Each run's ratio, so that the spread of the ratio is seen too.
std::vector<double> Ratios(const std::vector<double>& A, const std::vector<double>& B)
{
    std::vector<double> r;
    for (size_t i = 0; i < A.size() && i < B.size(); ++i)
        r.push_back(A[i] / B[i]);
    return r;
}

void BenchRetrieveSize(const Options& O, int Mb)
{
    std::printf("\n[POP3] retrieve and decode one message with a %d MB base64 attachment (Dovecot, output on tmpfs)\n", Mb);
    const std::string data = RandomBytes(size_t(Mb) * 1000 * 1000, 7);
    testsupport::DovecotFixture dovecot;
    {
        const std::string msg = MessageWithAttachment(data, "big.bin");
        std::printf("  message size on the wire: %.1f MB\n", double(msg.size()) / 1e6);
        dovecot.addUser("bench", "secret", {msg});
    }
    dovecot.start();
    // Every side writes to tmpfs, so that no side pays for the disk (mpop flushes its file).
    QTemporaryDir shm(QDir("/dev/shm").exists() ? "/dev/shm/brevicor-bench-XXXXXX" : QDir::tempPath() + "/bench-XXXXXX");
    if (!shm.isValid())
        throw std::runtime_error("no temporary folder for the output");
    testsupport::TempFolder work;
    const std::string port = std::to_string(dovecot.port());
    const std::string base = shm.path().toStdString();
    const std::string mine = base + "/brevicor", peer = base + "/mpop", unpacked = base + "/munpack";
    auto clean = [&] {
        for (const std::string& d : {mine, peer, unpacked})
            QDir(QString::fromStdString(d)).removeRecursively();
        for (const std::string& d : {mine, peer + "/cur", peer + "/new", peer + "/tmp", unpacked})
            QDir().mkpath(QString::fromStdString(d));
    };
    auto runMine = [&] { return Run({Self, "--child-retrieve", port, "bench", "secret", mine}); };
    auto runMpop = [&](const std::string& Delivery) {
        return Run({"/usr/bin/mpop", "--host=127.0.0.1", "--port=" + port, "--auth=user", "--user=bench",
                    "--passwordeval=echo secret", "--tls=off", "--keep", "--only-new=off", "--quiet",
                    "--uidls-file=" + work.file("uidls").toStdString(), "--delivery=" + Delivery}, "", false, true);
    };
    auto runPeer = [&] { return runMpop("maildir," + peer); };
    auto runUnpack = [&] { return runMpop("mda,/usr/bin/munpack -q -C " + unpacked); };
    auto checkMine = [&](const RunResult& R) {
        if (R.exitCode != 0 || ValueOf(R.out, "ATTACHMENTS") != 1)
            throw std::runtime_error("Brevicor retrieve failed: " + R.out);
    };
    auto checkPeer = [&](const RunResult& R) {
        if (R.exitCode != 0 || QDir(QString::fromStdString(peer + "/new")).entryList(QDir::Files).size() != 1)
            throw std::runtime_error("mpop delivered nothing");
    };
    auto checkUnpack = [&](const RunResult& R) {
        if (R.exitCode != 0 || !QFile::exists(QString::fromStdString(unpacked + "/big.bin")))
            throw std::runtime_error("mpop | munpack wrote no big.bin");
    };
    // Warm up every side (the server builds its index and caches on the first RETR).
    clean();
    checkMine(runMine());
    std::printf("  decoded attachment identical to the original: %s\n",
                testsupport::readFileBytes(QString::fromStdString(mine + "/big.bin")) == data ? "yes" : "NO");
    checkPeer(runPeer());
    checkUnpack(runUnpack());
    std::printf("  munpack's file identical to the original: %s\n",
                testsupport::readFileBytes(QString::fromStdString(unpacked + "/big.bin")) == data ? "yes" : "NO");

    std::vector<double> mineMs, mineInt, mineRss, peerMs, peerRss, unpackMs;
    for (int r = 0; r < O.runs; ++r) {
        // The order turns with every run, so that neither side always finds the caches warmer.
        const int turn = r % 3;
        for (int k = 0; k < 3; ++k) {
            clean();
            switch ((turn + k) % 3) {
            case 0: {
                const RunResult a = runMine();
                checkMine(a);
                mineMs.push_back(a.wallMs);
                mineInt.push_back(ValueOf(a.out, "INTERNAL_MS"));
                mineRss.push_back(double(a.maxRssKb) / 1024);
                break;
            }
            case 1: {
                const RunResult b = runPeer();
                checkPeer(b);
                peerMs.push_back(b.wallMs);
                peerRss.push_back(double(b.maxRssKb) / 1024);
                break;
            }
            default: {
                const RunResult c = runUnpack();
                checkUnpack(c);
                unpackMs.push_back(c.wallMs);
                break;
            }
            }
        }
    }
    PrintSpread("Brevicor wall time (process)", mineMs, "ms");
    PrintSpread("Brevicor connect..QUIT inside the process", mineInt, "ms");
    PrintSpread("mpop --keep wall time", peerMs, "ms");
    PrintSpread("mpop | munpack wall time", unpackMs, "ms");
    PrintSpread("ratio Brevicor / mpop (target <= 1.0)", Ratios(mineMs, peerMs), "");
    PrintSpread("ratio Brevicor / mpop | munpack (target <= 0.5)", Ratios(mineMs, unpackMs), "");
    PrintSpread("Brevicor peak memory (max RSS, target < 32)", mineRss, "MiB");
    PrintSpread("mpop peak memory (max RSS)", peerRss, "MiB");
}

void BenchRetrieve(const Options& O)
{
    for (int mb : O.popMb)
        BenchRetrieveSize(O, mb);
}

void BenchSend(const Options& O)
{
    std::printf("\n[SMTP] send a message with a %d MB attachment to a raw loopback sink\n", O.smtpMb);
    // Files on tmpfs when there is one, so that neither side waits for the disk.
    QTemporaryDir work(QDir("/dev/shm").exists() ? "/dev/shm/brevicor-bench-XXXXXX" : QDir::tempPath() + "/bench-XXXXXX");
    if (!work.isValid())
        throw std::runtime_error("cannot create the work folder");
    auto where = [&](const char* Name) { return work.filePath(Name).toStdString(); };
    const std::string file = where("attachment.bin");
    testsupport::writeFileBytes(QString::fromStdString(file), RandomBytes(size_t(O.smtpMb) * 1000 * 1000, 9));
    std::printf("  files in %s\n", work.path().toStdString().c_str());
    SmtpSink sink;
    const std::string port = std::to_string(sink.port());
    const std::string message = where("message.eml");

    // Warm-up: Brevicor's message is kept, so that msmtp sends the very same text.
    sink.keepNextMessage(message);
    RunResult w = Run({Self, "--child-send", port, file});
    if (w.exitCode != 0)
        throw std::runtime_error("Brevicor send failed: " + w.out);
    const double messageMb = double(sink.lastDataBytes()) / (1024 * 1024);
    std::printf("  message size after DATA: %.1f MiB\n", messageMb);
    auto runPeer = [&] {
        return Run({"/usr/bin/msmtp", "--host=127.0.0.1", "--port=" + port, "--auth=off", "--tls=off",
                    "--from=a@example.org", "b@example.org"},
                   message);
    };
    w = runPeer();
    if (w.exitCode != 0)
        throw std::runtime_error("msmtp failed");
    std::printf("  message size after DATA from msmtp: %.1f MiB (same text, its own header additions)\n",
                double(sink.lastDataBytes()) / (1024 * 1024));

    std::vector<double> mineMs, mineInt, mineRss, mineHwm, peerMs, peerRss;
    auto runMine = [&] {
        const RunResult a = Run({Self, "--child-send", port, file});
        if (a.exitCode != 0)
            throw std::runtime_error("Brevicor send failed");
        mineMs.push_back(a.wallMs);
        mineInt.push_back(ValueOf(a.out, "INTERNAL_MS"));
        mineRss.push_back(double(a.maxRssKb) / 1024);
        mineHwm.push_back(ValueOf(a.out, "HWM_KB") / 1024);
    };
    auto runTheirs = [&] {
        const RunResult b = runPeer();
        if (b.exitCode != 0)
            throw std::runtime_error("msmtp failed");
        peerMs.push_back(b.wallMs);
        peerRss.push_back(double(b.maxRssKb) / 1024);
    };
    // The order alternates, so that neither side always runs on a warm or a cold machine.
    for (int r = 0; r < O.runs; ++r) {
        if (r % 2 == 0) {
            runMine();
            runTheirs();
        } else {
            runTheirs();
            runMine();
        }
    }
    PrintSpread("Brevicor wall time (process)", mineMs, "ms");
    PrintSpread("Brevicor connect..QUIT inside the process", mineInt, "ms");
    PrintSpread("msmtp wall time", peerMs, "ms");
    PrintSpread("speed-up msmtp / Brevicor (target >= 5.0)", Ratios(peerMs, mineMs), "x");
    PrintSpread("Brevicor peak memory (max RSS, target < 48)", mineRss, "MiB");
    PrintSpread("  as reported by the process itself (VmHWM)", mineHwm, "MiB");
    PrintSpread("msmtp peak memory (max RSS)", peerRss, "MiB");
}

void BenchCheck(const Options& O)
{
    std::printf("\n[POP3] one check: connect, log in, STAT, QUIT (Dovecot), process against process\n");
    testsupport::DovecotFixture dovecot;
    dovecot.addUser("check", "secret", {"Subject: one\r\n\r\nbody\r\n", "Subject: two\r\n\r\nbody\r\n"});
    dovecot.start();
    testsupport::TempFolder work;
    const std::string port = std::to_string(dovecot.port());
    const std::string rc = work.file("fetchmailrc").toStdString();
    testsupport::writeFileBytes(QString::fromStdString(rc),
                                "set no syslog\npoll 127.0.0.1 with proto POP3 port " + port
                                    + " auth password\n  user \"check\" there with password \"secret\" options keep sslproto \"\"\n");
    ::chmod(rc.c_str(), 0600);
    auto runPeer = [&] {
        // Its warning about running as root goes to the error stream; the exit code is checked
        // (0: mail is waiting).
        const RunResult r = Run({"/usr/bin/fetchmail", "--check", "-f", rc, "-i", work.file("fetchids").toStdString(),
                                 "--pidfile", work.file("fetchmail.pid").toStdString()},
                                "", false, true);
        if (r.exitCode != 0)
            throw std::runtime_error("fetchmail --check failed");
        return r.wallMs;
    };
    std::vector<double> childInternalMs;
    auto runMine = [&] {
        const RunResult r = Run({Self, "--child-check", port, "check", "secret"});
        if (r.exitCode != 0 || ValueOf(r.out, "COUNT") != 2)
            throw std::runtime_error("Brevicor check process failed: " + r.out);
        childInternalMs.push_back(ValueOf(r.out, "INTERNAL_MS"));
        return r.wallMs;
    };

    // The same check inside a running process, for comparison.
    TKTPOP3 pop;
    pop.Host = "127.0.0.1";
    pop.Port = dovecot.port();
    pop.UserID = "check";
    pop.Password = "secret";
    pop.Connect();  // the first check also sets up the process's socket machinery: not counted
    pop.Disconnect();
    runPeer();
    runMine();
    std::vector<double> mineMs, peerMs, inProcessMs, ratios;
    for (int i = 0; i < O.checks; ++i) {
        // The order alternates, so neither side always runs on what the other left behind.
        double mine, peer;
        if (i % 2) {
            peer = runPeer();
            mine = runMine();
        } else {
            mine = runMine();
            peer = runPeer();
        }
        mineMs.push_back(mine);
        peerMs.push_back(peer);
        ratios.push_back(mine / peer);
        const auto t0 = Clock::now();
        pop.Connect();
        pop.Disconnect();
        inProcessMs.push_back(MsSince(t0));
        if (pop.MessageCount() != 2)
            throw std::runtime_error("Brevicor check counted " + std::to_string(pop.MessageCount()));
    }
    PrintRow("Brevicor check process (median)", Median(mineMs), "ms");
    PrintRow("  of which the check itself, inside the process", Median(childInternalMs), "ms");
    PrintRow("fetchmail --check process (median)", Median(peerMs), "ms");
    PrintRatio("ratio Brevicor / fetchmail, processes", ratios, 1.0);
    PrintRow("Brevicor check inside a running process (median)", Median(inProcessMs), "ms");
    PrintRow("  as a share of the fetchmail process", Median(inProcessMs) / Median(peerMs), "x");
}

// The listing of a mailbox: the POP3 component alone (one exchange at a time, then pipelined)
// against Python's poplib doing the same TOP n 0 / LIST n commands one at a time. Each side's
// time runs from its connection to its QUIT; the order rotates from run to run.
void BenchListing(const Options& O)
{
    std::printf("\n[POP3] listing %d summaries (TOP n 0, LIST n) on Dovecot, which announces PIPELINING\n", O.listCount);
    testsupport::DovecotFixture dovecot;
    std::vector<std::string> mailbox;
    for (int n = 1; n <= O.listCount; ++n)
        mailbox.push_back("Received: from relay.example.org by mx.example.org; Mon, 6 May 2024 10:00:00 +0200\r\n"
                          "From: Sender " + std::to_string(n) + " <s" + std::to_string(n) + "@example.org>\r\n"
                          "To: lister@example.org\r\nSubject: Message number " + std::to_string(n) + "\r\n"
                          "Message-ID: <" + std::to_string(n) + "@example.org>\r\n"
                          "Date: Mon, 6 May 2024 10:00:00 +0200\r\n\r\nBody " + std::to_string(n) + "\r\n");
    dovecot.addUser("lister", "secret", mailbox);
    dovecot.start();
    const std::string port = std::to_string(dovecot.port());
    const std::string script = std::string(BREVICOR_SOURCE_DIR) + "/bench/mail/poplib_list.py";

    TKTPOP3 pop;
    pop.Host = "127.0.0.1";
    pop.Port = dovecot.port();
    pop.UserID = "lister";
    pop.Password = "secret";
    auto runMine = [&](bool Pipelined) {
        pop.AllowPipelining = Pipelined;
        const auto t0 = Clock::now();
        pop.Connect();
        int seen = 0;
        pop.ListSummaries(1, pop.MessageCount(), [&](int, const TSummary&) { return ++seen, true; });
        pop.Disconnect();
        const double ms = MsSince(t0);
        if (seen != O.listCount)
            throw std::runtime_error("Brevicor listed " + std::to_string(seen));
        return ms;
    };
    auto runPoplib = [&] {
        const RunResult r = Run({"/usr/bin/python3", script, "127.0.0.1", port, "lister", "secret"});
        if (r.exitCode != 0 || ValueOf(r.out, "COUNT") != O.listCount)
            throw std::runtime_error("poplib listing failed: " + r.out);
        return ValueOf(r.out, "INTERNAL_MS");
    };
    runMine(false);
    runMine(true);
    runPoplib();
    std::vector<double> single, piped, poplib, singleRatio, pipedRatio;
    for (int i = 0; i < O.runs; ++i) {
        double a = 0, b = 0, c = 0;
        switch (i % 3) {
        case 0: a = runMine(false), b = runMine(true), c = runPoplib(); break;
        case 1: c = runPoplib(), a = runMine(false), b = runMine(true); break;
        default: b = runMine(true), c = runPoplib(), a = runMine(false); break;
        }
        single.push_back(a);
        piped.push_back(b);
        poplib.push_back(c);
        singleRatio.push_back(a / c);
        pipedRatio.push_back(b / c);
    }
    PrintRow("Brevicor component, one command at a time (median)", Median(single), "ms");
    PrintRow("Brevicor component, pipelined (median)", Median(piped), "ms");
    PrintRow("poplib, one command at a time (median)", Median(poplib), "ms");
    PrintRatio("ratio one at a time / poplib", singleRatio, 1.0);
    PrintRatio("ratio pipelined / poplib", pipedRatio, 0.5);
}

// Times one Encode or Decode between two memory streams. The output buffer is the caller's and
// keeps its capacity from run to run, as a program reusing its buffers would.
double TimeCodec(UUMethods Method, bool Encode, const QByteArray& In, QByteArray& Out)
{
    QByteArray input = In;  // shared, not copied
    QBuffer inBuf(&input);
    Out.resize(0);
    QBuffer outBuf(&Out);
    inBuf.open(QIODevice::ReadOnly);
    outBuf.open(QIODevice::WriteOnly);
    TKTUUProcessor codec;
    codec.Method = Method;
    codec.InputStream = &inBuf;
    codec.OutputStream = &outBuf;
    const auto t0 = Clock::now();
    if (Encode)
        codec.Encode();
    else
        codec.Decode();
    return MsSince(t0);
}

void BenchCodec(const Options& O)
{
    std::printf("\n[codec] base64 of %d MB in memory against coreutils base64 (files on tmpfs, output to /dev/null)\n",
                O.codecMb);
    const std::string raw = RandomBytes(size_t(O.codecMb) * 1000 * 1000, 11);
    const QByteArray data = QByteArray::fromStdString(raw);
    const std::string dir = "/dev/shm/brevicor-bench-" + std::to_string(::getpid());
    QDir().mkpath(QString::fromStdString(dir));
    const std::string binFile = dir + "/data.bin", b64File = dir + "/data.b64", nul = "/dev/null";
    testsupport::writeFileBytes(QString::fromStdString(binFile), raw);
    {
        // coreutils decodes its own output (76 characters and LF per line).
        const RunResult e = Run({"/bin/sh", "-c", "/usr/bin/base64 < " + binFile + " > " + b64File});
        if (e.exitCode != 0)
            throw std::runtime_error("base64 failed");
    }
    std::vector<double> encMine, decMine, encPeer, decPeer;
    bool roundTrip = true;
    QByteArray encoded, decoded;
    encoded.reserve(data.size() / 45 * 62 + 64);
    decoded.reserve(data.size() + 64);
    for (int r = 0; r < O.runs; ++r) {
        encMine.push_back(TimeCodec(uuMime, true, data, encoded));
        decMine.push_back(TimeCodec(uuMime, false, encoded, decoded));
        roundTrip = roundTrip && decoded == data;
        encPeer.push_back(Run({"/usr/bin/base64"}, binFile, true).wallMs);
        decPeer.push_back(Run({"/usr/bin/base64", "-d"}, b64File, true).wallMs);
    }
    QDir(QString::fromStdString(dir)).removeRecursively();
    std::printf("  round trip exact: %s\n", roundTrip ? "yes" : "NO");
    const double mb = double(O.codecMb);
    PrintRow("Brevicor Encode (median)", Median(encMine), "ms");
    PrintRow("coreutils base64 (median)", Median(encPeer), "ms");
    PrintRow("  Brevicor Encode throughput", mb / (Median(encMine) / 1000), "MB/s");
    PrintRow("  ratio Brevicor / coreutils (target <= 1.0)", Median(encMine) / Median(encPeer), "");
    PrintRow("Brevicor Decode (median)", Median(decMine), "ms");
    PrintRow("coreutils base64 -d (median)", Median(decPeer), "ms");
    PrintRow("  Brevicor Decode throughput", mb / (Median(decMine) / 1000), "MB/s");
    PrintRow("  ratio Brevicor / coreutils (target <= 1.0)", Median(decMine) / Median(decPeer), "");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Self = QCoreApplication::applicationFilePath().toStdString();
    try {
        if (argc >= 6 && std::strcmp(argv[1], "--child-retrieve") == 0)
            return ChildRetrieve(argv + 2);
        if (argc >= 4 && std::strcmp(argv[1], "--child-send") == 0)
            return ChildSend(argv + 2);
        if (argc >= 5 && std::strcmp(argv[1], "--child-check") == 0)
            return ChildCheck(argv + 2);

        Options o;
        for (int i = 1; i + 1 < argc; i += 2) {
            const std::string k = argv[i];
            const int v = std::atoi(argv[i + 1]);
            if (k == "--runs")
                o.runs = v;
            else if (k == "--pop-mb") {
                o.popMb.clear();  // one size or several: 100,400
                for (const QByteArray& size : QByteArray(argv[i + 1]).split(','))
                    o.popMb.push_back(size.toInt());
            }
            else if (k == "--smtp-mb")
                o.smtpMb = v;
            else if (k == "--codec-mb")
                o.codecMb = v;
            else if (k == "--checks")
                o.checks = v;
            else if (k == "--list-count")
                o.listCount = v;
            else if (k == "--only")
                o.only = argv[i + 1];
        }
        std::printf("Brevicor mail benchmarks: medians of %d runs, peers measured in the same run\n", o.runs);
        const std::pair<const char*, std::function<void(const Options&)>> benches[] = {
            {"retrieve", BenchRetrieve}, {"send", BenchSend}, {"check", BenchCheck}, {"listing", BenchListing},
            {"codec", BenchCodec}};
        for (const auto& [name, fn] : benches)
            if (o.only.empty() || o.only == name) {
                fn(o);
                std::fflush(stdout);
            }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "benchmark failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
