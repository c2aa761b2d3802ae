// TKTUUProcessor: base64 and uuencode encoding and decoding between two streams.
#include "mail/KTUUE.h"

#include "net/TextHelpers.h"

#include <QIODevice>
#include <QtGlobal>
#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

TShowMessageHook& MessageHook()
{
    static TShowMessageHook hook;
    return hook;
}

const char kMimeAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The uuencode alphabet: grave accent for 0, then the characters 33 to 95 for 1 to 63.
std::string UUAlphabet()
{
    std::string a(64, '`');
    for (int v = 1; v < 64; ++v)
        a[size_t(v)] = char(32 + v);
    return a;
}

constexpr unsigned char kInvalid = 0x80;
constexpr unsigned char kPad = 64;

// Inverse of the MIME alphabet: 0..63 for the alphabet, 64 for "=", kInvalid for the rest.
struct MimeTable {
    unsigned char v[256];
    MimeTable()
    {
        std::memset(v, kInvalid, sizeof v);
        for (int i = 0; i < 64; ++i)
            v[static_cast<unsigned char>(kMimeAlphabet[i])] = static_cast<unsigned char>(i);
        v[static_cast<unsigned char>('=')] = kPad;
    }
};
const MimeTable kMime;

constexpr qint64 kBlockSize = 1 << 20;

// Buffer size for a stream: its remaining bytes (when known) plus Extra, within 4 KiB..1 MiB,
// so that small inputs do not pay for large buffers.
size_t BufferSizeFor(QIODevice* Dev, qint64 Extra = 0)
{
    qint64 n = Dev->isSequential() ? kBlockSize : Dev->bytesAvailable() + Extra;
    return size_t(std::clamp<qint64>(n, 4096, kBlockSize));
}

// Reads until Size bytes have come or the stream is at its end.
qint64 ReadFully(QIODevice* Dev, char* Data, qint64 Size)
{
    qint64 got = 0;
    while (got < Size) {
        const qint64 r = Dev->read(Data + got, Size - got);
        if (r < 0)
            throw std::runtime_error("Erreur de lecture du flux");
        if (r == 0)
            break;
        got += r;
    }
    return got;
}

void WriteAll(QIODevice* Dev, const char* Data, qint64 Size)
{
    if (Size > 0 && Dev->write(Data, Size) != Size)
        throw std::runtime_error("Erreur d'écriture du flux");
}

// Collects output bytes and writes them to the stream in large pieces.
class OutBuffer {
public:
    OutBuffer(QIODevice* Dev, size_t Size) : dev_(Dev), buf_(Size) {}
    // Room for at least N more bytes; returns where to write them.
    char* Reserve(size_t N)
    {
        if (pos_ + N > buf_.size()) {
            Flush();
            if (N > buf_.size())
                buf_.resize(N);
        }
        return buf_.data() + pos_;
    }
    void Commit(size_t N) { pos_ += N; }
    void Flush()
    {
        WriteAll(dev_, buf_.data(), qint64(pos_));
        pos_ = 0;
    }
private:
    QIODevice* dev_;
    std::vector<char> buf_;
    size_t pos_ = 0;
};

// Cuts the input into lines at line feeds, from the stream's current position. A line is
// returned without its LF and without the CR before it (when there is one); a last line
// without LF is returned too. Finish() leaves the stream just after the last line taken.
class LineReader {
public:
    explicit LineReader(QIODevice* Dev) : dev_(Dev), start_(Dev->pos()), buf_(BufferSizeFor(Dev, 1)) {}

    bool Next(const unsigned char*& Line, size_t& Len)
    {
        for (;;) {
            const char* from = buf_.data() + off_;
            const void* lf = off_ < len_ ? std::memchr(from, '\n', len_ - off_) : nullptr;
            if (lf) {
                const size_t end = size_t(static_cast<const char*>(lf) - buf_.data());
                Take(end, end + 1, Line, Len);
                return true;
            }
            if (eof_) {
                if (off_ >= len_)
                    return false;
                Take(len_, len_, Line, Len);
                return true;
            }
            Fill();
        }
    }

