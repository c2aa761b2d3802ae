// TKTSMTP: the SMTP client session and its outgoing message composer; TPostMessage.
#include "mail/KTsmtp.h"

#include "net/TextHelpers.h"
#include "mail/MailErrors.h"

#include "mail/OutgoingText.h"

#include <QDateTime>
#include <QFile>
#include <QSysInfo>
#include <QTime>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <istream>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

using namespace mailtext;

namespace {

const char kAuthFailed[] = "L'authentification a échoué";
const char kHeaderIncomplete[] = "En-tête incomplète";

// Header literals whose parameter starts at the 50th character of the line.
const char kTextPlain[] = "Content-Type: text/plain;                        charset=us-ascii";
const char kMultipart[] = "Content-Type: multipart/mixed;                   boundary=\"";
const char kOctetStream[] = "Content-Type: application/octet-stream;          name=\"";
const char kDisposition[] = "Content-Disposition: attachment;                 ";
const char kBoundaryStart[] = "====================54535";
const char kBoundaryEnd[] = "====";
// A text that is not plain ASCII, or has lines too long for SMTP.
const char kTextUtf8[] = "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable";

// A reply longer than this many lines is not a server's answer.
constexpr int kMaxReplyLines = 1000;

// The three digits that begin a reply line followed by nothing, a blank or "-"; 0 otherwise.
int ReplyCode(const std::string& Line)
{
    if (Line.size() < 3 || Line[0] < '1' || Line[0] > '5')
        return 0;
    for (int i = 0; i < 3; ++i)
        if (Line[size_t(i)] < '0' || Line[size_t(i)] > '9')
            return 0;
    if (Line.size() > 3 && Line[3] != ' ' && Line[3] != '-')
        return 0;
    return (Line[0] - '0') * 100 + (Line[1] - '0') * 10 + (Line[2] - '0');
}

// The file-name part of a path.
std::string FileNamePart(const std::string& Path)
{
    const size_t sep = Path.rfind('/');
    return sep == std::string::npos ? Path : Path.substr(sep + 1);
}

std::vector<std::string> OneLineEntries(const TStringList& List)
{
    std::vector<std::string> out;
    for (const std::string& entry : List)
        out.push_back(OneLine(entry));
    return out;
}

// The body's physical lines: an entry may hold line breaks of its own (CR LF, CR or LF).
std::vector<std::string> PhysicalLines(const TStringList& Body)
{
    std::vector<std::string> out;
    for (const std::string& entry : Body) {
        size_t start = 0;
        for (;;) {
            const size_t brk = entry.find_first_of("\r\n", start);
            out.push_back(entry.substr(start, (brk == std::string::npos ? entry.size() : brk) - start));
            if (brk == std::string::npos)
                break;
            start = brk + 1;
            if (entry[brk] == '\r' && start < entry.size() && entry[start] == '\n')
                ++start;
        }
    }
    return out;
}

// Adds text lines, each ending with CR LF, dot-stuffed: a line that begins with "." gets one
// more in front.
void AppendStuffed(std::string& Out, const std::string& Lines)
{
    size_t start = 0;
    while (start < Lines.size()) {
        if (Lines[start] == '.')
            Out += '.';
        const size_t end = Lines.find("\r\n", start);
        const size_t stop = end == std::string::npos ? Lines.size() : end + 2;
        Out.append(Lines, start, stop - start);
        start = stop;
    }
}

// True for a display name that is not already quoted and holds a character that would end it.
bool NeedsQuotes(const std::string& Name)
{
    const std::string t(TrimBlanks(Name));
    if (t.size() >= 2 && t.front() == '"' && t.back() == '"')
        return false;
    return t.find_first_of(",;:<>@()[]\\\"") != std::string::npos;
}

// A recipient entry holding a line break or a NUL could carry commands of its own: the whole
// entry is refused, not only the address taken from it.
void RequireCleanEntry(const std::string& Entry)
{
    if (Entry.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        throw std::runtime_error("Adresse refusée : elle contient un saut de ligne ou un caractère nul (" + OneLine(Entry)
                                 + ")");
}

std::unique_ptr<QFile> OpenForReading(const std::string& Path)
{
    const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("Impossible d'ouvrir le fichier " + Path + " : " + std::strerror(errno));
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw std::runtime_error("Impossible d'ouvrir le fichier " + Path + " : " + std::strerror(EISDIR));
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw std::runtime_error("Impossible d'ouvrir le fichier " + Path);
    }
    return file;
}

// Size of an open file.
qint64 OpenFileSize(const QFile& File, const std::string& Path)
{
    struct stat st;
    if (::fstat(File.handle(), &st) != 0)
        throw std::runtime_error("Impossible de lire le fichier " + Path + " : " + std::strerror(errno));
    return qint64(st.st_size);
}

} // namespace

