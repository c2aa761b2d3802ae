// TMessageDecoder: turns the lines of a received message into the TMailMessage record and the
// attachment files, walking the whole MIME tree in one pass.
#include "mail/MessageDecoder.h"

#include "mail/HeaderText.h"
#include "mail/KTpop3.h"
#include "net/TextHelpers.h"

#include <QMimeDatabase>
#include <cerrno>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <stdexcept>
#include <unistd.h>

using namespace mimepart;

namespace {

constexpr std::size_t kMaxField = 256;
constexpr std::size_t kMaxText = 998;  // a header line's own limit

std::string_view WithoutLineEnd(std::string_view S)
{
    if (!S.empty() && S.back() == '\n')
        S.remove_suffix(1);
    if (!S.empty() && S.back() == '\r')
        S.remove_suffix(1);
    return S;
}

bool EndsWithNoCase(const std::string& S, const std::string& Suffix)
{
    return S.size() >= Suffix.size() && LowerAscii(S.substr(S.size() - Suffix.size())) == Suffix;
}

std::string ErrnoText() { return std::strerror(errno); }

// Whether the regular file at Path holds exactly the Size bytes of the file at Other.
bool SameBytes(const std::string& Path, const std::string& Other, std::uint64_t Size)
{
    struct stat st {};
    if (::lstat(Path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || std::uint64_t(st.st_size) != Size)
        return false;
    const int a = ::open(Path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    const int b = a < 0 ? -1 : ::open(Other.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    const TFinally closeBoth([a, b] {
        if (a >= 0)
            ::close(a);
        if (b >= 0)
            ::close(b);
    });
    if (b < 0)
        return false;
    std::string x(1 << 16, '\0'), y(1 << 16, '\0');
    const auto readFull = [](int Fd, std::string& Buf) {
        std::size_t got = 0;
        while (got < Buf.size()) {
            const ssize_t n = ::read(Fd, &Buf[got], Buf.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += std::size_t(n);
        }
        return got;
    };
    for (;;) {
        const std::size_t n = readFull(a, x);
        if (n != readFull(b, y) || std::memcmp(x.data(), y.data(), n) != 0)
            return false;
        if (n < x.size())
            return true;
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// One attachment file, created exclusively and written through a large buffer. A file that is
// not closed successfully is removed.
class TMessageDecoder::TPartFile {
public:
    TPartFile(int Fd, std::string Path, std::string Name, std::string Wanted, int Number)
        : fd_(Fd), path_(std::move(Path)), name_(std::move(Name)), wanted_(std::move(Wanted)), number_(Number)
    {
    }
    ~TPartFile()
    {
        if (fd_ >= 0) {
            ::close(fd_);
            ::unlink(path_.c_str());
        }
    }
    void Write(const char* Data, std::size_t Size)
    {
        size_ += Size;
        if (buf_.size() + Size > kBuffer) {
            Flush();
            if (Size >= kBuffer) {
                WriteOut(Data, Size);
                return;
            }
        }
        buf_.append(Data, Size);
    }
    // Closes the file.
    void Close()
    {
        Flush();
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) {
            const std::string why = ErrnoText();
            ::unlink(path_.c_str());
            throw std::runtime_error("Erreur d'écriture du fichier " + path_ + " : " + why);
        }
    }
    const std::string& Path() const { return path_; }
    const std::string& Name() const { return name_; }
    const std::string& Wanted() const { return wanted_; }  // the name before numbering
    int Number() const { return number_; }                  // its "_N" (0: none)
    std::uint64_t Size() const { return size_; }

private:
    static constexpr std::size_t kBuffer = 1 << 20;
    void Flush()
    {
        WriteOut(buf_.data(), buf_.size());
        buf_.clear();
    }
    void WriteOut(const char* Data, std::size_t Size)
    {
        std::size_t done = 0;
        while (done < Size) {
            const ssize_t n = ::write(fd_, Data + done, Size - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw std::runtime_error("Erreur d'écriture du fichier " + path_ + " : "
                                         + (n < 0 ? ErrnoText() : std::string("disque plein")));
            done += std::size_t(n);
        }
    }
    int fd_;
    std::string path_;
    std::string name_;
    std::string wanted_;
    int number_;
    std::uint64_t size_ = 0;
    std::string buf_;
};

// ---------------------------------------------------------------------------------------------
// Quoted-printable, line by line: "=XX" gives a byte, "=" at a line's end joins the next line,
// blanks at a line's end are dropped, and a line end is kept as CR LF. A malformed "=" stays.
class TMessageDecoder::TQpDecoder {
public:
    void Feed(std::string_view Data, bool LineStart, bool Complete, std::string& Out)
    {
        if (LineStart)
            line_.clear();
        line_.append(Data);
        if (!Complete) {
            // A very long line is decoded as it comes; an "=" or "=X" at the end waits.
            if (line_.size() > kLongLine) {
                std::size_t split = line_.size();
                if (line_[split - 1] == '=')
                    split -= 1;
                else if (line_[split - 2] == '=')
                    split -= 2;
                Decode(std::string_view(line_).substr(0, split), Out);
                line_.erase(0, split);
            }
            return;
        }
        std::string_view text = line_;
        const bool hadEnd = !text.empty() && text.back() == '\n';
        text = WithoutLineEnd(text);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
            text.remove_suffix(1);
        const bool soft = !text.empty() && text.back() == '=';
        if (soft)
            text.remove_suffix(1);
        Decode(text, Out);
        if (hadEnd && !soft)
            Out += "\r\n";
        line_.clear();
    }
    void Finish(std::string& Out)
    {
        Decode(line_, Out);
        line_.clear();
    }

private:
    static constexpr std::size_t kLongLine = 64 * 1024;
    static void Decode(std::string_view S, std::string& Out) { DecodeQuotedPrintable(S, Out); }
    std::string line_;
};

// ---------------------------------------------------------------------------------------------

TMessageDecoder::TMessageDecoder(TMailMessage& Message, std::string AttachFilePath, TReport Report)
    : FMessage(Message), FPath(std::move(AttachFilePath)), FReport(std::move(Report))
{
}

TMessageDecoder::~TMessageDecoder() = default;

void TMessageDecoder::Feed(std::string_view Data, bool LineStart, bool Complete)
{
    if (FState == TState::Header) {
        HeaderLine(Data, LineStart, Complete);
        return;
    }
    if (LineStart && Complete && Data.size() >= 2 && Data[0] == '-' && Data[1] == '-' && !FStack.empty()) {
        bool closing = false;
        const int index = MatchBoundary(Data, closing);
        if (index >= 0) {
            AtBoundary(index, closing);
            return;
        }
    }
    if (FState == TState::Content)
        ContentData(Data, LineStart, Complete);
}

// ---- Header blocks ----

void TMessageDecoder::HeaderLine(std::string_view Data, bool LineStart, bool Complete)
{
    std::string& line = FLine;
    if (LineStart) {
        line.clear();
        FLineCut = false;
        const bool envelope = FTopHeader && FMessage.Header.Empty() && IsEnvelopeLine(Data);
        if (!Complete && !envelope && HeaderLineKind(Data, true) == THeaderLine::Text) {
            // A long line that cannot be a field: the content starts with it.
            EndHeader();
            Feed(Data, true, false);
            return;
        }
    }
    if (!FLineCut) {
        const std::size_t room = kHeaderLineCap - line.size();
        if (Data.size() > room) {
            line.append(Data.substr(0, room));
            FLineCut = true;  // the rest of the line is discarded
        } else {
            line.append(Data);
        }
    }
    if (!Complete)
        return;
    const std::string_view text = FLineCut ? std::string_view(line) : WithoutLineEnd(line);

    if (!FTopHeader && !FStack.empty() && text.size() >= 2 && text[0] == '-' && text[1] == '-') {
        // A delimiter before the blank line: the part has a header and no content.
        bool closing = false;
        const int index = MatchBoundary(text, closing);
        if (index >= 0) {
            EndHeader();
            AtBoundary(index, closing);
            return;
        }
    }
    THeaderLine kind = HeaderLineKind(text);
    if (kind == THeaderLine::Text && FTopHeader && FMessage.Header.Empty() && IsEnvelopeLine(text))
        kind = THeaderLine::Continuation;  // kept with the header lines, part of no field
    if (kind == THeaderLine::Text) {
        // Neither a field nor a continuation: the block has ended without its empty line, and
        // this line is the first of the content.
        EndHeader();
        if (FLineCut)
            line += "\r\n";
        Feed(line, true, true);
        return;
    }
    const bool keep = FBlockBytes < kHeaderBlockCap;
    FBlockBytes += text.size() + 2;
    if (FTopHeader && keep)
        FMessage.Header.Add(std::string(text));
    if (kind == THeaderLine::End) {
        EndHeader();
        return;
    }
    if (!keep)
        return;
    if (kind == THeaderLine::Continuation) {
        // A folded line continues the field (the line break is removed, the blank kept).
        if (!FField.empty() && FField.size() < kFieldCap)
            FField.append(text.substr(0, kFieldCap - FField.size()));
        return;
    }
    EndField();
    FField.assign(text);
}

void TMessageDecoder::EndField()
{
    if (!FField.empty())
        FFields.push_back(std::move(FField));
    FField.clear();
}

void TMessageDecoder::EndHeader(bool StartContent)
{
    EndField();
    TFieldValue ct, disp;
    bool haveType = false;
    std::string encoding;
    for (const std::string& f : FFields) {
        const std::size_t colon = f.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string name = LowerAscii(TrimBlanks(std::string_view(f).substr(0, colon)));
        const std::string_view value = std::string_view(f).substr(colon + 1);
        if (name == "content-type" && !haveType) {
            haveType = true;
            ct = ParseField(value);
            FContentType = std::string(TrimBlanks(value).substr(0, kMaxField));
        } else if (name == "content-transfer-encoding") {
            encoding = LowerAscii(TrimBlanks(value));
            FTransferEncoding = std::string(TrimBlanks(value).substr(0, kMaxField));
        } else if (name == "content-disposition") {
            disp = ParseField(value);
        } else if (FTopHeader) {
            // The subject keeps the blank after the colon; the other values start after it.
            std::string_view after = value;
            if (name != "subject" && !after.empty() && after.front() == ' ')
                after.remove_prefix(1);
            if (name == "subject")
                FMessage.Subject = std::string(after.substr(0, kMaxText));
            else if (name == "from")
                FMessage.From = std::string(after.substr(0, kMaxText));
            else if (name == "message-id")
                FMessage.MessageId = std::string(after.substr(0, kMaxField));
        }
    }
    FFields.clear();
    FBlockBytes = 0;
    FTopHeader = false;
    if (!StartContent)
        return;

    std::string type = ct.Value;
    if (type.find('/') == std::string::npos)
        type = !FStack.empty() && FStack.back().Digest ? "message/rfc822" : "text/plain";
    if (type.rfind("multipart/", 0) == 0) {
        const std::string boundary = ct.Param("boundary").substr(0, kMaxField);
        if (!boundary.empty() && int(FStack.size()) < kMaxDepth) {
            FStack.push_back(TMultipart{boundary, type == "multipart/alternative", type == "multipart/digest", false, FNextId++});
            FBoundary = boundary;
            FState = TState::Preamble;
            FPartMode = AttachmentPart;
            return;
        }
        if (boundary.empty())
            type = "text/plain";  // nothing marks its parts: shown as it is
    }
    FEncoding = TEncoding::Plain;
    if (encoding.find("base64") != std::string::npos)
        FEncoding = TEncoding::Base64;
    else if (encoding.find("quoted-printable") != std::string::npos)
        FEncoding = TEncoding::QuotedPrintable;
    else if (encoding.find("uuencode") != std::string::npos || encoding == "x-uue")
        FEncoding = TEncoding::UUencode;
    StartLeaf(type, ct, disp);
}

// ---- Leaf parts ----

void TMessageDecoder::StartLeaf(const std::string& Type, const TFieldValue& Ct, const TFieldValue& Disp)
{
    std::string announced = Disp.Param("filename");
    if (announced.empty())
        announced = Ct.Param("name");
    announced = DecodeHeaderText(announced).toUtf8().toStdString();
    FPartFileName = announced;
    FLeafType = Type;

    const bool isPlain = Type == "text/plain", isHtml = Type == "text/html";
    const bool attachDisp = Disp.Value == "attachment";
    const bool isAttachment = !announced.empty() || attachDisp || !(isPlain || isHtml);
    TMultipart* group = nullptr;
    for (auto it = FStack.rbegin(); it != FStack.rend() && !group; ++it)
        if (it->Alternative)
            group = &*it;
    const int alternative = group ? group->Id : -1;
    const bool takeBody = (isPlain || isHtml) && !attachDisp
                          && (FBodyKind == TBodyKind::None
                              || (FBodyKind == TBodyKind::Html && isPlain && alternative != -1
                                  && alternative == FBodyAlternative));
    // Of an alternative, one text version is kept (shown, or else as a file); the others are
    // left out. Elsewhere nothing is dropped.
    const bool toFile = isAttachment || (!takeBody && (!group || !group->Used));
    if (group && (isPlain || isHtml) && !attachDisp && (takeBody || toFile))
        group->Used = true;

    FToBody = takeBody;
    if (takeBody) {
        FBodyText.clear();
        FBodyFull = false;
        FBodyKind = isPlain ? TBodyKind::Plain : TBodyKind::Html;
        FBodyAlternative = alternative;
        FMessage.BodyCharset = LowerAscii(Ct.Param("charset"));
        FMessage.BodyIsHtml = isHtml;
        FMessage.BodyFlowed = LowerAscii(Ct.Param("format")) == "flowed";
        FMessage.BodyDelSp = LowerAscii(Ct.Param("delsp")) == "yes";
    }
    FPartMode = takeBody ? BodyText : AttachmentPart;
    FBase64.reset();
    FQp.reset();
    FUU.reset();
    if (FEncoding == TEncoding::Base64)
        FBase64 = std::make_unique<TBase64Decoder>();
    else if (FEncoding == TEncoding::QuotedPrintable)
        FQp = std::make_unique<TQpDecoder>();
    else if (FEncoding == TEncoding::UUencode)
        FUU = std::make_unique<TUUDecoder>();
    FState = TState::Content;
    FLeafAnnounced = announced;
    if (toFile)
        OpenFile();
}

void TMessageDecoder::ContentData(std::string_view Data, bool LineStart, bool Complete)
{
    switch (FEncoding) {
    case TEncoding::Plain:
        Deliver(Data.data(), Data.size());
        return;
    case TEncoding::Base64:
        FBytes.clear();
        FBase64->Feed(Data.data(), Data.size(), LineStart, FBytes, Complete);
        break;
    case TEncoding::QuotedPrintable:
        FBytes.clear();
        FQp->Feed(Data, LineStart, Complete, FBytes);
        break;
    case TEncoding::UUencode:
        if (LineStart)
            FUULine.clear();
        if (FUULine.size() < 1024)
            FUULine.append(Data.substr(0, 1024 - FUULine.size()));
        if (!Complete)
            return;
        FBytes.clear();
        {
            const std::string_view text = WithoutLineEnd(FUULine);
            FUU->Feed(text.data(), text.size(), FBytes);
        }
        break;
    }
    Deliver(FBytes.data(), FBytes.size());
}

void TMessageDecoder::Deliver(const char* Data, std::size_t Size)
{
    if (Size == 0)
        return;
    if (FToBody && !FBodyFull) {
        if (FBodyText.size() + Size <= kBodyCap) {
            FBodyText.append(Data, Size);
        } else {
            // Too long to show whole: the part goes to a file as well, from its start.
            FBodyFull = true;
            if (!FFile) {
                OpenFile(false);  // Data may point into the receive buffer: no status now
                FFile->Write(FBodyText.data(), FBodyText.size());
            }
        }
    }
    if (FFile)
        FFile->Write(Data, Size);
}

void TMessageDecoder::EndLeaf()
{
    FBytes.clear();
    if (FBase64)
        FBase64->Finish(FBytes);
    else if (FQp)
        FQp->Finish(FBytes);
    else if (FUU)
        FUU->Finish();
    Deliver(FBytes.data(), FBytes.size());
    FBase64.reset();
    FQp.reset();
    FUU.reset();
    FToBody = false;
    FPartMode = AttachmentPart;
    if (FFile) {
        FFile->Close();
        const std::string name = KeepOrReuse(*FFile);
        FMessage.Attachments.Add(name);
        FMessage.Files.push_back(TReceivedFile{name, FFile->Size(), FLeafType});
        FPartFileName = name;
        FFile.reset();
    }
}

// ---- Multipart structure ----

int TMessageDecoder::MatchBoundary(std::string_view Line, bool& Closing) const
{
    Line = WithoutLineEnd(Line);
    for (int i = int(FStack.size()) - 1; i >= 0; --i) {
        const std::string& b = FStack[std::size_t(i)].Boundary;
        if (Line.size() < 2 + b.size() || Line.compare(2, b.size(), b) != 0)
            continue;
        std::string_view rest = Line.substr(2 + b.size());
        Closing = rest.size() >= 2 && rest[0] == '-' && rest[1] == '-';
        if (Closing)
            rest.remove_prefix(2);
        if (TrimBlanks(rest).empty())
            return i;
    }
    return -1;
}

void TMessageDecoder::AtBoundary(int Index, bool Closing)
{
    if (FState == TState::Content)
        EndLeaf();
    // A delimiter of an outer level also ends the levels inside it.
    FStack.resize(std::size_t(Index) + 1);
    if (Closing) {
        FStack.pop_back();
        FState = TState::Epilogue;
        return;
    }
    FState = TState::Header;
    FFields.clear();
    FField.clear();
    FBlockBytes = 0;
}

void TMessageDecoder::Finish()
{
    if (FState == TState::Header && FTopHeader) {
        // The message ended inside its header: the fields seen still count.
        EndHeader(false);
    }
    if (FState == TState::Content)
        EndLeaf();
    FState = TState::Epilogue;
    // Body: the shown text, one entry per line.
    std::size_t start = 0;
    while (start < FBodyText.size()) {
        const std::size_t lf = FBodyText.find('\n', start);
        std::string_view line = std::string_view(FBodyText).substr(start, lf == std::string::npos ? std::string::npos : lf - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        FMessage.Body.Add(std::string(line));
        if (lf == std::string::npos)
            break;
        start = lf + 1;
    }
    FBodyText.clear();
}

// ---- Files ----

std::size_t TMessageDecoder::NameMax() const
{
    if (FNameMax == 0) {
        const long max = ::pathconf(FPath.empty() ? "." : FPath.c_str(), _PC_NAME_MAX);
        FNameMax = max > 16 ? std::size_t(max) : 255;
    }
    return FNameMax;
}

std::string TMessageDecoder::DefaultName(const std::string& Type) const
{
    if (Type == "message/rfc822")
        return "message.eml";
    if (Type.rfind("text/", 0) != 0) {
        const QString suffix = QMimeDatabase().mimeTypeForName(QString::fromStdString(Type)).preferredSuffix();
        if (!suffix.isEmpty())
            return "fichier." + suffix.toStdString();
    }
    return "text.tmp";
}

void TMessageDecoder::OpenFile(bool Report)
{
    std::string name = SafeFileName(FLeafAnnounced);
    if (name.empty())
        name = DefaultName(FLeafType);
    else if (FLeafType == "message/rfc822" && !EndsWithNoCase(name, ".eml"))
        name += ".eml";
    const std::size_t max = NameMax();
    name = CutName(name, max);
    int& next = FNextCounter[name];
    for (int n = next;; ++n) {
        const std::string candidate = NumberedName(name, n, max);
        const std::string path = FPath + candidate;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            next = n + 1;
            FFile = std::make_unique<TPartFile>(fd, path, candidate, name, n);
            break;
        }
        if (errno == EEXIST || errno == EINTR)
            continue;
        throw std::runtime_error("Impossible de créer le fichier " + path + " : " + ErrnoText());
    }
    if (!Report)
        return;
    FReport("Extraction du fichier");
    if (FEncoding == TEncoding::Base64 || FEncoding == TEncoding::UUencode)
        FReport("Décodage du fichier");
}

std::string TMessageDecoder::KeepOrReuse(const TPartFile& File)
{
    // The same message read again: a file of the same name (or one of its numbered names) that
    // already holds these bytes is used, and the copy just written removed.
    const int tries = std::min(File.Number(), kReuseTries);
    for (int n = 0; n < tries; ++n) {
        const std::string candidate = NumberedName(File.Wanted(), n, NameMax());
        if (FWritten.count(candidate) == 0 && SameBytes(FPath + candidate, File.Path(), File.Size())) {
            ::unlink(File.Path().c_str());
            int& next = FNextCounter[File.Wanted()];
            next = std::min(next, File.Number());
            FWritten.insert(candidate);
            return candidate;
        }
    }
    FWritten.insert(File.Name());
    return File.Name();
}