    void Finish()
    {
        if (!dev_->isSequential())
            dev_->seek(start_ + consumed_);
    }

private:
    void Take(size_t End, size_t Next, const unsigned char*& Line, size_t& Len)
    {
        Line = reinterpret_cast<const unsigned char*>(buf_.data() + off_);
        Len = End - off_;
        if (Len > 0 && Line[Len - 1] == '\r')
            --Len;
        consumed_ += qint64(Next - off_);
        off_ = Next;
    }

    void Fill()
    {
        if (off_ > 0) {
            std::memmove(buf_.data(), buf_.data() + off_, len_ - off_);
            len_ -= off_;
            off_ = 0;
        }
        if (len_ == buf_.size())
            buf_.resize(buf_.size() * 2);
        const qint64 r = ReadFully(dev_, buf_.data() + len_, qint64(buf_.size() - len_));
        if (r == 0)
            eof_ = true;
        len_ += size_t(r);
    }

    QIODevice* dev_;
    qint64 start_;
    std::vector<char> buf_;
    size_t off_ = 0;
    size_t len_ = 0;
    qint64 consumed_ = 0;
    bool eof_ = false;
};

inline unsigned UUValue(const unsigned char* S, size_t N, size_t I)
{
    // Characters missing at the end of a line (trailing blanks cut by a mailer) count as 0.
    return I < N ? unsigned(S[I] - 32) & 63u : 0u;
}