TKTSMTP::TKTSMTP(QObject* Owner) : TMailSession(Owner)
{
    Port = 25;
    FBody.OnFileStart = [this](const std::string& Path) {
        if (OnEncodeStart)
            OnEncodeStart(Path);
    };
    FBody.OnFileEnd = [this](const std::string& Path) {
        if (OnEncodeEnd)
            OnEncodeEnd(Path);
    };
}

TKTSMTP::~TKTSMTP()
{
    // The base destructor cannot reach this class's Abort; nothing is reported while going away.
    OnStatus = nullptr;
    TSocketSession::OnDisconnect = nullptr;
    try {
        Abort();
    } catch (...) {
    }
}

std::string TKTSMTP::ExtractAddress(const std::string& Entry)
{
    if (Entry.find('<') != std::string::npos)
        return NthField(NthField(Entry, '<', 2), '>', 1);
    if (Entry.find(':') == std::string::npos)
        return Entry;
    return NthField(Entry, ':', 2);
}

// ---------------------------------------------------------------------------------------------
// Replies.

TSmtpReply TKTSMTP::ReadReply(bool Report)
{
    TReplyLimit bound(*this, MaxReply);
    TSmtpReply reply;
    for (;;) {
        const std::string line = ReadLn();
        if (Report && reply.Lines.empty())
            ReportStatus(1, line);
        reply.Text += line;
        reply.Lines.push_back(StripLineEnd(line));
        const std::string& bare = reply.Lines.back();
        // A line that begins with a blank, or whose fourth character is "-", is continued.
        const bool continued = (!bare.empty() && bare[0] == ' ') || (bare.size() >= 4 && bare[3] == '-');
        if (!continued) {
            reply.Code = ReplyCode(bare);
            break;
        }
        if (int(reply.Lines.size()) >= kMaxReplyLines) {
            DropConnection();
            throw std::runtime_error("Réponse du serveur trop longue");
        }
    }
    FReply = reply;
    return reply;
}

TSmtpReply TKTSMTP::Command(const std::string& Line)
{
    TOperationLimit limit(*this, OperationTimeOut);
    Writeln(Line);
    return ReadReply();
}

TSmtpReply TKTSMTP::Require(const std::string& Line, int First, int Last)
{
    TSmtpReply reply = Command(Line);
    if (!reply.In(First, Last))
        Fail(reply);
    return reply;
}

void TKTSMTP::Fail(const TSmtpReply& Reply)
{
    if (Reply.Code == 0)
        DropConnection();
    throw std::runtime_error(Reply.Text);
}

void TKTSMTP::DropConnection()
{
    TSocketSession::Disconnect();
    ReceiveBuffer.Clear();
}

// ---------------------------------------------------------------------------------------------
// The dialogue.

void TKTSMTP::CheckCredentials()
{
    RequireNoLineBreak(UserID);
}

void TKTSMTP::ReadGreeting()
{
    const TSmtpReply greeting = ReadReply();
    if (!greeting.In(200, 299))
        Fail(greeting);
}

void TKTSMTP::Opened()
{
    if (OnConnect)
        OnConnect(this);
}

void TKTSMTP::Helo()
{
    int retries = 0;
    for (;;) {
        RequireNoLineBreak(UserID);  // the handler may have changed it
        const TSmtpReply hello = Command("HELO " + UserID);
        if (hello.Code == 0)
            Fail(hello);
        if (hello.In(200, 299))
            return;
        if (retries > 0 || !OnAuthenticationFailed)
            throw std::runtime_error(kAuthFailed);
        bool handled = false;
        OnAuthenticationFailed(handled);
        if (!handled)
            throw std::runtime_error(kAuthFailed);
        ++retries;
    }
}

