// TMessageSource: an outgoing message read as a stream, its attachment files encoded while it is
// read.
#include "mail/MessageSource.h"

#include <QByteArray>
#include <stdexcept>

namespace {

// File bytes encoded per block: a whole number of 45-byte lines.
constexpr std::size_t kBlockLines = 1456;
constexpr std::size_t kLineBytes = 45;
constexpr std::size_t kBlockBytes = kBlockLines * kLineBytes;

// The uuencode alphabet: value 0 is the grave accent, others the character 32 + value.
inline char UUChar(unsigned V) { return V == 0 ? '`' : char(32 + V); }

} // namespace

TMessageSource::TMessageSource() = default;
TMessageSource::~TMessageSource() = default;

void TMessageSource::Clear()
{
    FPieces.clear();
    FRaw = std::vector<char>();
    FOut = std::string();
    Rewind();
}

void TMessageSource::AddText(const std::string& Text)
{
    if (!FPieces.empty() && !FPieces.back().File) {
        FPieces.back().Text += Text;
    } else {
        TPiece p;
        p.Text = Text;
        FPieces.push_back(std::move(p));
    }
    Rewind();
}

void TMessageSource::PrependText(const std::string& Text)
{
    TPiece p;
    p.Text = Text;
    FPieces.insert(FPieces.begin(), std::move(p));
    Rewind();
}

void TMessageSource::AddFile(const std::string& Path, std::unique_ptr<QFile> File, std::int64_t Size, UUMethods Method)
{
    TPiece p;
    p.Path = Path;
    p.File = std::move(File);
    p.FileSize = Size;
    p.Method = Method;
    FPieces.push_back(std::move(p));
    Rewind();
}

std::int64_t TMessageSource::EncodedSize(std::int64_t Length, UUMethods Method)
{
    const std::int64_t full = Length / std::int64_t(kLineBytes);
    const std::int64_t rest = Length % std::int64_t(kLineBytes);
    if (Method == uuMime)
        return full * 62 + (rest > 0 ? 4 * ((rest + 2) / 3) + 2 : 0);
    // Count character, groups, CR LF; the 14-byte line begins with "." and is stuffed; the last
    // line is the grave accent.
    std::int64_t last = 0;
    if (rest > 0)
        last = 1 + 4 * (rest / 3) + (rest % 3 > 0 ? rest % 3 + 1 : 0) + 2 + (UUChar(unsigned(rest)) == '.' ? 1 : 0);
    return full * 63 + last + 3;
}

std::int64_t TMessageSource::Size() const
{
    std::int64_t total = 0;
    for (const TPiece& p : FPieces)
        total += p.File ? EncodedSize(p.FileSize, p.Method) : std::int64_t(p.Text.size());
    return total;
}

void TMessageSource::Rewind()
{
    FIndex = 0;
    FStarted = false;
    FTailDone = false;
    FFileLeft = 0;
    FDelivered = 0;
    FFailure = nullptr;
    setg(nullptr, nullptr, nullptr);
}

void TMessageSource::EncodeBlock(const char* Data, std::size_t Length, UUMethods Method)
{
    FOut.clear();
    if (Method == uuMime) {
        const QByteArray text = QByteArray::fromRawData(Data, qsizetype(Length)).toBase64();
        FOut.reserve(std::size_t(text.size()) + (std::size_t(text.size()) / 60 + 1) * 2);
        for (qsizetype at = 0; at < text.size(); at += 60) {
            FOut.append(text.constData() + at, std::size_t(std::min<qsizetype>(60, text.size() - at)));
            FOut += "\r\n";
        }
        return;
    }
    FOut.reserve((Length / kLineBytes + 1) * 64);
    for (std::size_t at = 0; at < Length; at += kLineBytes) {
        const std::size_t count = std::min(kLineBytes, Length - at);
        const auto* b = reinterpret_cast<const unsigned char*>(Data + at);
        const char head = UUChar(unsigned(count));
        if (head == '.')
            FOut += '.';  // a line that begins with "." is dot-stuffed
        FOut += head;
        std::size_t i = 0;
        for (; i + 3 <= count; i += 3) {
            FOut += UUChar(b[i] >> 2);
            FOut += UUChar(((b[i] & 3) << 4) | (b[i + 1] >> 4));
            FOut += UUChar(((b[i + 1] & 15) << 2) | (b[i + 2] >> 6));
            FOut += UUChar(b[i + 2] & 63);
        }
        if (count - i == 1) {
            FOut += UUChar(b[i] >> 2);
            FOut += UUChar((b[i] & 3) << 4);
        } else if (count - i == 2) {
            FOut += UUChar(b[i] >> 2);
            FOut += UUChar(((b[i] & 3) << 4) | (b[i + 1] >> 4));
            FOut += UUChar((b[i + 1] & 15) << 2);
        }
        FOut += "\r\n";
    }
}

