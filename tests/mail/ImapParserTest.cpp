// IMAP without a server: the response parser read as transcripts (server bytes → responses), the
// rule that tells new messages from STATUS, the alert line, and the reconnection delays.
#include "mail/ImapIdle.h"
#include "mail/ImapNewMail.h"
#include "mail/ImapParser.h"

#include <gtest/gtest.h>

namespace {

// A response written back compactly: kind and tag, number, name or status, [code data], text, and
// the values as S-expressions ("str", atom, NIL, (list), <streamed n>).
std::string Show(const TImapValue& V)
{
    switch (V.Kind) {
    case TImapValue::Atom: return V.Text;
    case TImapValue::String: return "\"" + V.Text + "\"";
    case TImapValue::Nil: return "NIL";
    case TImapValue::Streamed: return "<streamed " + std::to_string(V.Size) + ">";
    case TImapValue::List: break;
    }
    std::string R = "(";
    for (const TImapValue& I : V.Items)
        R += (R.size() > 1 ? " " : "") + Show(I);
    return R + ")";
}

std::string Show(const TImapResponse& R)
{
    std::string S = R.Kind == TImapResponse::Continuation ? "+" : R.Kind == TImapResponse::Tagged ? R.Tag : "*";
    if (R.HasNumber)
        S += " " + std::to_string(R.Number);
    S += " " + (R.Status.empty() ? R.Name : R.Status);
    if (!R.Code.empty())
        S += " [" + R.Code + (R.CodeData.empty() ? "" : " " + R.CodeData) + "]";
    if (!R.Text.empty())
        S += " '" + R.Text + "'";
    for (const TImapValue& V : R.Values)
        S += " " + Show(V);
    return S;
}

// Feeds Bytes in pieces of Step bytes; the responses, one per line, or "error: …".
std::string Parse(const std::string& Bytes, size_t Step, std::string* Streamed = nullptr)
{
    TImapParser P;
    if (Streamed) {
        P.StreamLiteral = [](std::string_view Item, std::uint64_t) { return Item == "BODY[]"; };
        P.LiteralData = [Streamed](std::string_view D, bool Last) { *Streamed += std::string(D) + (Last ? "|" : ""); };
    }
    std::string Out;
    try {
        for (size_t I = 0; I < Bytes.size(); I += Step)
            P.Feed(std::string_view(Bytes).substr(I, Step));
    } catch (const EImapProtocolError& E) {
        return std::string("error: ") + E.what();
    }
    TImapResponse R;
    while (P.Next(R))
        Out += Show(R) + "\n";
    return Out + (P.InResponse() ? "(incomplete)" : "");
}

} // namespace

// Each transcript gives the same responses whether its bytes come at once or one at a time.
TEST(ImapParser, TranscriptsGiveTheirResponses)
{
    struct Case {
        std::string bytes, expected;
    };
    const std::string bigLine = "* OK " + std::string(TImapParser::kLineCap, 'x') + "\r\n";
    const Case cases[] = {
        {"* OK [CAPABILITY IMAP4rev1 IDLE AUTH=PLAIN] Dovecot ready.\r\n",
         "* OK [CAPABILITY IMAP4rev1 IDLE AUTH=PLAIN] 'Dovecot ready.'\n"},
        {"A1 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n", "A1 NO [AUTHENTICATIONFAILED] 'Authentication failed.'\n"},
        {"+ idling\r\n+\r\n+ {5}\r\n", "+  'idling'\n+ \n+  '{5}'\n"},
        {"* 23 EXISTS\n* 3 expunge\r\n", "* 23 EXISTS\n* 3 EXPUNGE\n"},
        {"* STATUS \"INBOX\" (MESSAGES 231 UNSEEN 2 UIDNEXT 44292 UIDVALIDITY 1)\r\n",
         "* STATUS \"INBOX\" (MESSAGES 231 UNSEEN 2 UIDNEXT 44292 UIDVALIDITY 1)\n"},
        {"* OK [PERMANENTFLAGS (\\Deleted \\Seen \\*)] Limited\r\n", "* OK [PERMANENTFLAGS (\\Deleted \\Seen \\*)] 'Limited'\n"},
        // quoted strings with escapes, NIL, nested lists, a section with spaces, literals in FETCH data
        {"* 12 FETCH (UID 7 FLAGS (\\Seen) X \"a \\\"b\\\\\" Y nil BODY[HEADER.FIELDS (FROM SUBJECT)] {18}\r\n"
         "Subject: {3}\r\nab\r\n BODY[TEXT]<0> {0}\r\n)\r\n",
         "* 12 FETCH (UID 7 FLAGS (\\Seen) X \"a \"b\\\" Y NIL BODY[HEADER.FIELDS (FROM SUBJECT)] \"Subject: {3}\r\nab\r\n\" "
         "BODY[TEXT]<0> \"\")\n"},
        {"* 1 FETCH (BODY[] {3}\r\n", "(incomplete)"},
        {"* BYE [UNAVAILABLE] going down\r\nA2 OK [READ-ONLY] EXAMINE done\r\n",
         "* BYE [UNAVAILABLE] 'going down'\nA2 OK [READ-ONLY] 'EXAMINE done'\n"},
        {"+OK POP3 ready\r\n", "error: Réponse du serveur IMAP illisible : « +OK POP3 ready »"},
        {"\r\n", "error: Réponse du serveur IMAP illisible : «  »"},
        {"A1 MAYBE fine\r\n", "error: Réponse du serveur IMAP illisible : « A1 MAYBE fine »"},
        {"* LIST (\\Noselect \"/\" x\r\n", "error: Réponse du serveur IMAP illisible : liste non fermée dans « * LIST (\\Noselect \"/\" x »"},
        {"* 1 FETCH (X \x01)\r\n", "error: Réponse du serveur IMAP illisible : caractère inattendu dans « * 1 FETCH (X ?) »"},
        {bigLine, "error: Réponse du serveur IMAP trop longue : une ligne dépasse 256 Kio"},
        {"* 1 FETCH (BODY[HEADER] {99999999}\r\n",
         "error: Réponse du serveur IMAP trop longue : un littéral de 99999999 octets dépasse 1024 Kio"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 60));
        EXPECT_EQ(Parse(c.bytes, c.bytes.size()), c.expected);
        if (c.bytes.size() < 1000)
            EXPECT_EQ(Parse(c.bytes, 1), c.expected);
    }
}