std::string TKTSMTP::EhloName()
{
    const std::string name = QSysInfo::machineHostName().toStdString();
    if (name.empty() || name.size() > 255)
        return "localhost";
    for (const char ch : name)
        if (!((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '.' || ch == '-'))
            return "localhost";
    return name;
}

void TKTSMTP::Ehlo()
{
    FCapabilities.Clear();
    const TSmtpReply reply = Command("EHLO " + EhloName());
    if (!reply.In(200, 299))
        Fail(reply);
    // The first line greets; every other line names an extension.
    for (size_t i = 1; i < reply.Lines.size(); ++i)
        FCapabilities.AddLine(reply.Lines[i].size() > 4 ? reply.Lines[i].substr(4) : std::string());
}

void TKTSMTP::StartSecurity()
{
    FCapabilities.Clear();
    // With TLS or sign-in the greeting is EHLO; otherwise HELO, exactly as always.
    if (!UsesEhlo()) {
        Helo();
        return;
    }
    Ehlo();
    if (Security != secStartTls)
        return;
    if (!FCapabilities.Has("STARTTLS"))
        throw std::runtime_error("Le serveur " + Host + " ne propose pas de connexion chiffrée (STARTTLS) : "
                                 "connexion abandonnée, aucun mot de passe n'a été envoyé");
    const TSmtpReply reply = Command("STARTTLS");
    if (reply.Code != 220)
        Fail(reply);
    StartTls();
    Ehlo();
}

bool TKTSMTP::TrySignIn(std::string& Refusal)
{
    TSignInContext context;
    context.Pop3 = false;
    context.CapabilitiesKnown = true;  // the EHLO reply lists every extension, AUTH included
    context.Offered = FCapabilities.SaslMechanisms();
    context.Encrypted = Secure();
    context.ClearAllowed = Security == secNone;
    context.Host = Host;
    FMechanism = ChooseMechanism(AuthMethod, context);

    TSaslWire wire;
    wire.MaxCommandLength = 512 - 2;
    // A reply may span several lines; its last line decides.
    wire.ReadLine = [this] {
        TOperationLimit limit(*this, OperationTimeOut);
        const TSmtpReply reply = ReadReply(false);  // the exchange is never shown
        return reply.Lines.empty() ? std::string() : reply.Lines.back() + "\r\n";
    };
    wire.Classify = [](const std::string& Line, std::string& Payload) {
        const int code = ReplyCode(Line);
        if (code == 334) {
            Payload = StripLineEnd(Line.size() > 4 ? Line.substr(4) : std::string());
            return TSaslWire::Continue;
        }
        return code >= 200 && code < 300 ? TSaslWire::Success : TSaslWire::Failure;
    };
    std::string final;
    if (SaslSignIn(AuthUserID, wire, final))
        return true;
    // 535: the credentials were refused; anything else is the server's own text.
    if (ReplyCode(final) != 535)
        throw std::runtime_error(final);
    Refusal = StripLineEnd(final.size() > 4 ? final.substr(4) : std::string());
    return false;
}

void TKTSMTP::Disconnect()
{
    Logout(OperationTimeOut);
}

void TKTSMTP::Logout(int LimitMs)
{
    FCanceled = false;  // the goodbye may follow a cancelled operation
    if (!Connected()) {
        TSocketSession::Disconnect();
        return;
    }
    try {
        TOperationLimit limit(*this, LimitMs);
        const TSmtpReply reply = Command("QUIT");
        if (!reply.In(200, 299))
            throw std::runtime_error(reply.Text);
    } catch (...) {
        TSocketSession::Disconnect();
        throw;
    }
    TSocketSession::Disconnect();
}

void TKTSMTP::Send()
{
    TBusyGuard busy(*this);
    if (!busy.Entered())
        return;
    try {
        BuildHeader();
        RequireConnection();

        TPostMessage& m = PostMessage;
        auto complete = [&m] {
            return !m.FromAddress.empty() && (m.ToAddress.Count() + m.ToCarbonCopy.Count() + m.ToBlindCarbonCopy.Count()) > 0;
        };
        bool asked = false;
        while (!complete()) {
            if (asked || !OnHeaderIncomplete)
                throw std::runtime_error(kHeaderIncomplete);
            asked = true;
            bool handled = false;
            OnHeaderIncomplete(handled, m.FromAddress.empty() ? 1 : 2);
            if (!handled)
                throw std::runtime_error(kHeaderIncomplete);
        }
        // Nothing may carry a line break into a command: checked before anything is sent.
        RequireNoLineBreak(m.FromAddress);
        RequireCleanEntry(m.FromAddress);
        // Every address of every entry, in order, each once.
        struct Recipient {
            std::string Mailbox, Address;
        };
        std::vector<Recipient> recipients;
        for (const TStringList* list : {&m.ToAddress, &m.ToCarbonCopy, &m.ToBlindCarbonCopy})
            for (const std::string& entry : *list) {
                RequireCleanEntry(entry);
                for (const std::string& mailbox : outgoing::SplitAddressList(entry)) {
                    const std::string address(TrimBlanks(ExtractAddress(outgoing::WithoutComments(mailbox))));
                    if (address.empty())
                        continue;
                    bool seen = false;
                    for (const Recipient& r : recipients)
                        seen = seen || TStringList::CompareText(r.Address, address) == 0;
                    if (!seen)
                        recipients.push_back({mailbox, address});
                }
            }

        if (OnSendStart)
            OnSendStart(this);
        Require("RSET", 200, 299);
        Require("MAIL FROM:<" + m.FromAddress + ">", 200, 299);
        std::string refused;
        for (const Recipient& r : recipients) {
            const TSmtpReply reply = Command("RCPT TO:<" + r.Address + ">");
            if (reply.Code == 0)
                Fail(reply);
            if (reply.In(200, 299))
                continue;
            refused += "\n" + r.Mailbox + " : " + (reply.Lines.empty() ? std::string() : reply.Lines.back());
            if (OnRecipientNotFound)
                OnRecipientNotFound(r.Mailbox);
        }
        if (!refused.empty()) {
            // The message goes to everybody or to nobody: the transaction is dropped.
            const TSmtpReply reset = Command("RSET");
            if (reset.Code == 0)
                DropConnection();
            throw std::runtime_error("Message non envoyé. Destinataires refusés par le serveur :" + refused);
        }
        Require("DATA", 354, 354);

        // From here on a failure must not let the server take a cut message for a whole one:
        // the connection is dropped unless the server has answered the final dot.
        bool answered = false;
        try {
            FBody.PrependText(FinalHeader.Text() + "\r\n\r\n");
            std::istream in(&FBody);
            try {
                TRateLimit rate(*this);
                SendStream(in);
            } catch (...) {
                if (FBody.Failure())
                    std::rethrow_exception(FBody.Failure());
                throw;
            }
            TSmtpReply reply;
            {
                TOperationLimit limit(*this, DataEndTimeOut);
                Writeln(".");
                reply = ReadReply();
            }
            answered = reply.Code != 0;
            if (!reply.In(200, 299)) {
                if (OnFailure)
                    OnFailure(this);
                Fail(reply);
            }
        } catch (...) {
            if (!answered && Connected())
                DropConnection();
            throw;
        }
        if (ClearParams) {
            m.ToAddress.Clear();
            m.ToCarbonCopy.Clear();
            m.ToBlindCarbonCopy.Clear();
            m.Attachments.Clear();
            m.InReplyTo.clear();
            m.References.clear();
        }
    } catch (...) {
        FBody.Clear();
        throw;
    }
    FBody.Clear();
    busy.Leave();
    if (OnSuccess)
        OnSuccess(this);
}

// ---------------------------------------------------------------------------------------------
// Outgoing message composition.

void TKTSMTP::BuildHeader()
{
    const TPostMessage& m = PostMessage;
    FBody.Clear();
    FinalHeader.Clear();
    // Header values never carry a line break: each CR or LF becomes a blank. Texts beyond ASCII
    // go out as encoded words; pure ASCII stays exactly as typed.
    const std::string fromName = OneLine(m.FromName);
    const std::string fromAddress = OneLine(m.FromAddress);
    if (!outgoing::IsAscii(fromName))
        FinalHeader.Add("From: " + outgoing::EncodedWords(fromName, 6) + " <" + fromAddress + ">");
    else if (NeedsQuotes(fromName))
        // A name that would read as several addresses, or as none, goes between quotes.
        FinalHeader.Add("From: \"" + outgoing::QuotedParameter(std::string(TrimBlanks(fromName))) + "\" <" + fromAddress + ">");
    else
        FinalHeader.Add("From: " + fromName + "<" + fromAddress + ">");
    if (m.ToAddress.Count() > 0)
        FinalHeader.Add(outgoing::AddressHeader("To", OneLineEntries(m.ToAddress)));
    if (m.ToCarbonCopy.Count() > 0)
        FinalHeader.Add(outgoing::AddressHeader("CC", OneLineEntries(m.ToCarbonCopy)));
    const std::string subject = OneLine(m.Subject);
    FinalHeader.SetHeader("Subject", outgoing::IsAscii(subject) ? subject : outgoing::EncodedWords(subject, 9));
    FinalHeader.SetHeader("X-Mailer", OneLine(m.LocalProgram));
    if (!m.ReplyTo.empty())
        FinalHeader.SetHeader("Reply-To", outgoing::AddressHeader("Reply-To", {OneLine(m.ReplyTo)}).substr(10));
    FinalHeader.SetHeader("Date", m.Date.empty() ? outgoing::MailDate(QDateTime::currentDateTime()) : OneLine(m.Date));
    FinalHeader.Add("Message-ID: " + outgoing::NewMessageId(outgoing::MessageIdDomain(fromAddress)));
    if (!m.InReplyTo.empty())
        FinalHeader.Add("In-Reply-To: " + OneLine(m.InReplyTo));
    if (!m.References.empty())
        FinalHeader.Add("References: " + OneLine(m.References));
    FinalHeader.Add("Mime-Version: 1.0");

    const std::vector<std::string> lines = PhysicalLines(m.Body);
    const bool encoded = outgoing::BodyNeedsEncoding(lines);
    const bool withAttachments = m.Attachments.Count() > 0;
    if (withAttachments) {
        FBoundary = kBoundaryStart + QTime::currentTime().toString("hh:mm:ss").toStdString() + kBoundaryEnd;
        FinalHeader.Add(kMultipart + FBoundary + "\"");
        FBody.AddText("--" + FBoundary + "\r\n" + (encoded ? kTextUtf8 : kTextPlain) + "\r\n\r\n");
    } else {
        FinalHeader.Add(encoded ? kTextUtf8 : kTextPlain);
    }
    AddBodyLines(encoded);
    if (!withAttachments)
        return;
    for (int i = 0; i < m.Attachments.Count(); ++i)
        AddAttachment(i);
    FBody.AddText("--" + FBoundary + "--\r\n");
}

void TKTSMTP::AddBodyLines(bool Encoded)
{
    std::string out;
    for (const std::string& line : PhysicalLines(PostMessage.Body)) {
        if (Encoded)
            AppendStuffed(out, outgoing::QuotedPrintableLine(outgoing::AsUtf8(line)));
        else
            AppendStuffed(out, line + "\r\n");
    }
    FBody.AddText(out);
}

void TKTSMTP::AddAttachment(int I)
{
    const std::string path = PostMessage.Attachments[I];
    const std::string name = OneLine(FileNamePart(path));
    std::string part = "--" + FBoundary + "\r\n" + kOctetStream;
    if (outgoing::IsAscii(name)) {
        const std::string quoted = outgoing::QuotedParameter(name);
        part += quoted + "\"\r\nContent-Transfer-Encoding: base64\r\n" + kDisposition + "filename=\"" + quoted + "\"";
    } else {
        // The name as RFC 2231 says, and as encoded words for readers that know only those.
        part += outgoing::EncodedWordsB(name) + "\"\r\nContent-Transfer-Encoding: base64\r\n" + kDisposition
                + outgoing::ExtendedFileNameParameter(name);
    }
    FBody.AddText(part + "\r\n\r\n");

    std::unique_ptr<QFile> file;
    qint64 size = 0;
    try {
        file = OpenForReading(path);
        size = OpenFileSize(*file, path);
    } catch (...) {
        if (OnAttachmentNotFound)
            OnAttachmentNotFound(path);
        throw;
    }
    FBody.AddFile(path, std::move(file), size, EncodeType);
}
