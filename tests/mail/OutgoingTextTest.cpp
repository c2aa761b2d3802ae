// Tests of the outgoing message texts: encoded words, address lists, dates, file-name parameters
// and quoted-printable lines.
#include "mail/OutgoingText.h"

#include <QTimeZone>
#include <gtest/gtest.h>

using namespace outgoing;

namespace {

// Decodes the "Q" encoded words of a header value (folds and the blanks between words dropped).
std::string DecodeWords(const std::string& Value)
{
    std::string out;
    size_t at = 0;
    while ((at = Value.find("=?UTF-8?Q?", at)) != std::string::npos) {
        const size_t end = Value.find("?=", at + 10);
        std::string word = Value.substr(at + 10, end - at - 10);
        for (char& c : word)
            if (c == '_')
                c = ' ';
        out += QByteArray::fromPercentEncoding(QByteArray::fromStdString(word), '=').toStdString();
        at = end + 2;
    }
    return out;
}

std::vector<std::string> Lines(const std::string& Text)
{
    std::vector<std::string> out;
    size_t at = 0;
    for (size_t next; (next = Text.find("\r\n", at)) != std::string::npos; at = next + 2)
        out.push_back(Text.substr(at, next - at));
    if (at < Text.size())
        out.push_back(Text.substr(at));
    return out;
}

TEST(OutgoingText, EncodedWordsFoldAndDecodeBack)
{
    const std::string cases[] = {
        "Réunion de lundi",
        "é",
        "Ordre du jour : « budget », été 2026 — 100 € ; questions ? réponses = oui_non",
        std::string(40, 'x') + "ç" + std::string(200, 'y') + "日本語のテキスト" + std::string(30, 'z'),
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text);
        const std::string value = EncodedWords(text, 9);
        EXPECT_EQ(DecodeWords(value), text);
        const std::vector<std::string> lines = Lines(value);
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_LE(lines[i].size() + (i == 0 ? 9 : 0), 78u) << lines[i];
            const std::string word = i == 0 ? lines[i] : lines[i].substr(1);
            EXPECT_EQ(word.find('?', 10), word.size() - 2) << "one word a line: " << lines[i];
            EXPECT_EQ(i == 0 ? 0 : lines[i][0], i == 0 ? 0 : ' ');
            EXPECT_TRUE(IsAscii(lines[i]));
        }
    }
    EXPECT_EQ(EncodedWords("Réunion de lundi", 9), "=?UTF-8?Q?R=C3=A9union_de_lundi?=");
    // Bytes that are not UTF-8 are read as Windows-1252.
    EXPECT_EQ(EncodedWords("caf\xe9 \x80", 0), "=?UTF-8?Q?caf=C3=A9_=E2=82=AC?=");
    EXPECT_EQ(EncodedWordsB("été.pdf"), "=?UTF-8?B?w6l0w6kucGRm?=");
}

TEST(OutgoingText, AddressListsAreCutOutsideQuotesBracketsAndComments)
{
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"a@x, b@y", {"a@x", "b@y"}},
        {"a@x;b@y ; c@z", {"a@x", "b@y", "c@z"}},
        {"\"Martin, Ann\" <ann@x>; bob@y", {"\"Martin, Ann\" <ann@x>", "bob@y"}},
        {"\"say \\\"hi, there\\\"\" <q@x>", {"\"say \\\"hi, there\\\"\" <q@x>"}},
        {"a@x (Smith, J; boss), b@y", {"a@x (Smith, J; boss)", "b@y"}},
        {"<odd,box@x>", {"<odd,box@x>"}},
        {" , ;; ", {}},
        {"", {}},
        {"Bob <bob@y>", {"Bob <bob@y>"}},
    };
    for (const auto& [entry, items] : cases)
        EXPECT_EQ(SplitAddressList(entry), items) << entry;
}

TEST(OutgoingText, CommentsAreLeftOut)
{
    const std::pair<std::string, std::string> cases[] = {
        {"fay@w (Fay, from work)", "fay@w "},
        {"(boss (big)) a@x", " a@x"},
        {"\"Ann (home)\" <a@x>", "\"Ann (home)\" <a@x>"},
        {"a@x (unclosed", "a@x "},
        {"a@x (esc\\) still)", "a@x "},
        {"plain@x", "plain@x"},
        {"\"say \\\"(no)\" <a@x>", "\"say \\\"(no)\" <a@x>"},
    };
    for (const auto& [text, without] : cases)
        EXPECT_EQ(WithoutComments(text), without) << text;
}