// A message body goes to the sink as it arrives, however large, and the response holds only its
// size; a header literal of the same response is still held.
TEST(ImapParser, BodyLiteralStreamsToTheSink)
{
    const std::string body(3 * TImapParser::kLiteralCap, 'm');
    const std::string bytes = "* 4 FETCH (UID 9 BODY[] {" + std::to_string(body.size()) + "}\r\n" + body
                              + " BODY[HEADER] {2}\r\nhi)\r\nB3 OK done\r\n";
    for (size_t step : {size_t(1) << 16, size_t(7)}) {
        std::string streamed;
        EXPECT_EQ(Parse(bytes, step, &streamed),
                  "* 4 FETCH (UID 9 BODY[] <streamed " + std::to_string(body.size()) + "> BODY[HEADER] \"hi\")\nB3 OK 'done'\n");
        EXPECT_TRUE(streamed == body + "|") << streamed.size();
    }
}

TEST(ImapNewMail, NewCountAndAlertLine)
{
    struct Case {
        TImapMark last;
        TImapStatus now;  // messages, unseen, uidnext, uidvalidity
        std::uint64_t fresh;
    };
    const Case cases[] = {
        {{}, {5, 3, 20, 7}, 3},                // first check: every unread message
        {{7, 18, 4}, {5, 3, 20, 7}, 2},        // two UIDs given out since
        {{7, 18, 4}, {5, 1, 20, 7}, 1},        // one of them read elsewhere already
        {{7, 20, 5}, {4, 3, 20, 7}, 0},        // nothing came, one deleted
        {{7, 10, 5}, {6, 6, 30, 8}, 1},        // renumbered: the count grew by one
        {{7, 10, 9}, {6, 6, 30, 8}, 0},        // renumbered and smaller: nothing announced
    };
    for (const Case& c : cases)
        EXPECT_EQ(ImapNewCount(c.last, c.now), c.fresh) << c.last.UidNext << " " << c.now.UidNext;

    const QString host = QStringLiteral("imap.example.com");
    EXPECT_EQ(ImapResultLine(host, 3, 1, false), QStringLiteral("Vous avez 3 messages non lus sur imap.example.com (1 nouveau)"));
    EXPECT_EQ(ImapResultLine(host, 1, 0, false), QStringLiteral("Vous avez 1 message non lu sur imap.example.com"));
    EXPECT_EQ(ImapResultLine(host, 4, 2, false), QStringLiteral("Vous avez 4 messages non lus sur imap.example.com (2 nouveaux)"));
    EXPECT_EQ(ImapResultLine(host, 0, 0, true), QStringLiteral("Vous n'avez aucun message non lu sur imap.example.com"));
    EXPECT_EQ(ImapResultLine(host, 0, 0, false), QString());
}

TEST(ImapIdle, BackoffDoublesFromOneSecondToFiveMinutesWithJitter)
{
    EXPECT_EQ(ImapBackoffMs(0, 0.5), 1000);
    EXPECT_EQ(ImapBackoffMs(3, 0.5), 8000);
    EXPECT_EQ(ImapBackoffMs(0, 0.0), 800);
    EXPECT_EQ(ImapBackoffMs(1, 0.999999), 2399);
    EXPECT_EQ(ImapBackoffMs(8, 0.5), 256000);
    EXPECT_EQ(ImapBackoffMs(9, 0.99), 300000);
    EXPECT_EQ(ImapBackoffMs(40, 0.0), 240000);
}