bool IsEndLine(const unsigned char* S, size_t N)
{
    return N == 3 && std::memcmp(S, "end", 3) == 0;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TBase64Decoder

void TBase64Decoder::Flush(std::string& Out)
{
    const unsigned a = FGroup[0], b = FGroup[1], c = FGroup[2];
    if (FPending >= 2)
        Out += static_cast<char>(((a << 2) | (b >> 4)) & 0xFF);
    if (FPending >= 3)
        Out += static_cast<char>(((b << 4) | (c >> 2)) & 0xFF);
    FPending = 0;
}

void TBase64Decoder::Feed(const char* Data, std::size_t Size, bool LineStart, std::string& Out, bool Complete)
{
    if (FEnded)
        return;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(Data);
    std::size_t n = Size, i = 0;
    if (LineStart) {
        std::size_t text = n;  // the line without its line end
        if (text > 0 && s[text - 1] == '\n')
            --text;
        if (text > 0 && s[text - 1] == '\r')
            --text;
        if ((Complete && text <= 2 && FPending == 0) || (text >= 4 && std::memcmp(s, "====", 4) == 0))
            return;
        while (i < n && kMime.v[s[i]] >= kPad) {
            if (s[i] == '=' || s[i] == '\r' || s[i] == '\n') {
                FEnded = true;
                Flush(Out);
                return;
            }
            ++i;
        }
    }
    const std::size_t start = Out.size();
    Out.resize(start + (n - i) / 4 * 3 + 3);
    unsigned char* o = reinterpret_cast<unsigned char*>(Out.data()) + start;
    std::size_t w = 0;
    while (i < n) {
        if (FPending == 0 && i + 4 <= n) {
            const unsigned a = kMime.v[s[i]], b = kMime.v[s[i + 1]], c = kMime.v[s[i + 2]], d = kMime.v[s[i + 3]];
            if (((a | b | c | d) & 0xC0) == 0) {  // four alphabet characters: the common case
                o[w++] = static_cast<unsigned char>((a << 2) | (b >> 4));
                o[w++] = static_cast<unsigned char>((b << 4) | (c >> 2));
                o[w++] = static_cast<unsigned char>((c << 6) | d);
                i += 4;
                continue;
            }
        }
        const unsigned v = kMime.v[s[i++]];
        if (v == kPad) {
            Out.resize(start + w);
            FEnded = true;
            Flush(Out);
            return;
        }
        if (v > kPad)
            continue;
        FGroup[FPending++] = v;
        if (FPending == 4) {
            o[w++] = static_cast<unsigned char>((FGroup[0] << 2) | (FGroup[1] >> 4));
            o[w++] = static_cast<unsigned char>((FGroup[1] << 4) | (FGroup[2] >> 2));
            o[w++] = static_cast<unsigned char>((FGroup[2] << 6) | FGroup[3]);
            FPending = 0;
        }
    }
    Out.resize(start + w);
}

void TBase64Decoder::Finish(std::string& Out)
{
    if (!FEnded)
        Flush(Out);
    FEnded = true;
}

void SetShowMessageHook(TShowMessageHook Hook) { MessageHook() = std::move(Hook); }

void ShowMessage(const std::string& Text)
{
    if (MessageHook())
        MessageHook()(Text);
    else
        qWarning("%s", Text.c_str());
}

TKTUUProcessor::TKTUUProcessor(QObject* Owner) : QObject(Owner) {}

void TKTUUProcessor::CheckStreams() const
{
    if (!InputStream || !OutputStream)
        throw std::runtime_error("Flux non défini");
}

void TKTUUProcessor::Encode()
{
    CheckStreams();
    InputStream->seek(0);
    if (OnBeginEncode)
        OnBeginEncode(this);
    auto finish = [this] {
        OutputStream->seek(0);
        if (OnEndEncode)
            OnEndEncode(this);
    };
    try {
        EncodeLines();
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void TKTUUProcessor::EncodeLines()
{
    Alphabet = Method == uuCode ? UUAlphabet() : std::string(kMimeAlphabet);
    const unsigned char* a = reinterpret_cast<const unsigned char*>(Alphabet.data());
    const bool uu = Method == uuCode;
    constexpr qint64 kLine = 45;
    // Whole lines of input per read, about 1 MiB at most.
    const qint64 kBlock = kLine * qint64(BufferSizeFor(InputStream, kLine) / kLine);
    std::vector<unsigned char> in(static_cast<size_t>(kBlock));
    OutBuffer out(OutputStream, size_t(kBlock / 3 * 4 + kBlock / kLine * 3 + 128));

    for (;;) {
        const qint64 got = ReadFully(InputStream, reinterpret_cast<char*>(in.data()), kBlock);
        const unsigned char* p = in.data();
        qint64 left = got;
        while (left > 0) {
            const qint64 count = left < kLine ? left : kLine;
            unsigned char* o = reinterpret_cast<unsigned char*>(out.Reserve(64));
            size_t w = 0;
            if (uu)
                o[w++] = a[count];
            qint64 k = 0;
            for (; k + 3 <= count; k += 3) {
                const unsigned b0 = p[k], b1 = p[k + 1], b2 = p[k + 2];
                o[w++] = a[b0 >> 2];
                o[w++] = a[((b0 & 3) << 4) | (b1 >> 4)];
                o[w++] = a[((b1 & 15) << 2) | (b2 >> 6)];
                o[w++] = a[b2 & 63];
            }
            if (count - k == 1) {
                const unsigned b0 = p[k];
                o[w++] = a[b0 >> 2];
                o[w++] = a[(b0 & 3) << 4];
                if (!uu) {
                    o[w++] = '=';
                    o[w++] = '=';
                }
            } else if (count - k == 2) {
                const unsigned b0 = p[k], b1 = p[k + 1];
                o[w++] = a[b0 >> 2];
                o[w++] = a[((b0 & 3) << 4) | (b1 >> 4)];
                o[w++] = a[(b1 & 15) << 2];
                if (!uu)
                    o[w++] = '=';
            }
            o[w++] = '\r';
            o[w++] = '\n';
            out.Commit(w);
            p += count;
            left -= count;
        }
        if (got < kBlock)
            break;
    }
    if (uu) {
        char* o = out.Reserve(3);
        o[0] = char(a[0]);
        o[1] = '\r';
        o[2] = '\n';
        out.Commit(3);
    }
    out.Flush();
}

void TKTUUProcessor::Decode()
{
    CheckStreams();
    if (OnBeginDecode)
        OnBeginDecode(this);
    if (Method == uuCode)
        DecodeUU();
    else
        DecodeMime();
    if (OnEndDecode)
        OnEndDecode(this);
}

void TKTUUProcessor::DecodeMime()
{
    LineReader reader(InputStream);
    OutBuffer out(OutputStream, BufferSizeFor(InputStream));
    TBase64Decoder decoder;
    std::string bytes;
    const unsigned char* line;
    size_t len;
    while (!decoder.Ended() && reader.Next(line, len)) {
        decoder.Feed(reinterpret_cast<const char*>(line), len, true, bytes);
        if (bytes.size() >= size_t(kBlockSize)) {
            std::memcpy(out.Reserve(bytes.size()), bytes.data(), bytes.size());
            out.Commit(bytes.size());
            bytes.clear();
        }
    }
    decoder.Finish(bytes);
    std::memcpy(out.Reserve(bytes.size()), bytes.data(), bytes.size());
    out.Commit(bytes.size());
    out.Flush();
    reader.Finish();
}

void TKTUUProcessor::DecodeUU()
{
    LineReader reader(InputStream);
    OutBuffer out(OutputStream, BufferSizeFor(InputStream));
    TUUDecoder decoder;
    std::string bytes;
    const unsigned char* s;
    size_t n;
    while (!decoder.Ended() && reader.Next(s, n)) {
        decoder.Feed(reinterpret_cast<const char*>(s), n, bytes);
        if (bytes.size() >= size_t(kBlockSize)) {
            std::memcpy(out.Reserve(bytes.size()), bytes.data(), bytes.size());
            out.Commit(bytes.size());
            bytes.clear();
        }
    }
    decoder.Finish();
    std::memcpy(out.Reserve(bytes.size()), bytes.data(), bytes.size());
    out.Commit(bytes.size());
    out.Flush();
    reader.Finish();
}

// ---------------------------------------------------------------------------------------------
// TUUDecoder

void TUUDecoder::Feed(const char* Data, std::size_t Size, std::string& Out)
{
    if (FEnded)
        return;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(Data);
    const std::size_t n = Size;
    if (FAfterZero) {
        FAfterZero = false;
        if (IsEndLine(s, n)) {
            FEnded = true;
            return;
        }
        ShowMessage(" Pas de ligne de fin.");
        return;
    }
    if (n <= 2)
        return;
    // The usual framing around the data: the "begin" line gives nothing, "end" ends.
    if (n >= 6 && std::memcmp(s, "begin ", 6) == 0)
        return;
    if (IsEndLine(s, n)) {
        FEnded = true;
        return;
    }
    int count = int(UUValue(s, n, 0));
    if (count == 0) {
        FAfterZero = true;
        return;
    }
    for (size_t i = 1; count > 0; i += 4, count -= 3) {
        const unsigned A = UUValue(s, n, i), B = UUValue(s, n, i + 1), C = UUValue(s, n, i + 2), D = UUValue(s, n, i + 3);
        Out += static_cast<char>((A << 2) | (B >> 4));
        if (count >= 2)
            Out += static_cast<char>(((B << 4) | (C >> 2)) & 0xFF);
        if (count >= 3)
            Out += static_cast<char>(((C << 6) | D) & 0xFF);
    }
}

void TUUDecoder::Finish()
{
    if (FAfterZero)
        ShowMessage(" Pas de ligne de fin.");
    FAfterZero = false;
    FEnded = true;
}

bool DecodeQuotedPrintable(std::string_view Text, std::string& Out, bool Underscores)
{
    bool wellFormed = true;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        const char c = Text[i];
        if (c == '=') {
            const int high = i + 2 < Text.size() ? HexValue(Text[i + 1]) : -1;
            const int low = high >= 0 ? HexValue(Text[i + 2]) : -1;
            if (low >= 0) {
                Out += char(high * 16 + low);
                i += 2;
                continue;
            }
            wellFormed = false;
        }
        Out += (Underscores && c == '_') ? ' ' : c;
    }
    return wellFormed;
}
