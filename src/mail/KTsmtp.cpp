// TKTSMTP: the SMTP client session and its outgoing message composer; TPostMessage.
#include "mail/KTsmtp.h"

#include <QFile>
#include <QSysInfo>
#include <QTime>
#include <cerrno>
#include <climits>
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
const char kDisposition[] = "Content-Disposition: attachment;                 filename=\"";
const char kBoundaryStart[] = "====================54535";
const char kBoundaryEnd[] = "====";

// Reads a block of memory as an input stream, without copying it.
class TMemoryStreamBuf : public std::streambuf {
public:
    TMemoryStreamBuf(const char* Data, size_t Size)
    {
        char* p = const_cast<char*>(Data);
        setg(p, p, p + Size);
    }

protected:
    pos_type seekoff(off_type Off, std::ios_base::seekdir Dir, std::ios_base::openmode Which) override
    {
        if (!(Which & std::ios_base::in))
            return pos_type(off_type(-1));
        const off_type size = egptr() - eback();
        const off_type base = Dir == std::ios_base::beg ? 0 : Dir == std::ios_base::cur ? gptr() - eback() : size;
        const off_type to = base + Off;
        if (to < 0 || to > size)
            return pos_type(off_type(-1));
        setg(eback(), eback() + to, egptr());
        return pos_type(to);
    }
    pos_type seekpos(pos_type Pos, std::ios_base::openmode Which) override
    {
        return seekoff(off_type(Pos), std::ios_base::beg, Which);
    }
};

// Leading decimal digits (at most ten) as a number, 0 when there are none.
int ReplyCode(const std::string& Line)
{
    long long v = 0;
    size_t i = 0;
    for (; i < Line.size() && i < 10 && Line[i] >= '0' && Line[i] <= '9'; ++i)
        v = v * 10 + (Line[i] - '0');
    return v <= INT_MAX ? int(v) : 0;
}

// The file-name part of a path.
std::string FileNamePart(const std::string& Path)
{
    const size_t sep = Path.rfind('/');
    return sep == std::string::npos ? Path : Path.substr(sep + 1);
}

std::string JoinEntries(const TStringList& List)
{
    std::string out;
    for (int i = 0; i < List.Count(); ++i) {
        if (i > 0)
            out += ",";
        out += OneLine(List[i]);
    }
    return out;
}

// Adds the entry's physical lines (an entry may hold line breaks of its own) to Out, each
// followed by CR LF and dot-stuffed: a line that begins with "." gets one more in front.
void AppendStuffedLines(std::string& Out, const std::string& Entry)
{
    size_t start = 0;
    for (;;) {
        const size_t brk = Entry.find_first_of("\r\n", start);
        const size_t end = brk == std::string::npos ? Entry.size() : brk;
        if (end > start && Entry[start] == '.')
            Out += '.';
        Out.append(Entry, start, end - start);
        Out += "\r\n";
        if (brk == std::string::npos)
            break;
        start = brk + 1;
        if (Entry[brk] == '\r' && start < Entry.size() && Entry[start] == '\n')
            ++start;
    }
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

qint64 FileSize(const std::string& Path)
{
    struct stat st;
    return ::stat(Path.c_str(), &st) == 0 ? qint64(st.st_size) : 0;
}

} // namespace

