// OutgoingText: encoded words, address lists, date, message identifier, file-name parameters and
// quoted-printable lines of outgoing messages.
#include "mail/OutgoingText.h"

#include "net/TextHelpers.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QSysInfo>
#include <QTimeZone>
#include <QUrl>
#include <atomic>
#include <cstdio>
#include <netinet/in.h>
#include <resolv.h>

namespace outgoing {

namespace {

constexpr size_t kFoldedLine = 78;    // recommended longest header line
constexpr size_t kLongestLine = 998;  // longest line SMTP carries
constexpr size_t kWordMax = 75;       // longest encoded word

bool IsBlank(char C) { return C == ' ' || C == '\t'; }

std::string Trim(const std::string& S)
{
    size_t b = 0, e = S.size();
    while (b < e && IsBlank(S[b]))
        ++b;
    while (e > b && IsBlank(S[e - 1]))
        --e;
    return S.substr(b, e - b);
}

// Length of the UTF-8 character starting at S[I] (1 for a stray byte).
size_t CharLength(const std::string& S, size_t I)
{
    const unsigned char c = static_cast<unsigned char>(S[I]);
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (I + n > S.size())
        n = S.size() - I;
    return n;
}

// A byte as it stands in a "Q" encoded word: letters, digits and !*+-/ as they are, a blank as
// "_", everything else as "=XX" (safe in a subject and in a display name alike).
void AppendQ(std::string& Out, unsigned char C)
{
    if ((C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '!' || C == '*'
        || C == '+' || C == '-' || C == '/') {
        Out += char(C);
    } else if (C == ' ') {
        Out += '_';
    } else {
        Out += '=';
        Out += HexDigit(C >> 4);
        Out += HexDigit(C);
    }
}

// A display name without the quotes (and backslash escapes) it was typed with.
std::string Unquoted(const std::string& Name)
{
    if (Name.size() < 2 || Name.front() != '"' || Name.back() != '"')
        return Name;
    std::string out;
    for (size_t i = 1; i + 1 < Name.size(); ++i) {
        if (Name[i] == '\\' && i + 2 < Name.size())
            ++i;
        out += Name[i];
    }
    return out;
}

std::string KeepDomainCharacters(const std::string& S)
{
    std::string out;
    for (char c : S)
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.')
            out += c;
    while (!out.empty() && out.front() == '.')
        out.erase(0, 1);
    while (!out.empty() && out.back() == '.')
        out.pop_back();
    return out;
}

} // namespace

bool IsAscii(const std::string& Text)
{
    for (char c : Text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

std::string AsUtf8(const std::string& Text)
{
    if (IsAscii(Text))
        return Text;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(QByteArrayView(Text.data(), qsizetype(Text.size())));
    if (!utf8.hasError())
        return Text;
    QStringDecoder latin(QStringConverter::Latin1);
    QStringDecoder cp1252("windows-1252");
    QStringDecoder& fallback = cp1252.isValid() ? cp1252 : latin;
    return QString(fallback.decode(QByteArrayView(Text.data(), qsizetype(Text.size())))).toUtf8().toStdString();
}

std::string EncodedWords(const std::string& Text, size_t FirstLineUsed)
{
    static const std::string kOpen = "=?UTF-8?Q?", kClose = "?=";
    const std::string utf8 = AsUtf8(Text);
    std::string out, word;
    // Room for the first word: what is left of its line, but never less than a useful word.
    size_t room = FirstLineUsed + kWordMax <= kFoldedLine ? kWordMax
                  : FirstLineUsed + 24 < kFoldedLine  ? kFoldedLine - FirstLineUsed
                                                      : 24;
    auto flush = [&] {
        if (!out.empty())
            out += "\r\n ";
        out += kOpen + word + kClose;
        word.clear();
        room = kWordMax;  // a folded line starts with one blank: 1 + 75 + 2 spare
    };
    for (size_t i = 0; i < utf8.size();) {
        const size_t n = CharLength(utf8, i);
        std::string encoded;
        for (size_t k = 0; k < n; ++k)
            AppendQ(encoded, static_cast<unsigned char>(utf8[i + k]));
        // A character is never cut between two words.
        if (!word.empty() && kOpen.size() + word.size() + encoded.size() + kClose.size() > room)
            flush();
        word += encoded;
        i += n;
    }
    if (!word.empty() || out.empty())
        flush();
    return out;
}

std::string EncodedWordsB(const std::string& Text)
{
    const std::string utf8 = AsUtf8(Text);
    std::string out;
    // 45 bytes give 60 characters: with "=?UTF-8?B?" and "?=" a word of 72.
    constexpr size_t kChunk = 45;
    for (size_t i = 0; i < utf8.size() || out.empty();) {
        size_t end = i;
        while (end < utf8.size() && end + CharLength(utf8, end) - i <= kChunk)
            end += CharLength(utf8, end);
        if (end == i && i < utf8.size())
            end = i + CharLength(utf8, i);
        if (!out.empty())
            out += ' ';
        out += "=?UTF-8?B?" + QByteArray(utf8.data() + i, qsizetype(end - i)).toBase64().toStdString() + "?=";
        i = end;
        if (i >= utf8.size())
            break;
    }
    return out;
}

std::vector<std::string> SplitAddressList(const std::string& Entry)
{
    std::vector<std::string> out;
    std::string item;
    bool quoted = false;
    int angle = 0, comment = 0;
    for (size_t i = 0; i < Entry.size(); ++i) {
        const char c = Entry[i];
        if (quoted) {
            if (c == '\\' && i + 1 < Entry.size()) {
                item += c;
                item += Entry[++i];
                continue;
            }
            if (c == '"')
                quoted = false;
        } else if (comment > 0) {
            if (c == '(')
                ++comment;
            else if (c == ')')
                --comment;
        } else if (c == '"') {
            quoted = true;
        } else if (c == '(') {
            ++comment;
        } else if (c == '<') {
            ++angle;
        } else if (c == '>' && angle > 0) {
            --angle;
        } else if ((c == ',' || c == ';') && angle == 0) {
            if (const std::string t = Trim(item); !t.empty())
                out.push_back(t);
            item.clear();
            continue;
        }
        item += c;
    }
    if (const std::string t = Trim(item); !t.empty())
        out.push_back(t);
    return out;
}

std::string WithoutComments(const std::string& Text)
{
    std::string out;
    bool quoted = false;
    int comment = 0;
    for (size_t i = 0; i < Text.size(); ++i) {
        const char c = Text[i];
        if (comment > 0) {
            if (c == '\\' && i + 1 < Text.size())
                ++i;
            else if (c == '(')
                ++comment;
            else if (c == ')')
                --comment;
            continue;
        }
        if (c == '(' && !quoted) {
            ++comment;
            continue;
        }
        if (c == '\\' && quoted && i + 1 < Text.size()) {
            out += c;
            out += Text[++i];
            continue;
        }
        if (c == '"')
            quoted = !quoted;
        out += c;
    }
    return out;
}

std::string HeaderMailbox(const std::string& Mailbox)
{
    if (IsAscii(Mailbox))
        return Mailbox;
    const size_t lt = Mailbox.find('<');
    if (lt == std::string::npos)
        return Mailbox;  // an address of its own: nothing a header may encode
    const std::string name = Trim(Unquoted(Trim(Mailbox.substr(0, lt))));
    const std::string address = Trim(Mailbox.substr(lt));
    if (name.empty())
        return address;
    if (IsAscii(name))
        return Mailbox;
    return EncodedWords(name, 0) + " " + address;
}

std::string AddressHeader(const std::string& Name, const std::vector<std::string>& Entries)
{
    std::string plain = Name + ": ";
    bool ascii = true;
    for (size_t i = 0; i < Entries.size(); ++i) {
        if (i > 0)
            plain += ",";
        plain += Entries[i];
        ascii = ascii && IsAscii(Entries[i]);
    }
    if (ascii && plain.size() <= kLongestLine)
        return plain;

    std::string out = Name + ":";
    size_t lineLength = out.size();
    bool first = true;
    for (const std::string& entry : Entries) {
        for (const std::string& mailbox : SplitAddressList(entry)) {
            const std::string text = HeaderMailbox(mailbox);
            const size_t firstLine = std::min(text.find("\r\n"), text.size());
            if (!first)
                out += ",";
            if (!first && lineLength + 2 + firstLine > kFoldedLine) {
                out += "\r\n ";
                lineLength = 1;
            } else {
                out += " ";
                lineLength += first ? 1 : 2;
            }
            out += text;
            const size_t lastBreak = text.rfind("\r\n");
            lineLength = lastBreak == std::string::npos ? lineLength + text.size() : text.size() - lastBreak - 2;
            first = false;
        }
    }
    return out;
}

std::string MailDate(const QDateTime& When)
{
    static const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = When.date();
    const QTime t = When.time();
    const int offset = When.offsetFromUtc() / 60;
    const int a = offset < 0 ? -offset : offset;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %d %s %04d %02d:%02d:%02d %c%02d%02d", kDays[d.dayOfWeek() - 1], d.day(),
                  kMonths[d.month() - 1], d.year(), t.hour(), t.minute(), t.second(), offset < 0 ? '-' : '+', a / 60,
                  a % 60);
    return buf;
}

std::string NewMessageId(const std::string& Domain)
{
    static std::atomic<unsigned> counter{0};
    const quint64 random = QRandomGenerator::system()->generate64();
    char buf[96];
    std::snprintf(buf, sizeof buf, "<%llx.%016llx.%u@", static_cast<unsigned long long>(QDateTime::currentMSecsSinceEpoch()),
                  static_cast<unsigned long long>(random), ++counter);
    return buf + Domain + ">";
}

namespace {

// The machine's DNS domain as the resolver's configuration gives it (its "domain", else its first
// "search" entry), in Unicode; empty when none is configured.
std::string LocalDomainName()
{
    struct __res_state State {};
    if (res_ninit(&State) != 0)
        return {};
    std::string Domain = State.defdname[0] != '\0' ? State.defdname : State.dnsrch[0] ? State.dnsrch[0] : "";
    res_nclose(&State);
    return QUrl::fromAce(QByteArray::fromStdString(Domain)).toStdString();
}

} // namespace

std::string MessageIdDomain(const std::string& SenderAddress)
{
    std::string domain = KeepDomainCharacters(LocalDomainName());
    if (domain.empty()) {
        const size_t at = SenderAddress.rfind('@');
        if (at != std::string::npos)
            domain = KeepDomainCharacters(SenderAddress.substr(at + 1));
    }
    if (domain.empty())
        domain = KeepDomainCharacters(QSysInfo::machineHostName().toStdString());
    return domain.empty() ? "localhost" : domain;
}

std::string QuotedParameter(const std::string& Text)
{
    std::string out;
    for (char c : Text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

std::string ExtendedFileNameParameter(const std::string& Name)
{
    std::string out = "filename*=UTF-8''";
    for (char ch : AsUtf8(Name)) {
        const unsigned char c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
                           || (c < 0x80 && std::string("!#$&+-.^_`|~").find(char(c)) != std::string::npos);
        if (plain) {
            out += char(c);
        } else {
            out += '%';
            out += HexDigit(c >> 4);
            out += HexDigit(c);
        }
    }
    return out;
}

bool BodyNeedsEncoding(const std::vector<std::string>& Lines)
{
    for (const std::string& line : Lines)
        if (line.size() > kLongestLine || !IsAscii(line))
            return true;
    return false;
}

std::string QuotedPrintableLine(const std::string& Line)
{
    constexpr size_t kMax = 76;
    std::string out, current;
    for (size_t i = 0; i < Line.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(Line[i]);
        char token[4] = {};
        const bool last = i + 1 == Line.size();
        // Blanks stay as they are except at the end of a line, where transport may drop them.
        if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last)) {
            token[0] = char(c);
        } else {
            token[0] = '=';
            token[1] = HexDigit(c >> 4);
            token[2] = HexDigit(c);
        }
        const size_t n = token[1] ? 3 : 1;
        // The soft break "=" must fit on the line; the last token of the line needs no "=".
        const size_t limit = last ? kMax : kMax - 1;
        if (current.size() + n > limit) {
            out += current + "=\r\n";
            current.clear();
        }
        current.append(token, n);
    }
    out += current + "\r\n";
    return out;
}

} // namespace outgoing
