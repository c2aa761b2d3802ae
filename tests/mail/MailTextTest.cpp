// Received mail as readable text: encoded words, charsets, flowed text, header fields, the body
// the reader shows, and the fields of an answer.
#include "mail/BodyText.h"
#include "mail/HeaderText.h"
#include "mail/KTpop3.h"
#include "mail/MailCharset.h"
#include "mail/ReplyText.h"

#include <gtest/gtest.h>
#include <ostream>

// Texts in failure messages as UTF-8.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

struct TextCase {
    const char* what;
    std::string input;
    QString expected;
};

TEST(DecodeHeaderText, EncodedWordsAndRawBytes)
{
    const TextCase cases[] = {
        {"plain ASCII", "Bonjour", "Bonjour"},
        {"Q word in UTF-8", "=?UTF-8?Q?R=C3=A9union_de_lundi?=", "Réunion de lundi"},
        {"Q word in ISO-8859-1", "=?ISO-8859-1?Q?Ch=E8re_cliente?=", "Chère cliente"},
        {"B word", "=?utf-8?B?UsOpdW5pb24=?=", "Réunion"},
        {"B word, lower-case b", "=?utf-8?b?UsOpc3Vtw6k=?=", "Résumé"},
        {"q in lower case", "=?utf-8?q?=C3=A9t=C3=A9?=", "été"},
        {"B word in KOI8-R", "=?KOI8-R?B?8NLJ18XU?=", "Привет"},
        {"B word in ISO-2022-JP", "=?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=", "日本語"},
        {"Windows-1252 euro", "=?windows-1252?Q?10_=80?=", "10 €"},
        {"ISO-8859-1 label read as Windows-1252", "=?iso-8859-1?Q?=93cit=E9=94?=", "“cité”"},
        {"language after the charset", "=?UTF-8*fr?Q?=C3=A9t=C3=A9?=", "été"},
        {"text before a word", "Re: =?UTF-8?Q?caf=C3=A9?=", "Re: café"},
        {"text after a word", "=?UTF-8?Q?Caf=C3=A9?= au lait", "Café au lait"},
        {"adjacent words joined", "=?UTF-8?Q?Caf=C3=A9?= =?UTF-8?Q?_cr=C3=A8me?=", "Café crème"},
        {"words joined across a fold", "=?UTF-8?Q?R=C3=A9union?=\r\n =?UTF-8?Q?_de_lundi?=", "Réunion de lundi"},
        {"words joined across a tab fold", "=?UTF-8?B?UsOpdW5pb24=?=\r\n\t=?UTF-8?Q?_=C3=A0_10_h?=", "Réunion à 10 h"},
        {"character cut between two words", "=?UTF-8?Q?caf=C3?= =?UTF-8?Q?=A9?=", "café"},
        // A charset that is not known: the bytes read as UTF-8, else Windows-1252, joined first.
        {"unknown charset, UTF-8 cut between two words", "=?x-martien?Q?caf=C3?= =?x-martien?B?qQ==?=", "café"},
        {"unknown charset, 8-bit bytes", "=?x-martien?Q?caf=E9?=", "café"},
        {"adjacent words of two charsets", "=?ISO-8859-1?Q?=E9?= =?UTF-8?Q?=C3=A9?=", "éé"},
        {"quoted display name", "\"=?UTF-8?Q?=C3=89lodie?=\" <elodie@exemple.fr>", "\"Élodie\" <elodie@exemple.fr>"},
        {"text folded between two plain words", "Bonjour\r\n tout le monde", "Bonjour tout le monde"},
        {"raw UTF-8", "\xC3\x89lodie", "Élodie"},
        {"raw Windows-1252", "R\xE9union \x80", "Réunion €"},
        {"line breaks in a word become blanks", "=?UTF-8?Q?a=0D=0Ab?=", "a  b"},
        {"empty word", "a =?UTF-8?Q?" "?= b", "a  b"},
        // Malformed words stay as they were written.
        {"unknown encoding letter", "=?UTF-8?X?abc?=", "=?UTF-8?X?abc?="},
        {"no end", "=?UTF-8?Q?R=C3=A9union", "=?UTF-8?Q?R=C3=A9union"},

        {"bad base64", "=?UTF-8?B?###?=", "=?UTF-8?B?###?="},
        {"base64 of an impossible length", "=?UTF-8?B?UsOpd?=", "=?UTF-8?B?UsOpd?="},
        {"bad hex in Q", "=?UTF-8?Q?=ZZ?=", "=?UTF-8?Q?=ZZ?="},
        {"equals sign at the end of Q", "=?UTF-8?Q?a=?=", "=?UTF-8?Q?a=?="},
        {"blank inside a word", "=?UTF-8?Q?deux mots?=", "=?UTF-8?Q?deux mots?="},
        {"no charset", "=?" "?Q?abc?=", "=?" "?Q?abc?="},
        {"lone marker", "=? rien", "=? rien"},
        {"malformed word between good ones keeps its blanks", "=?UTF-8?Q?a?= =?UTF-8?X?b?= =?UTF-8?Q?c?=",
         "a =?UTF-8?X?b?= c"},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(DecodeHeaderText(c.input), c.expected) << c.what;
}

TEST(DecodeCharset, DeclaredCharsetThenUtf8ThenWindows1252)
{
    const struct {
        const char* what;
        std::string bytes;
        std::string charset;
        QString expected;
    } cases[] = {
        {"UTF-8 declared", "Ch\xC3\xA8re", "utf-8", "Chère"},
        {"ISO-8859-1 declared", "Ch\xE8re", "iso-8859-1", "Chère"},
        {"ISO-8859-1 holding Windows-1252 quotes", "\x93oui\x94", "ISO-8859-1", "“oui”"},
        {"ISO-8859-15 euro", "\xA4", "iso-8859-15", "€"},
        {"none declared, UTF-8", "\xC3\xA9t\xC3\xA9", "", "été"},
        {"none declared, Windows-1252", "\xE9t\xE9 \x80", "", "été €"},
        {"us-ascii holding UTF-8", "caf\xC3\xA9", "us-ascii", "café"},
        {"UTF-8 declared, Latin-1 sent", "caf\xE9", "utf-8", "café"},
        {"KOI8-R", "\xF0\xD2\xC9\xD7\xC5\xD4", "koi8-r", "Привет"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeCharset(c.bytes, c.charset), c.expected) << c.what;
}

TEST(JoinFlowed, SoftBreaksJoinedFixedBreaksKept)
{
    const struct {
        const char* what;
        QString text;
        bool delSp;
        QString expected;
    } cases[] = {
        {"soft break", "Bonjour, voici \nla suite.", false, "Bonjour, voici la suite."},
        {"soft break with DelSp", "anti \nconstitution", true, "anticonstitution"},
        {"DelSp keeps the blanks before the flowing one", "deux mots  \nsuivants", true, "deux mots suivants"},
        {"paragraphs", "un \ndeux\n\ntrois \nquatre", false, "un deux\n\ntrois quatre"},
        {"space-stuffing undone", " From the start \n >pas une citation", false, "From the start >pas une citation"},
        {"quoted paragraph", "> cit\xC3\xA9 \n> suite\nr\xC3\xA9ponse", false, "> cité suite\nréponse"},
        {"quote depth change ends a paragraph", ">> un \n> deux", false, ">> un \n> deux"},
        {"signature separator is not flowed", "-- \nJean", false, "-- \nJean"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JoinFlowed(c.text, c.delSp), c.expected) << c.what;
}

// A message whose body holds the given entries.
TMailMessage bodyMessage(std::initializer_list<std::string> body, const std::string& charset = "", bool flowed = false,
                         bool delSp = false, bool html = false)
{
    TMailMessage m;
    for (const std::string& line : body)
        m.Body.Add(line);
    m.BodyCharset = charset;
    m.BodyFlowed = flowed;
    m.BodyDelSp = delSp;
    m.BodyIsHtml = html;
    return m;
}

TEST(BodyDisplayText, ConvertsTheTextPartAndNotesFiles)
{
    const THtmlToText markHtml = [](const QString& html) { return QStringLiteral("[html]") + html; };
    const struct {
        const char* what;
        TMailMessage message;
        QString withNotes;
        QString withoutNotes;
    } cases[] = {
        {"ISO-8859-1 lines", bodyMessage({"Ch\xE8re cliente,", "", "\xC0 bient\xF4t"}, "iso-8859-1"),
         "Chère cliente,\n\nÀ bientôt", "Chère cliente,\n\nÀ bientôt"},
        {"flowed", bodyMessage({"Une longue ", "phrase."}, "utf-8", true), "Une longue phrase.", "Une longue phrase."},
        {"flowed with DelSp", bodyMessage({"anti ", "constitution"}, "utf-8", true, true), "anticonstitution",
         "anticonstitution"},
        {"HTML through the converter", bodyMessage({"<p>caf\xE9</p>"}, "windows-1252", false, false, true),
         "[html]<p>café</p>", "[html]<p>café</p>"},
        {"a note per file written, after the text, which may say anything",
         [] {
             TMailMessage m = bodyMessage({"Voir pi\xC3\xA8" "ces jointes.", "Fichier \"x\" extrait"}, "utf-8");
             m.Files = {{"r\xC3\xA9sum\xC3\xA9.txt", 3, "text/plain"}, {"message.eml", 90, "message/rfc822"}};
             return m;
         }(),
         "Voir pièces jointes.\nFichier \"x\" extrait\n\nFichier \"résumé.txt\" extrait\n\nFichier \"message.eml\" extrait",
         "Voir pièces jointes.\nFichier \"x\" extrait"},
        {"entries holding line breaks", bodyMessage({"un\r\ndeux"}), "un\ndeux", "un\ndeux"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BodyDisplayText(c.message, markHtml), c.withNotes) << c.what;
        EXPECT_EQ(BodyDisplayText(c.message, markHtml, false), c.withoutNotes) << c.what;
    }
}

TEST(HeaderFields, UnfoldedAndFoundByName)
{
    TExStringList header{"From: Jean <jean@exemple.fr>",
                         "Subject: =?UTF-8?Q?Une_tr=C3=A8s_longue?=",
                         " =?UTF-8?Q?_r=C3=A9union?=",
                         "to: a@x.fr,",
                         "\tb@y.fr",
                         "Cc : c@z.fr",
                         "",
                         "Body: not a field"};
    const std::vector<std::string> unfolded = UnfoldHeader(header);
    ASSERT_EQ(unfolded.size(), 4u);
    EXPECT_EQ(unfolded[1], "Subject: =?UTF-8?Q?Une_tr=C3=A8s_longue?= =?UTF-8?Q?_r=C3=A9union?=");

    const struct {
        std::string name;
        bool found;
        std::string value;
    } cases[] = {
        {"Subject", true, " =?UTF-8?Q?Une_tr=C3=A8s_longue?= =?UTF-8?Q?_r=C3=A9union?="},
        {"TO", true, " a@x.fr,\tb@y.fr"},
        {"cc", true, " c@z.fr"}, // blanks before the colon
        {"Body", false, ""},     // after the end of the header
        {"Date", false, ""},
    };
    for (const auto& c : cases) {
        bool found = !c.found;
        EXPECT_EQ(HeaderValue(unfolded, c.name, &found), c.value) << c.name;
        EXPECT_EQ(found, c.found) << c.name;
    }
    EXPECT_EQ(DecodeHeaderText(HeaderValue(unfolded, "Subject")), " Une très longue réunion");
}

TEST(AddressesOf, TakesEachEntrysAddress)
{
    const struct {
        std::string value;
        QStringList expected;
    } cases[] = {
        {" Jean Dupont <jean@exemple.fr>", {"jean@exemple.fr"}},
        {" jean@exemple.fr", {"jean@exemple.fr"}},
        {" \"Dupont, Jean\" <jean@exemple.fr>, marie@exemple.fr", {"jean@exemple.fr", "marie@exemple.fr"}},
        {" \"a <b@c>\" <vrai@exemple.fr>", {"vrai@exemple.fr"}},
        {" amis: a@x.fr, b@y.fr;, c@z.fr", {"a@x.fr", "b@y.fr", "c@z.fr"}},
        {" Undisclosed recipients:;", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AddressesOf(c.value), c.expected) << c.value;
}

TEST(ReplyText, SubjectQuoteAndReferences)
{
    const std::pair<QString, QString> subjects[] = {
        {" Réunion", "Re: Réunion"},     {"Re: Réunion", "Re: Réunion"}, {"RE: Réunion", "RE: Réunion"},
        {"Re : Réunion", "Re : Réunion"}, {"re:x", "re:x"},               {"Rendez-vous", "Re: Rendez-vous"},
        {"", "Re: "},
    };
    for (const auto& [subject, expected] : subjects)
        EXPECT_EQ(ReplySubject(subject), expected) << subject.toStdString();

    EXPECT_EQ(QuoteText("Bonjour,\n\n> avant\nfin"), "> Bonjour,\n>\n> > avant\n> fin");

    const struct {
        std::string references, inReplyTo, messageId, expected;
    } refs[] = {
        {"", "", " <m1@x>", "<m1@x>"},
        {" <a@x> <b@x>", "", " <m1@x>", "<a@x> <b@x> <m1@x>"},
        {" <a@x>\t<b@x>", " <b@x>", " <m1@x> (commentaire)", "<a@x> <b@x> <m1@x>"},
        {"", " <p@x>", " <m1@x>", "<p@x> <m1@x>"},
        {"", " <p@x> <q@x>", " <m1@x>", "<m1@x>"}, // which of two parents is unknown
        {" <a@x>", "", "", ""},                     // no identifier: nothing to refer to
        {" <1@x> <2@x> <3@x> <4@x> <5@x> <6@x> <7@x> <8@x> <9@x> <10@x> <11@x>", "", " <m@x>",
         "<1@x> <4@x> <5@x> <6@x> <7@x> <8@x> <9@x> <10@x> <11@x> <m@x>"},
    };
    for (const auto& r : refs)
        EXPECT_EQ(ReplyReferences(r.references, r.inReplyTo, r.messageId), r.expected) << r.references;
}

TEST(MakeReply, AnswersTheSenderWithTheOriginalQuoted)
{
    qputenv("TZ", "Europe/Paris");
    tzset();
    TMailMessage m;
    m.Header = TExStringList{"From: =?UTF-8?Q?=C3=89lodie_Martin?= <elodie@exemple.fr>",
                             "Subject: =?ISO-8859-1?Q?R=E9union?=",
                             "Date: Mon, 6 May 2024 10:00:00 +0200",
                             "Message-ID:",
                             " <abc@exemple.fr>",
                             "References: <root@exemple.fr>",
                             ""};
    TReply reply = MakeReply(m, "Bonjour,\nà lundi.");
    EXPECT_EQ(reply.To, "elodie@exemple.fr");
    EXPECT_EQ(reply.Subject, "Re: Réunion");
    EXPECT_EQ(reply.InReplyTo, "<abc@exemple.fr>");
    EXPECT_EQ(reply.References, "<root@exemple.fr> <abc@exemple.fr>");
    EXPECT_EQ(reply.Body,
              "\n\nLe lundi 6 mai 2024 à 10:00, Élodie Martin <elodie@exemple.fr> a écrit :\n> Bonjour,\n> à lundi.");

    // A Reply-To names who gets the answer; a message without identifier or date still gets one.
    m.Header = TExStringList{"From: liste@exemple.fr", "Reply-To: Jean <jean@exemple.fr>, marie@exemple.fr",
                             "Subject: Re: suite", ""};
    reply = MakeReply(m, "texte");
    EXPECT_EQ(reply.To, "jean@exemple.fr, marie@exemple.fr");
    EXPECT_EQ(reply.Subject, "Re: suite");
    EXPECT_EQ(reply.InReplyTo, "");
    EXPECT_EQ(reply.References, "");
    EXPECT_EQ(reply.Body, "\n\nliste@exemple.fr a écrit :\n> texte");
}

} // namespace
