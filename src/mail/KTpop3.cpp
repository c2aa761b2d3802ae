// TKTPOP3: the POP3 client session; TSummary and TMailMessage.
#include "mail/KTpop3.h"

#include "mail/MailErrors.h"
#include "mail/MessageDecoder.h"
#include "net/TextHelpers.h"

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

bool IsTerminator(std::string_view Line) { return Line == ".\r\n" || Line == ".\n"; }

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

} // namespace

TKTPOP3::TKTPOP3(QObject* Owner) : TMailSession(Owner), FCodec(new TKTUUProcessor(this))
{
    Port = 110;
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

void TKTPOP3::CheckCredentials()
{
    bool asked = false;
    while (Secret().empty() || UserID.empty()) {
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
    RequireNoLineBreak(Secret());
    FCapabilities.Clear();
    FCapaAsked = false;
}

void TKTPOP3::ReadGreeting()
{
    FCapabilities.Clear();
    FCapaAsked = false;
    FGreeting = ReadLn();
    if (!Positive(FGreeting))
        throw std::runtime_error(FGreeting);
}

void TKTPOP3::AfterSignIn()
{
    const std::string stat = Transaction("STAT");
    if (!Positive(stat))
        throw std::runtime_error(stat);
    bool ok;
    FMessageCount = ToIntDef(NthField(stat, ' ', 2), 0, ok);
}

void TKTPOP3::Opened()
{
    if (OnConnect)
        OnConnect(this);
}

namespace {

// A refusal that blames the server (a system fault, a mailbox in use) rather than the credentials.
void ThrowServerFault(const std::string& Reply)
{
    if (Reply.find("[SYS/") != std::string::npos || Reply.find("[IN-USE]") != std::string::npos)
        throw std::runtime_error(Reply);
}

} // namespace

bool TKTPOP3::TrySignIn(std::string& Refusal)
{
    // The handler of a refusal may have changed the credentials.
    RequireNoLineBreak(UserID);
    RequireNoLineBreak(Secret());
    // USER/PASS and APOP need nothing but the greeting; the original sign-in sends no CAPA.
    if (AuthMethod != TAuthMethod::Password && AuthMethod != TAuthMethod::Apop && !FCapabilities.Known())
        ReadCapabilities();
    TSignInContext context;
    context.Pop3 = true;
    context.CapabilitiesKnown = FCapabilities.Known();
    context.Offered = FCapabilities.SaslMechanisms();
    context.ApopOffered = !ApopTimestamp(FGreeting).empty();
    context.Encrypted = Secure();
    context.ClearAllowed = Security == secNone;
    context.Host = Host;
    FMechanism = ChooseMechanism(AuthMethod, context);

    if (FMechanism == kMechUserPass) {
        std::string reply = Transaction("USER " + UserID);
        if (Positive(reply)) {
            reply = Transaction("PASS " + Secret());
            if (Positive(reply))
                return true;
        }
        ThrowServerFault(reply);
        Refusal = reply;
        return false;
    }
    if (FMechanism == kMechApop) {
        const std::string reply = Transaction("APOP " + UserID + " " + ApopDigest(ApopTimestamp(FGreeting), Secret()));
        if (Positive(reply))
            return true;
        ThrowServerFault(reply);
        Refusal = reply;
        return false;
    }
    TSaslWire wire;
    wire.MaxCommandLength = 255 - 2;
    wire.ReadLine = [this] { return ReadLn(); };
    wire.Classify = [](const std::string& Line, std::string& Payload) {
        if (Line.rfind("+ ", 0) == 0 || Line == "+\r\n" || Line == "+\n") {
            Payload = Trim(From(Line, 2));
            return TSaslWire::Continue;
        }
        return Positive(Line) ? TSaslWire::Success : TSaslWire::Failure;
    };
    std::string final;
    if (SaslSignIn(UserID, wire, final))
        return true;
    ThrowServerFault(final);
    Refusal = final;
    return false;
}

void TKTPOP3::StartSecurity()
{
    FCapabilities.Clear();
    if (Security == secNone)
        return;
    ReadCapabilities();
    if (Security != secStartTls)
        return;
    if (!FCapabilities.Has("STLS"))
        throw std::runtime_error("Le serveur " + Host + " ne propose pas de connexion chiffrée (STLS) : "
                                 "connexion abandonnée, aucun mot de passe n'a été envoyé");
    const std::string reply = Transaction("STLS");
    if (!Positive(reply))
        throw std::runtime_error(reply);
    StartTls();
    ReadCapabilities();
}

void TKTPOP3::ReadCapabilities()
{
    FCapaAsked = true;
    FCapabilities.Clear();
    TOperationLimit limit(*this, OperationTimeOut);
    TReplyLimit bound(*this, MaxHeaderReply);
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

void TKTPOP3::RetrieveSummary(int MsgNum)
{
    TBusyGuard busy(*this);
    if (!busy.Entered())
        return;

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
    TReplyLimit bound(*this, MaxHeaderReply);
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

int TKTPOP3::ListSummaries(int First, int Last, const TSummaryEvent& Each)
{
    TBusyGuard busy(*this);
    if (!busy.Entered())
        return 0;
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
        TReplyLimit bound(*this, MaxHeaderReply);
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
    TBusyGuard busy(*this);
    if (!busy.Entered())
        return;
    RequireConnection();
    if (OnRetrieveStart)
        OnRetrieveStart(this);
    try {
        FPartMode = TopHeader;
        std::string reply;
        {
            TOperationLimit limit(*this, OperationTimeOut);
            reply = Transaction("RETR " + std::to_string(MsgNum));
        }
        if (!Positive(reply))
            throw std::runtime_error(reply);

        FMailMessage.Header.Clear();
        FMailMessage.Body.Clear();
        FMailMessage.Attachments.Clear();
        FMailMessage.Files.clear();
        FMailMessage.From.clear();
        FMailMessage.Subject.clear();
        FMailMessage.MessageId.clear();
        FMailMessage.BodyCharset.clear();
        FMailMessage.BodyIsHtml = FMailMessage.BodyFlowed = FMailMessage.BodyDelSp = false;
        FContentType.clear();
        FBoundary.clear();
        FTransferEncoding.clear();
        FPartFileName.clear();
        {
            TRateLimit rate(*this);
            ReadMessage();
        }

        if (DeleteOnRead) {
            TOperationLimit limit(*this, OperationTimeOut);
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
    {
        TBusyGuard busy(*this);
        if (!busy.Entered())
            return;
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

bool TKTPOP3::UIDL(std::vector<std::string>& Ids)
{
    Ids.clear();
    TBusyGuard busy(*this);
    if (!busy.Entered())
        return false;
    RequireConnection();
    std::string reply;
    try {
        TOperationLimit limit(*this, OperationTimeOut);
        reply = Transaction("UIDL");
    } catch (const ESockError&) {
        CloseQuietly();
        throw;
    }
    if (!Positive(reply))
        return false;
    Ids.reserve(size_t(std::max(FMessageCount, 0)));
    // The list runs at the line's pace (a large mailbox gives a long one) and holds one line per
    // message: RFC 1939 bounds a line to 512 octets, with room for the lines a server adds.
    TRateLimit rate(*this);
    TReplyLimit bound(*this, (size_t(std::max(FMessageCount, 0)) + 1024) * 512);
    for (;;) {
        const std::string line = StripLineEnd(ReadLn());
        if (line == ".")
            break;
        // "n id"; a line that does not read so is skipped rather than trusted.
        bool ok;
        const int number = ToIntDef(NthField(line, ' ', 1), 0, ok);
        const std::string id = Trim(NthField(line, ' ', 2));
        if (!ok || number < 1 || id.empty() || number > std::max(FMessageCount, 0) + 100000)
            continue;
        if (size_t(number) > Ids.size())
            Ids.resize(size_t(number));
        Ids[size_t(number) - 1] = id;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// The RETR reply, read in bounded pieces up to and including the terminating "." line and never
// further, goes through the message decoder. A line is read whole up to kPiece bytes; a longer one
// comes in pieces, so that no line length can make memory grow.

namespace {
constexpr std::size_t kPiece = 64 * 1024;
}

void TKTPOP3::ReadMessage()
{
    TMessageDecoder decoder(FMailMessage, AttachFilePath, [this](const std::string& S) { ReportStatus(1, S); });
    bool lineStart = true;
    bool ended = false;
    auto keepState = [&] {
        FPartFileName = decoder.PartFileName();
        FBoundary = decoder.Boundary();
        FContentType = decoder.ContentType();
        FTransferEncoding = decoder.TransferEncoding();
        FPartMode = decoder.PartMode();
    };
    try {
        for (;;) {
            bool complete = false;
            std::string_view piece = ReadLnPart(kPiece, complete);
            if (lineStart && complete && IsTerminator(piece)) {
                ended = true;
                break;
            }
            // A line that starts with a dot was sent with one more dot.
            if (lineStart && piece.front() == '.')
                piece.remove_prefix(1);
            decoder.Feed(piece, lineStart, complete);
            lineStart = complete;
        }
        decoder.Finish();
    } catch (const ESockError&) {
        keepState();
        throw;  // the connection itself failed or was cancelled: nothing more can be read
    } catch (...) {
        keepState();
        // A file failure: read the rest of the reply first, so that the next command does not
        // take message lines for its answer.
        try {
            while (!ended) {
                bool complete = false;
                const std::string_view piece = ReadLnPart(kPiece, complete);
                ended = lineStart && complete && IsTerminator(piece);
                lineStart = complete;
            }
        } catch (...) {
            // The connection failed as well; the caller hears of the first failure.
        }
        throw;
    }
    keepState();
}