TEST(OutgoingText, AddressHeaders)
{
    const struct {
        std::vector<std::string> entries;
        std::string header;
    } cases[] = {
        // ASCII stays exactly as typed.
        {{"Bob <bob@y>", "carl@z"}, "To: Bob <bob@y>,carl@z"},
        {{""}, "To: "},
        {{"a@x;  b@y"}, "To: a@x;  b@y"},
        // Names beyond ASCII become encoded words, quoted or not; bare addresses stay.
        {{"Zoë <zoe@y>"}, "To: =?UTF-8?Q?Zo=C3=AB?= <zoe@y>"},
        {{"\"Dupont, Émile\" <e@y>; bob@y", "José@y"},
         "To: =?UTF-8?Q?Dupont=2C_=C3=89mile?= <e@y>, bob@y, José@y"},
        {{"Zoë <zoe@y>", std::string(60, 'a') + "@y"}, "To: =?UTF-8?Q?Zo=C3=AB?= <zoe@y>,\r\n " + std::string(60, 'a') + "@y"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AddressHeader("To", c.entries), c.header);
}

TEST(OutgoingText, MailDates)
{
    const QDate day(2024, 1, 1);
    const QTime time(10, 0, 5);
    EXPECT_EQ(MailDate(QDateTime(day, time, QTimeZone(3600))), "Mon, 1 Jan 2024 10:00:05 +0100");
    EXPECT_EQ(MailDate(QDateTime(QDate(2026, 12, 8), time, QTimeZone(-(9 * 3600 + 30 * 60)))),
              "Tue, 8 Dec 2026 10:00:05 -0930");
    EXPECT_EQ(MailDate(QDateTime(QDate(2025, 6, 29), QTime(23, 59, 59), QTimeZone(0))), "Sun, 29 Jun 2025 23:59:59 +0000");
}

TEST(OutgoingText, MessageIdsAreUniqueAndWellFormed)
{
    const std::string a = NewMessageId("example.org"), b = NewMessageId("example.org");
    EXPECT_NE(a, b);
    for (const std::string& id : {a, b}) {
        EXPECT_EQ(id.front(), '<');
        EXPECT_EQ(id.substr(id.size() - 13), "@example.org>");
        EXPECT_EQ(id.find_first_of(" <>\"@", 1), id.size() - 13) << id;
    }
    const std::string domain = MessageIdDomain("ann@Exa mple.org");
    EXPECT_FALSE(domain.empty());
    EXPECT_EQ(domain.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-."), std::string::npos);
}

TEST(OutgoingText, FileNameParameters)
{
    EXPECT_EQ(ExtendedFileNameParameter("résumé été 2024.pdf"),
              "filename*=UTF-8''r%C3%A9sum%C3%A9%20%C3%A9t%C3%A9%202024.pdf");
    EXPECT_EQ(ExtendedFileNameParameter("a'b\"c;(d)%.txt"), "filename*=UTF-8''a%27b%22c%3B%28d%29%25.txt");
    EXPECT_EQ(QuotedParameter("say \"hi\" \\o/.txt"), "say \\\"hi\\\" \\\\o/.txt");
}

TEST(OutgoingText, QuotedPrintableLines)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", "\r\n"},
        {"Chère cliente", "Ch=C3=A8re cliente\r\n"},
        {"a=b", "a=3Db\r\n"},
        {"trailing ", "trailing=20\r\n"},
        {"tab\tin\t", "tab\tin=09\r\n"},
        {std::string(76, 'x'), std::string(76, 'x') + "\r\n"},
        {std::string(77, 'x'), std::string(75, 'x') + "=\r\nxx\r\n"},
        {std::string(74, 'x') + "é", std::string(74, 'x') + "=\r\n=C3=A9\r\n"},
    };
    for (const auto& [line, encoded] : cases)
        EXPECT_EQ(QuotedPrintableLine(line), encoded) << line;
    // Long lines: every line within 76 characters, and decoding gives the text back.
    const std::string longLine = std::string(500, 'a') + " ü " + std::string(3000, '=');
    const std::string qp = QuotedPrintableLine(longLine);
    std::string joined;
    for (const std::string& l : Lines(qp)) {
        EXPECT_LE(l.size(), 76u);
        joined += l.back() == '=' ? l.substr(0, l.size() - 1) : l;
    }
    EXPECT_EQ(QByteArray::fromPercentEncoding(QByteArray::fromStdString(joined), '=').toStdString(), longLine);
    EXPECT_FALSE(BodyNeedsEncoding({"plain", std::string(998, 'x')}));
    EXPECT_TRUE(BodyNeedsEncoding({"plain", std::string(999, 'x')}));
    EXPECT_TRUE(BodyNeedsEncoding({"d\xc3\xa9j\xc3\xa0"}));
}

} // namespace
