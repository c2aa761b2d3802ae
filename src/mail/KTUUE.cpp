// TKTUUProcessor: base64 and uuencode encoding and decoding between two streams.
#include "mail/KTUUE.h"

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

// Value of a character inside a group: an invalid character counts as 0.
inline int GroupValue(unsigned char c)
{
    const unsigned char v = kMime.v[c];
    return v == kInvalid ? 0 : v;
}

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

enum class LineEnd { Continue, AfterLine, Now };

// One base64 line. A character outside the alphabet is passed over where a group would start;
// "=" there (or a CR or LF) ends the decoding at once. Padding ends it after the line.
LineEnd DecodeMimeLine(const unsigned char* S, size_t N, OutBuffer& Out)
{
    if (N <= 2 || (N >= 4 && std::memcmp(S, "====", 4) == 0))
        return LineEnd::Continue;
    const size_t last = N - 1;
    size_t i = 0;
    while (i < last && kMime.v[S[i]] >= kPad) {
        if (S[i] == '=' || S[i] == '\r' || S[i] == '\n')
            return LineEnd::Now;
        ++i;
    }
    if (i >= last)
        return LineEnd::Continue;

    unsigned char* o = reinterpret_cast<unsigned char*>(Out.Reserve(N));
    size_t w = 0;
    bool ended = false;
    while (i < last) {
        if (i + 3 < N) {
            const unsigned a = kMime.v[S[i]], b = kMime.v[S[i + 1]], c = kMime.v[S[i + 2]], d = kMime.v[S[i + 3]];
            if (((a | b | c | d) & 0xC0) == 0) {  // four alphabet characters: the common case
                o[w++] = static_cast<unsigned char>((a << 2) | (b >> 4));
                o[w++] = static_cast<unsigned char>((b << 4) | (c >> 2));
                o[w++] = static_cast<unsigned char>((c << 6) | d);
                i += 4;
                continue;
            }
        }
        const unsigned char a = kMime.v[S[i]];
        if (a >= kPad) {
            ++i;
            continue;
        }
        const int B = GroupValue(S[i + 1]);
        o[w++] = static_cast<unsigned char>((a << 2) | (B >> 4));
        const unsigned char c3 = i + 2 < N ? S[i + 2] : '=';
        if (c3 == '=') {
            ended = true;
            i += 3;
            continue;
        }
        const int C = GroupValue(c3);
        o[w++] = static_cast<unsigned char>((B << 4) | (C >> 2));
        const unsigned char c4 = i + 3 < N ? S[i + 3] : '=';
        if (c4 == '=') {
            ended = true;
            i += 3;
            continue;
        }
        o[w++] = static_cast<unsigned char>((C << 6) | GroupValue(c4));
        i += 4;
    }
    Out.Commit(w);
    return ended ? LineEnd::AfterLine : LineEnd::Continue;
}

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
    const unsigned char* line;
    size_t len;
    while (reader.Next(line, len)) {
        const LineEnd e = DecodeMimeLine(line, len, out);
        if (e != LineEnd::Continue)
            break;
    }
    out.Flush();
    reader.Finish();
}

void TKTUUProcessor::DecodeUU()
{
    LineReader reader(InputStream);
    OutBuffer out(OutputStream, BufferSizeFor(InputStream));
    const unsigned char* s;
    size_t n;
    while (reader.Next(s, n)) {
        if (n <= 2)
            continue;
        // The usual framing around the data: the "begin" line gives nothing, "end" ends.
        if (n >= 6 && std::memcmp(s, "begin ", 6) == 0)
            continue;
        if (IsEndLine(s, n))
            break;
        int count = int(UUValue(s, n, 0));
        if (count == 0) {
            const bool more = reader.Next(s, n);
            if (more && IsEndLine(s, n))
                break;
            ShowMessage(" Pas de ligne de fin.");
            continue;
        }
        unsigned char* o = reinterpret_cast<unsigned char*>(out.Reserve(64));
        size_t w = 0;
        for (size_t i = 1; count > 0; i += 4, count -= 3) {
            const unsigned A = UUValue(s, n, i), B = UUValue(s, n, i + 1), C = UUValue(s, n, i + 2),
                           D = UUValue(s, n, i + 3);
            o[w++] = static_cast<unsigned char>((A << 2) | (B >> 4));
            if (count >= 2)
                o[w++] = static_cast<unsigned char>((B << 4) | (C >> 2));
            if (count >= 3)
                o[w++] = static_cast<unsigned char>((C << 6) | D);
        }
        out.Commit(w);
    }
    out.Flush();
    reader.Finish();
}