// Makes the next non-empty buffer current; false at the end of the stream.
bool TMessageSource::Fill()
{
    while (FIndex < FPieces.size()) {
        TPiece& p = FPieces[FIndex];
        if (!p.File) {
            ++FIndex;
            if (!p.Text.empty()) {
                setg(p.Text.data(), p.Text.data(), p.Text.data() + p.Text.size());
                return true;
            }
            continue;
        }
        if (!FStarted) {
            FStarted = true;
            FTailDone = false;
            FFileLeft = p.FileSize;
            if (!p.File->seek(0))
                throw std::runtime_error("Impossible de lire le fichier " + p.Path);
            if (OnFileStart)
                OnFileStart(p.Path);
        }
        if (FFileLeft > 0) {
            const auto want = std::size_t(std::min<std::int64_t>(FFileLeft, std::int64_t(kBlockBytes)));
            FRaw.resize(kBlockBytes);
            std::size_t got = 0;
            while (got < want) {
                const qint64 n = p.File->read(FRaw.data() + got, qint64(want - got));
                if (n < 0)
                    throw std::runtime_error("Impossible de lire le fichier " + p.Path);
                if (n == 0)
                    throw std::runtime_error("Le fichier " + p.Path + " a changé pendant l'envoi");
                got += std::size_t(n);
            }
            FFileLeft -= std::int64_t(want);
            EncodeBlock(FRaw.data(), want, p.Method);
            setg(FOut.data(), FOut.data(), FOut.data() + FOut.size());
            return true;
        }
        if (p.Method == uuCode && !FTailDone) {
            FTailDone = true;
            FOut = "`\r\n";
            setg(FOut.data(), FOut.data(), FOut.data() + FOut.size());
            return true;
        }
        FStarted = false;
        ++FIndex;
        if (OnFileEnd)
            OnFileEnd(p.Path);
    }
    return false;
}

TMessageSource::int_type TMessageSource::underflow()
{
    if (gptr() < egptr())
        return traits_type::to_int_type(*gptr());
    FDelivered += egptr() - eback();
    setg(nullptr, nullptr, nullptr);
    try {
        if (Fill())
            return traits_type::to_int_type(*gptr());
    } catch (...) {
        // The reader sees the end of the stream; the sender asks Failure() why it came early.
        FFailure = std::current_exception();
        FIndex = FPieces.size();
    }
    return traits_type::eof();
}

TMessageSource::pos_type TMessageSource::seekoff(off_type Off, std::ios_base::seekdir Dir, std::ios_base::openmode Which)
{
    if (!(Which & std::ios_base::in))
        return pos_type(off_type(-1));
    const std::int64_t size = Size();
    const std::int64_t now = FDelivered + (gptr() - eback());
    const std::int64_t base = Dir == std::ios_base::beg ? 0 : Dir == std::ios_base::cur ? now : size;
    const std::int64_t to = base + Off;
    if (to == now)
        return pos_type(off_type(now));
    if (to == 0) {
        Rewind();
        return pos_type(off_type(0));
    }
    if (to == size) {
        Rewind();
        FIndex = FPieces.size();
        FDelivered = size;
        return pos_type(off_type(size));
    }
    return pos_type(off_type(-1));
}

TMessageSource::pos_type TMessageSource::seekpos(pos_type Pos, std::ios_base::openmode Which)
{
    return seekoff(off_type(Pos), std::ios_base::beg, Which);
}

std::string TMessageSource::ReadAll()
{
    Rewind();
    std::string out;
    out.reserve(std::size_t(Size()));
    while (underflow() != traits_type::eof()) {
        out.append(gptr(), std::size_t(egptr() - gptr()));
        setg(eback(), egptr(), egptr());
    }
    if (FFailure)
        std::rethrow_exception(FFailure);
    return out;
}
