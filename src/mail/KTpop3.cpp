// TKTPOP3: the POP3 client session and its received-message decoder; TSummary and TMailMessage.
#include "mail/KTpop3.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <climits>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

using namespace mailtext;

namespace {

const char kAuthFailed[] = "L'authentification a échoué";
constexpr size_t kMaxField = 256;

// A reply is positive when its first field contains "+OK".
bool Positive(const std::string& Reply) { return NthField(Reply, ' ', 1).find("+OK") != std::string::npos; }

// DELE needs the first field to be exactly "+OK".
bool ExactlyOk(const std::string& Reply) { return NthField(Reply, ' ', 1) == "+OK"; }

bool IsTerminator(const std::string& Line) { return Line == ".\r\n" || Line == ".\n"; }

// Text from index From on, at most Max characters (empty when the text is shorter).
std::string From(const std::string& S, size_t Index, size_t Max = std::string::npos)
{
    return Index < S.size() ? S.substr(Index, Max) : std::string();
}

// A decimal integer (optional sign), or Fallback when the text is not one.
int ToIntDef(const std::string& S, int Fallback, bool& Ok)
{
    Ok = false;
    size_t i = 0;
    bool negative = false;
    if (i < S.size() && (S[i] == '+' || S[i] == '-'))
        negative = S[i++] == '-';
    if (i == S.size())
        return Fallback;
    long long v = 0;
    for (; i < S.size(); ++i) {
        if (S[i] < '0' || S[i] > '9')
            return Fallback;
        v = v * 10 + (S[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1)
            return Fallback;
    }
    v = negative ? -v : v;
    if (v > INT_MAX || v < INT_MIN)
        return Fallback;
    Ok = true;
    return int(v);
}

// Trims blanks and control characters at both ends.
std::string Trim(const std::string& S)
{
    size_t b = 0, e = S.size();
    while (b < e && static_cast<unsigned char>(S[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(S[e - 1]) <= ' ')
        --e;
    return S.substr(b, e - b);
}

// The name a part announced, reduced to a plain file name inside AttachFilePath: only the text
// after the last "/" or "\" is kept, NUL characters are dropped, and a name that would denote no
// file or a folder becomes "text.tmp".
std::string SafeFileName(const std::string& Announced)
{
    const size_t sep = Announced.find_last_of("/\\");
    std::string name = sep == std::string::npos ? Announced : Announced.substr(sep + 1);
    name.erase(std::remove(name.begin(), name.end(), '\0'), name.end());
    if (name.empty() || name == "." || name == "..")
        name = "text.tmp";
    return name;
}

bool FileExists(const std::string& Path)
{
    struct stat st;
    return ::lstat(Path.c_str(), &st) == 0;
}

// Opens a file by its byte path (names from messages need not be valid UTF-8) as a QFile.
std::unique_ptr<QFile> OpenFile(const std::string& Path, bool Create)
{
    const int fd = Create ? ::open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)
                          : ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error((Create ? "Impossible de créer le fichier " : "Impossible d'ouvrir le fichier ") + Path
                                 + " : " + std::strerror(errno));
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, Create ? QIODevice::WriteOnly : QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw std::runtime_error("Impossible d'ouvrir le fichier " + Path);
    }
    return file;
}

// The scratch file: lines are gathered in memory and written in large pieces.
class TScratchWriter {
public:
    explicit TScratchWriter(const std::string& Path) : path_(Path), fd_(::open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600))
    {
        if (fd_ < 0)
            throw std::runtime_error("Impossible de créer le fichier " + Path + " : " + std::strerror(errno));
        buf_.reserve(kFlushAt + 4096);
    }
    ~TScratchWriter()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    void Write(const std::string& Line)
    {
        buf_ += Line;
        if (buf_.size() >= kFlushAt)
            Flush();
    }
    void Close()
    {
        Flush();
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0)
            throw std::runtime_error("Erreur d'écriture du fichier " + path_);
    }

private:
    static constexpr size_t kFlushAt = 1 << 20;
    void Flush()
    {
        size_t done = 0;
        while (done < buf_.size()) {
            const ssize_t n = ::write(fd_, buf_.data() + done, buf_.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw std::runtime_error("Erreur d'écriture du fichier " + path_ + " : " + std::strerror(errno));
            done += size_t(n);
        }
        buf_.clear();
    }
    std::string path_;
    int fd_;
    std::string buf_;
};

// Reads a text file into a list, one entry per line (CR LF, LF or CR ends a line).
void LoadLines(TStringList& List, const std::string& Path)
{
    auto file = OpenFile(Path, false);
    const QByteArray all = file->readAll();
    List.Clear();
    qsizetype start = 0;
    const qsizetype n = all.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = all[i];
        if (c == '\r' || c == '\n') {
            List.Add(std::string(all.constData() + start, size_t(i - start)));
            if (c == '\r' && i + 1 < n && all[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        List.Add(std::string(all.constData() + start, size_t(n - start)));
}

// Runs Action on every way out of a scope.
template <typename F>
class TFinally {
public:
    explicit TFinally(F Action) : action_(std::move(Action)) {}
    ~TFinally() { action_(); }
    TFinally(const TFinally&) = delete;
    TFinally& operator=(const TFinally&) = delete;
private:
    F action_;
};

} // namespace

TKTPOP3::TKTPOP3(QObject* Owner) : TSocketSession(Owner), FCodec(new TKTUUProcessor(this))
{
    Port = 110;
    CancelHook = [this](QObject*) {
        TSocketSession::Disconnect();
        ReceiveBuffer.Clear();
    };
}

TKTPOP3::~TKTPOP3()
{
    // The base destructor cannot reach this class's Abort; nothing is reported while going away.
    OnStatus = nullptr;
    TSocketSession::OnDisconnect = nullptr;
    try {
        Abort();
    } catch (...) {
    }
}

void TKTPOP3::Connect()
{
    bool asked = false;
    while (Password.empty() || UserID.empty()) {
        if (!OnAuthenticationNeeded)
            throw std::runtime_error(kAuthFailed);
        if (asked)
            break;
        asked = true;
        bool handled = false;
        OnAuthenticationNeeded(handled);
        if (!handled)
            throw std::runtime_error(kAuthFailed);
    }
    RequireNoLineBreak(UserID);
    RequireNoLineBreak(Password);

    const bool setBusy = !FBusy;
    FBusy = true;
    bool loggedIn = false;
    auto finish = [&] {
        if (setBusy)
            FBusy = false;
        if (loggedIn && OnConnect)
            OnConnect(this);
    };
    // Greeting, sign-in and STAT share one limit: a server that drips a byte now and then is
    // given up as surely as a silent one.
    TOperationLimit limit(*this, OperationTimeOut);
    try {
        TSocketSession::Connect();
        FCapabilities.Clear();
        FCapaAsked = false;
        try {
            const std::string greeting = ReadLn();
            if (!Positive(greeting))
                throw std::runtime_error(greeting);

            int retries = 0;
            // A refused USER or PASS: one more try when OnAuthenticationFailed accepts.
            auto check = [&](const std::string& Reply) {
                if (Positive(Reply))
                    return true;
                if (retries > 0 || !OnAuthenticationFailed)
                    throw std::runtime_error(kAuthFailed);
                bool handled = false;
                OnAuthenticationFailed(handled);
                if (!handled)
                    throw std::runtime_error(kAuthFailed);
                ++retries;
                return false;
            };
            bool accepted = false;
            while (!accepted) {
                // The handler may have changed the credentials.
                RequireNoLineBreak(UserID);
                RequireNoLineBreak(Password);
                if (check(Transaction("USER " + UserID)))
                    accepted = check(Transaction("PASS " + Password));
                ++retries;
            }
            loggedIn = true;

            const std::string stat = Transaction("STAT");
            if (!Positive(stat))
                throw std::runtime_error(stat);
            bool ok;
            FMessageCount = ToIntDef(NthField(stat, ' ', 2), 0, ok);
        } catch (...) {
            // A time-out, a lost connection or a cancel has already ended the session: a QUIT
            // would only wait a second time. After a refusal, log out briefly. The first failure
            // is the one the caller hears of.
            if (!Connected() || Canceled()) {
                CloseQuietly();
            } else {
                try {
                    Logout(OperationTimeOut > 0 ? std::min(OperationTimeOut, QuitAfterFailureMs) : QuitAfterFailureMs);
                } catch (...) {
                }
            }
            throw;
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void TKTPOP3::Disconnect()
{
    Logout(OperationTimeOut);
}

void TKTPOP3::Logout(int LimitMs)
{
    TOperationLimit limit(*this, LimitMs);
    try {
        const std::string reply = Transaction("QUIT");
        if (!Positive(reply))
            throw std::runtime_error(reply);
    } catch (...) {
        CloseQuietly();
        throw;
    }
    TSocketSession::Disconnect();
}

void TKTPOP3::CloseQuietly()
{
    if (Connected())
        TSocketSession::Disconnect();
    else
        ReceiveBuffer.Clear();
}

void TKTPOP3::Abort()
{
    if (Canceled() || !Connected())
        return;
    if (FBusy) {
        Cancel();
    } else {
        TSocketSession::Disconnect();
        ReceiveBuffer.Clear();
    }
}

void TKTPOP3::RetrieveSummary(int MsgNum)
{
    if (FBusy)
        return;
    FBusy = true;
    TFinally clearBusy([this] { FBusy = false; });

    RequireConnection();
    if (OnRetrieveStart)
        OnRetrieveStart(this);
    try {
        ReadOneSummary(MsgNum);
    } catch (const ESockError&) {
        CloseQuietly();
        throw;
    }
    if (OnRetrieveEnd)
        OnRetrieveEnd(this);
}

void TKTPOP3::ReadOneSummary(int MsgNum)
{
    TOperationLimit limit(*this, OperationTimeOut);
    const std::string reply = Transaction("TOP " + std::to_string(MsgNum) + " 0");
    if (!Positive(reply))
        throw std::runtime_error(reply);
    ReadSummaryHeader();
    FSummary.Bytes = ListedSize(Transaction("LIST " + std::to_string(MsgNum)));
    ReportStatus(1, "Résumé récupéré");
}

void TKTPOP3::ReadSummaryHeader()
{
    FSummary.Header.Clear();
    FSummary.Subject.clear();
    FSummary.From.clear();
    FSummary.MessageId.clear();
    for (;;) {
        const std::string raw = ReadLn();
        std::string line = StripLineEnd(raw);
        if (line.compare(0, 8, "Subject:") == 0)
            FSummary.Subject = From(line, 8);
        if (line.compare(0, 5, "From:") == 0)
            FSummary.From = From(line, 5);
        if (line.compare(0, 11, "Message-ID:") == 0)
            FSummary.MessageId = From(line, 12, kMaxField);
        FSummary.Header.Add(line);
        if (line == ".")
            break;
    }
}

int TKTPOP3::ListedSize(const std::string& Reply)
{
    const std::string size = Trim(NthField(Reply, ' ', 3));
    bool ok;
    const int bytes = ToIntDef(size, 0, ok);
    if (!ok)
        throw std::runtime_error("'" + size + "' n'est pas une valeur entière correcte");
    return bytes;
}

void TKTPOP3::SkipSummaryReplies()
{
    if (Positive(ReadReply())) {
        while (!IsTerminator(ReadLn())) {
        }
    }
    ReadReply();
}

void TKTPOP3::LearnCapabilities()
{
    if (!FCapaAsked)
        ReadCapabilities();
}

void TKTPOP3::ReadCapabilities()
{
    FCapaAsked = true;
    FCapabilities.Clear();
    TOperationLimit limit(*this, OperationTimeOut);
    if (!Positive(Transaction("CAPA")))
        return;
    for (;;) {
        std::string line = StripLineEnd(ReadLn());
        if (line == ".")
            break;
        if (line.compare(0, 2, "..") == 0)
            line.erase(0, 1);
        FCapabilities.AddLine(line);
    }
}

int TKTPOP3::ListSummaries(int First, int Last, const TSummaryEvent& Each)
{
    if (FBusy)
        return 0;
    FBusy = true;
    TFinally clearBusy([this] { FBusy = false; });
    RequireConnection();
    try {
        if (AllowPipelining && First < Last) {
            LearnCapabilities();
            if (FCapabilities.Has("PIPELINING"))
                return ListPipelined(First, Last, Each);
        }
        int listed = 0;
        for (int n = First; n <= Last; ++n) {
            ReadOneSummary(n);
            ++listed;
            if (Each && !Each(n, FSummary))
                break;
        }
        return listed;
    } catch (const ESockError&) {
        CloseQuietly();
        throw;
    }
}

// The commands of a window of messages are in flight at once; when half of it has been read, the
// next half goes out, so the server always has work queued and the socket never fills.
int TKTPOP3::ListPipelined(int First, int Last, const TSummaryEvent& Each)
{
    constexpr int Window = 64;
    int sent = First;   // next message whose commands are to be sent
    int read = First;   // next message whose replies are to be read
    int listed = 0;
    bool stopped = false;
    std::exception_ptr refusal;
    while (read < sent || (!stopped && !refusal && sent <= Last)) {
        TOperationLimit limit(*this, OperationTimeOut);
        if (!stopped && !refusal && sent <= Last && sent - read <= Window / 2) {
            std::string batch;
            for (; sent <= Last && sent - read < Window; ++sent) {
                const std::string n = std::to_string(sent);
                batch += "TOP " + n + " 0\r\nLIST " + n + "\r\n";
            }
            Write(batch);
        }
        if (stopped || refusal) {
            // Replies to commands already sent: read and dropped, so the next command gets its own.
            SkipSummaryReplies();
            ++read;
            continue;
        }
        const int n = read++;
        const std::string top = ReadReply();
        if (!Positive(top)) {
            ReadReply();  // the LIST reply of the same message
            refusal = std::make_exception_ptr(std::runtime_error(top));
            continue;
        }
        ReadSummaryHeader();
        const std::string list = ReadReply();
        // A failure of the size or of the caller's handler still lets the replies in flight be
        // read first; one of the connection itself ends everything at once.
        try {
            FSummary.Bytes = ListedSize(list);
            ReportStatus(1, "Résumé récupéré");
            ++listed;
            if (Each && !Each(n, FSummary))
                stopped = true;
        } catch (const ESockError&) {
            throw;
        } catch (...) {
            refusal = std::current_exception();
        }
    }
    if (refusal)
        std::rethrow_exception(refusal);
    return listed;
}

void TKTPOP3::RetrieveMessage(int MsgNum)
{
    if (FBusy)
        return;
    FBusy = true;
    TFinally clearBusy([this] { FBusy = false; });
    RequireConnection();
    if (OnRetrieveStart)
        OnRetrieveStart(this);
    try {
        FPartMode = TopHeader;
        const std::string reply = Transaction("RETR " + std::to_string(MsgNum));
        if (!Positive(reply))
            throw std::runtime_error(reply);

        FMailMessage.Header.Clear();
        FMailMessage.Body.Clear();
        FMailMessage.Attachments.Clear();
        FMailMessage.From.clear();
        FMailMessage.Subject.clear();
        FMailMessage.MessageId.clear();
        FContentType.clear();
        FBoundary.clear();
        FTransferEncoding.clear();
        FPartFileName.clear();
        FMessageEnded = false;
        try {
            DecodeMessage();
        } catch (const ESockError&) {
            throw;  // the connection itself failed or was cancelled: nothing more can be read
        } catch (...) {
            // A file or decoding failure: read the rest of the reply first, so that the next
            // command does not take message lines for its answer.
            DrainMessage();
            throw;
        }

        if (DeleteOnRead) {
            const std::string dele = Transaction("DELE " + std::to_string(MsgNum));
            if (!ExactlyOk(dele))
                throw std::runtime_error(dele);
        }
        ReportStatus(1, "Message récupéré");
    } catch (...) {
        // After a failure of the connection itself (time-out, loss, cancel) the rest of the
        // reply may still be on its way: the session ends here, so no later command reads it.
        try {
            throw;
        } catch (const ESockError&) {
            CloseQuietly();
        } catch (...) {
        }
        try {
            if (OnRetrieveEnd)
                OnRetrieveEnd(this);
        } catch (...) {
        }
        throw;
    }
    if (OnRetrieveEnd)
        OnRetrieveEnd(this);
}

void TKTPOP3::DeleteMessage(int MsgNum)
{
    if (FBusy)
        return;
    FBusy = true;
    {
        TFinally clearBusy([this] { FBusy = false; });
        RequireConnection();
        std::string reply;
        try {
            TOperationLimit limit(*this, OperationTimeOut);
            reply = Transaction("DELE " + std::to_string(MsgNum));
        } catch (const ESockError&) {
            CloseQuietly();
            throw;
        }
        if (!ExactlyOk(reply)) {
            if (OnFailure)
                OnFailure(this);
            throw std::runtime_error(reply);
        }
    }
    if (OnSuccess)
        OnSuccess(this);
}

// ---------------------------------------------------------------------------------------------
// Received message decoder. It reads the RETR reply line by line, up to and including the
// terminating "." line and never further: wherever that line comes, the message ends there.

std::string TKTPOP3::ReadMessageLine()
{
    std::string line = ReadLn();
    if (IsTerminator(line))
        FMessageEnded = true;
    return line;
}

void TKTPOP3::DrainMessage()
{
    try {
        while (!FMessageEnded)
            ReadMessageLine();
    } catch (...) {
        // The connection failed as well; the caller hears of the first failure.
    }
}

void TKTPOP3::DecodeMessage()
{
    ParseHeaderBlock();
    if (FMessageEnded)
        return;
    if (LowerCase(FContentType).find("multipart") != std::string::npos) {
        ParseMultipart();
    } else if (UpperCase(FTransferEncoding).find("BASE64") != std::string::npos) {
        // The whole body is one attachment; its decoded text then becomes the body.
        FPartMode = AttachmentPart;
        ExtractPart(false);
        LoadLines(FMailMessage.Body, AttachFilePath + FMailMessage.Attachments[0]);
    } else {
        ExtractPart(false);
    }
    while (!FMessageEnded)
        ReadMessageLine();
}

void TKTPOP3::ParseHeaderBlock()
{
    for (;;) {
        const std::string raw = ReadMessageLine();
        if (FMessageEnded)
            break;
        const std::string line = StripLineEnd(raw);
        if (FPartMode == TopHeader)
            FMailMessage.Header.Add(line);
        if (line.empty())
            break;

        const std::string word = UpperCase(NthField(line, ' ', 1));
        if (word == "SUBJECT:")
            FMailMessage.Subject = From(line, 8, kMaxField);
        if (word == "FROM:")
            FMailMessage.From = From(line, 6, kMaxField);
        if (word == "CONTENT-TYPE:")
            FContentType = From(line, 14, kMaxField);
        if (word == "MESSAGE-ID:")
            FMailMessage.MessageId = From(line, 12, kMaxField);

        const std::string upper = UpperCase(line);
        const size_t boundaryAt = upper.find("BOUNDARY=");
        if (boundaryAt != std::string::npos) {
            // Blanks after "=" are skipped; a quoted value ends at its closing quote (or the end
            // of the line), an unquoted one at the first ";" or blank.
            size_t i = boundaryAt + 9;
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
                ++i;
            std::string value;
            if (i < line.size() && line[i] == '"') {
                const size_t close = line.find('"', i + 1);
                value = close == std::string::npos ? line.substr(i + 1) : line.substr(i + 1, close - i - 1);
            } else {
                const size_t end = line.find_first_of("; \t", i);
                value = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
            }
            FBoundary = value.substr(0, kMaxField);
        }
        if (upper.find("CONTENT-TRANSFER-ENCODING") != std::string::npos)
            FTransferEncoding = From(line, 27, kMaxField);
        if (upper.find("FILENAME") != std::string::npos || upper.find("NAME") != std::string::npos)
            FPartFileName = NthField(line, '"', 2);
    }
    if (FPartMode == TopHeader)
        FPartMode = BodyText;
}

void TKTPOP3::ParseMultipart()
{
    // The preamble, up to and including the first delimiter line.
    for (;;) {
        const std::string line = ReadMessageLine();
        if (FMessageEnded)
            return;
        if (Contains(line, FBoundary))
            break;
    }
    bool closing = false;
    while (!closing) {
        ParseHeaderBlock();
        if (FMessageEnded)
            return;
        closing = ExtractPart(true);
        if (FMessageEnded)
            return;
    }
    // The epilogue is discarded.
    while (!FMessageEnded)
        ReadMessageLine();
}

bool TKTPOP3::IsStopLine(const std::string& Line, bool StopAtBoundary) const
{
    return FMessageEnded || (StopAtBoundary && Contains(Line, FBoundary));
}

bool TKTPOP3::ExtractPart(bool StopAtBoundary)
{
    const std::string scratchPath = AttachFilePath + "Temp.mme";
    std::unique_ptr<TScratchWriter> scratch;
    if (FPartMode == AttachmentPart) {
        scratch = std::make_unique<TScratchWriter>(scratchPath);
        FMailMessage.Body.Add("\r\nFichier \"" + FPartFileName + "\" extrait");
    }
    ReportStatus(1, "Extraction du fichier");

    std::string stop;
    for (;;) {
        std::string line = ReadMessageLine();
        if (IsStopLine(line, StopAtBoundary)) {
            stop = std::move(line);
            break;
        }
        if (FPartMode > AttachmentPart)
            FMailMessage.Body.Add(StripLineEnd(line));
        else
            scratch->Write(line);
    }

    if (FPartMode == AttachmentPart) {
        scratch->Close();
        FinishAttachment();
    }
    const bool closing = !FMessageEnded && StopAtBoundary && Contains(stop, FBoundary)
                         && StripLineEnd(stop).size() >= 2
                         && StripLineEnd(stop).compare(StripLineEnd(stop).size() - 2, 2, "--") == 0;
    FPartMode = AttachmentPart;
    return closing;
}

void TKTPOP3::FinishAttachment()
{
    const std::string scratchPath = AttachFilePath + "Temp.mme";
    FPartFileName = SafeFileName(FPartFileName);
    const std::string stem = NthField(FPartFileName, '.', 1);
    const std::string ext = NthField(FPartFileName, '.', 2);
    for (int n = 1; FileExists(AttachFilePath + FPartFileName); ++n)
        FPartFileName = stem + "_" + std::to_string(n) + "." + ext;
    FMailMessage.Attachments.Add(FPartFileName);

    const std::string target = AttachFilePath + FPartFileName;
    const bool uu = FTransferEncoding.find("X-UUENCODE") != std::string::npos;
    if (uu || LowerCase(FTransferEncoding).find("base64") != std::string::npos) {
        auto in = OpenFile(scratchPath, false);
        auto out = OpenFile(target, true);
        FCodec->InputStream = in.get();
        FCodec->OutputStream = out.get();
        FCodec->Method = uu ? uuCode : uuMime;
        ReportStatus(1, "Décodage du fichier");
        try {
            if (in->size() > 0)
                FCodec->Decode();
        } catch (...) {
            FCodec->InputStream = FCodec->OutputStream = nullptr;
            throw;
        }
        FCodec->InputStream = FCodec->OutputStream = nullptr;
        if (!out->flush())
            throw std::runtime_error("Erreur d'écriture du fichier " + target);
    } else {
        ::rename(scratchPath.c_str(), target.c_str());
    }
}