TKTSMTP::TKTSMTP(QObject* Owner) : TSocketSession(Owner)
{
    Port = 25;
    CancelHook = [this](QObject*) {
        TSocketSession::Disconnect();
        ReceiveBuffer.Clear();
    };
    FBodyStream.open(QIODevice::ReadWrite);
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

std::string TKTSMTP::ReadMultiLineReply(std::string Reply)
{
    while ((!Reply.empty() && Reply[0] == ' ') || (Reply.size() >= 4 && Reply[3] == '-'))
        Reply = ReadLn();
    return Reply;
}

void TKTSMTP::Connect()
{
    RequireNoLineBreak(UserID);
    const bool setBusy = !FBusy;
    FBusy = true;
    bool greeted = false;
    auto finish = [&] {
        if (setBusy)
            FBusy = false;
        if (greeted && OnConnect)
            OnConnect(this);
    };
    try {
        TSocketSession::Connect();
        try {
            std::string greeting = ReadLn();
            const int code = ReplyCode(greeting);
            greeting = ReadMultiLineReply(greeting);
            if (code >= 400)
                throw std::runtime_error(greeting);

            // With TLS the greeting is EHLO; otherwise HELO, exactly as always.
            if (!StartSecurity()) {
                int retries = 0;
                do {
                    RequireNoLineBreak(UserID);  // the handler may have changed it
                    ReadMultiLineReply(Transaction("HELO " + UserID));
                    if (ReplyNumber() >= 300) {
                        if (retries > 0 || !OnAuthenticationFailed)
                            throw std::runtime_error(kAuthFailed);
                        bool handled = false;
                        OnAuthenticationFailed(handled);
                        if (!handled)
                            throw std::runtime_error(kAuthFailed);
                        ++retries;
                    }
                } while (ReplyNumber() >= 300);
            }
            greeted = true;
        } catch (...) {
            // Say goodbye (QUIT) and close; the first failure is the one the caller hears of.
            try {
                Disconnect();
            } catch (...) {
            }
            throw;
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
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
    std::string line = Transaction("EHLO " + EhloName());
    const int code = ReplyNumber();
    for (bool first = true;; first = false) {
        const bool more = line.size() >= 4 && line[3] == '-';
        if (!first)
            FCapabilities.AddLine(StripLineEnd(line.size() > 4 ? line.substr(4) : std::string()));
        if (!more)
            break;
        line = ReadLn();
    }
    if (code < 200 || code >= 300)
        throw std::runtime_error(line);
}

bool TKTSMTP::StartSecurity()
{
    FCapabilities.Clear();
    if (!UsesEhlo())
        return false;
    Ehlo();
    if (Security != secStartTls)
        return true;
    if (!FCapabilities.Has("STARTTLS"))
        throw std::runtime_error("Le serveur " + Host + " ne propose pas de connexion chiffrée (STARTTLS) : "
                                 "connexion abandonnée, aucun mot de passe n'a été envoyé");
    const std::string reply = ReadMultiLineReply(Transaction("STARTTLS"));
    if (ReplyCode(reply) != 220)
        throw std::runtime_error(reply);
    StartTls();
    Ehlo();
    return true;
}

void TKTSMTP::Disconnect()
{
    FCanceled = false;  // the goodbye may follow a cancelled operation
    try {
        const std::string reply = Transaction("QUIT");
        if (ReplyNumber() > 339)
            throw std::runtime_error(reply);
    } catch (...) {
        TSocketSession::Disconnect();
        throw;
    }
    TSocketSession::Disconnect();
}

void TKTSMTP::Abort()
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

void TKTSMTP::Send()
{
    if (FBusy)
        return;
    FBusy = true;
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
        // No address may carry a line break into a command: checked before anything is sent.
        RequireNoLineBreak(m.FromAddress);
        for (const TStringList* list : {&m.ToAddress, &m.ToCarbonCopy, &m.ToBlindCarbonCopy})
            for (const std::string& entry : *list)
                RequireNoLineBreak(ExtractAddress(entry));

        if (OnSendStart)
            OnSendStart(this);
        std::string reply = Transaction("RSET");
        if (ReplyNumber() > 399)
            throw std::runtime_error(reply);
        reply = Transaction("MAIL FROM:<" + m.FromAddress + ">");
        if (ReplyNumber() > 399)
            throw std::runtime_error(reply);
        for (const TStringList* list : {&m.ToAddress, &m.ToCarbonCopy, &m.ToBlindCarbonCopy}) {
            for (const std::string& entry : *list) {
                const std::string address = ExtractAddress(entry);
                if (address.empty())
                    continue;
                Transaction("RCPT TO:<" + address + ">");
                if (ReplyNumber() > 300 && OnRecipientNotFound)
                    OnRecipientNotFound(entry);
            }
        }
        reply = Transaction("DATA");
        if (ReplyNumber() > 399)
            throw std::runtime_error(reply);

        // The header block goes out whole, however long, in pieces that Write can carry.
        const std::string head = FinalHeader.Text() + "\r\n\r\n";
        constexpr size_t kWriteMax = 16384;
        for (size_t at = 0; at < head.size(); at += kWriteMax)
            Write(head.substr(at, kWriteMax));

        const QByteArray& body = FBodyStream.data();
        TMemoryStreamBuf buf(body.constData(), size_t(body.size()));
        std::istream in(&buf);
        SendStream(in);

        reply = Transaction(".");
        if (ReplyNumber() > 399) {
            if (OnFailure)
                OnFailure(this);
            throw std::runtime_error(reply);
        }
        if (ClearParams) {
            m.ToAddress.Clear();
            m.ToCarbonCopy.Clear();
            m.ToBlindCarbonCopy.Clear();
            m.Attachments.Clear();
        }
    } catch (...) {
        FBusy = false;
        throw;
    }
    FBusy = false;
    if (OnSuccess)
        OnSuccess(this);
}

// ---------------------------------------------------------------------------------------------
// Outgoing message composition.

void TKTSMTP::WriteBody(const std::string& Text)
{
    if (FBodyStream.write(Text.data(), qint64(Text.size())) != qint64(Text.size()))
        throw std::runtime_error("Erreur d'écriture du flux");
}

void TKTSMTP::WriteBodyLines()
{
    std::string out;
    for (const std::string& line : PostMessage.Body)
        AppendStuffedLines(out, line);
    WriteBody(out);
}

void TKTSMTP::BuildHeader()
{
    const TPostMessage& m = PostMessage;
    FinalHeader.Clear();
    // Header values never carry a line break: each CR or LF becomes a blank.
    FinalHeader.Add("From: " + OneLine(m.FromName) + "<" + OneLine(m.FromAddress) + ">");
    if (m.ToAddress.Count() > 0)
        FinalHeader.Add("To: " + JoinEntries(m.ToAddress));
    if (m.ToCarbonCopy.Count() > 0)
        FinalHeader.Add("CC: " + JoinEntries(m.ToCarbonCopy));
    FinalHeader.SetHeader("Subject", OneLine(m.Subject));
    FinalHeader.SetHeader("X-Mailer", OneLine(m.LocalProgram));
    if (!m.ReplyTo.empty())
        FinalHeader.SetHeader("Reply-To", OneLine(m.ReplyTo));
    if (!m.Date.empty())
        FinalHeader.SetHeader("Date", OneLine(m.Date));
    FinalHeader.Add("Mime-Version: 1.0");

    const bool withAttachments = m.Attachments.Count() > 0;
    if (withAttachments) {
        FBoundary = kBoundaryStart + QTime::currentTime().toString("hh:mm:ss").toStdString() + kBoundaryEnd;
        FinalHeader.Add(kMultipart + FBoundary + "\"");
    } else {
        FinalHeader.Add(kTextPlain);
    }

    // The whole message is built in memory: reserve what the encoded files will take, so that
    // the buffer is not moved while it grows.
    qint64 estimate = 4096;
    for (const std::string& line : m.Body)
        estimate += qint64(line.size()) + 3;
    for (const std::string& path : m.Attachments) {
        const qint64 size = FileSize(path);
        estimate += 512 + (size + 44) / 45 * 63 + 8;
    }
    FBodyStream.close();
    FBodyStream.setData(QByteArray());
    FBodyStream.buffer().reserve(qsizetype(estimate));
    FBodyStream.open(QIODevice::ReadWrite);

    if (!withAttachments) {
        WriteBodyLines();
        return;
    }
    WriteBody("--" + FBoundary + "\r\n" + kTextPlain + "\r\n\r\n");
    WriteBodyLines();
    for (int i = 0; i < m.Attachments.Count(); ++i)
        EncodeAttachment(i);
    WriteBody("--" + FBoundary + "--\r\n");
}

void TKTSMTP::EncodeAttachment(int I)
{
    const std::string path = PostMessage.Attachments[I];
    const std::string name = OneLine(FileNamePart(path));
    WriteBody("--" + FBoundary + "\r\n" + kOctetStream + name + "\"\r\n" + "Content-Transfer-Encoding: base64\r\n"
              + kDisposition + name + "\"\r\n\r\n");

    std::unique_ptr<TKTUUProcessor> codec(new TKTUUProcessor(this));
    codec->Method = EncodeType;
    std::unique_ptr<QFile> file;
    try {
        file = OpenForReading(path);
    } catch (...) {
        if (OnAttachmentNotFound)
            OnAttachmentNotFound(path);
        throw;
    }
    // The encoded lines go straight to the end of the body: no second copy of the file.
    const qint64 start = FBodyStream.size();
    FBodyStream.seek(start);
    codec->InputStream = file.get();
    codec->OutputStream = &FBodyStream;
    if (OnEncodeStart)
        OnEncodeStart(path);
    codec->Encode();
    FBodyStream.seek(FBodyStream.size());

    if (EncodeType == uuCode) {
        // A uuencoded line may begin with "." (a count of 14 bytes): it is dot-stuffed like a
        // body line, else the server would drop that dot and corrupt the data.
        QByteArray& buf = FBodyStream.buffer();
        QByteArray fixed;
        bool changed = false;
        for (qsizetype at = start; at < buf.size();) {
            qsizetype end = buf.indexOf('\n', at);
            end = end < 0 ? buf.size() : end + 1;
            if (buf[at] == '.') {
                fixed += '.';
                changed = true;
            }
            fixed.append(buf.constData() + at, end - at);
            at = end;
        }
        if (changed) {
            buf.truncate(start);
            buf.append(fixed);
            FBodyStream.seek(FBodyStream.size());
        }
    }
    if (OnEncodeEnd)
        OnEncodeEnd(path);
}
