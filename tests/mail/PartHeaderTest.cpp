// Tests of the part header helpers: field parameters, encoded names and safe file names.
#include "mail/PartHeader.h"

#include "mail/HeaderText.h"

#include <gtest/gtest.h>

using namespace mimepart;

namespace {

TEST(PartHeader, FieldParameters)
{
    struct Case {
        std::string field, value, param, expected;
    };
    const Case cases[] = {
        {" text/plain; charset=\"ISO-8859-1\"", "text/plain", "charset", "ISO-8859-1"},
        {"Multipart/Mixed;\tBOUNDARY=abc ; x=y", "multipart/mixed", "boundary", "abc"},
        {"attachment; filename=\"a \\\"q\\\".txt\"", "attachment", "filename", "a \"q\".txt"},
        {"attachment; filename=plain name.txt", "attachment", "filename", "plain name.txt"},
        {"attachment; filename*=UTF-8''%C3%A9t%C3%A9.txt", "attachment", "filename", "\xC3\xA9t\xC3\xA9.txt"},
        {"attachment; filename*=iso-8859-1'fr'%E9t%E9.txt; filename=\"old.txt\"", "attachment", "filename",
         "\xC3\xA9t\xC3\xA9.txt"},
        {"attachment; filename*1=\"b.txt\"; filename*0=\"a\"", "attachment", "filename", "ab.txt"},
        {"attachment; filename*0*=UTF-8''%C3%A9; filename*1*=%C3%A9; filename*2=.doc", "attachment", "filename",
         "\xC3\xA9\xC3\xA9.doc"},
        {"attachment; filename*0=\"a\"; filename*2=\"c\"", "attachment", "filename", "a"},  // a gap ends it
        {"attachment; filename*=UTF-8''100%", "attachment", "filename", "100%"},
        {"text/plain; name=\"unterminated", "text/plain", "name", "unterminated"},
        {"text/plain; =x; ;name=n", "text/plain", "name", "n"},
        {"", "", "name", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        const TFieldValue v = ParseField(c.field);
        EXPECT_EQ(v.Value, c.value);
        EXPECT_EQ(v.Param(c.param), c.expected);
    }
}

TEST(PartHeader, EncodedWords)
{
    struct Case {
        std::string text, expected;
    };
    const Case cases[] = {
        {"=?UTF-8?Q?R=C3=A9union_de_lundi?=", "R\xC3\xA9union de lundi"},
        {"=?iso-8859-1?q?caf=E9?=", "caf\xC3\xA9"},
        {"=?UTF-8?B?w6l0w6k=?=", "\xC3\xA9t\xC3\xA9"},
        {"=?UTF-8?Q?a?= =?UTF-8?Q?b?=", "ab"},                 // adjacent words joined
        {"=?UTF-8?Q?a?=\t =?UTF-8?Q?b?= c", "ab c"},
        {"x =?UTF-8?Q?a?= y", "x a y"},
        {"=?UTF-8*fr?Q?a?=", "a"},                             // language suffix
        {"=?UTF-8?X?abc?=", "=?UTF-8?X?abc?="},                // malformed words stay
        {"=?UTF-8?Q?a b?=", "=?UTF-8?Q?a b?="},
        {"=?UTF-8?B?%%%?=", "=?UTF-8?B?%%%?="},
        {"=?UTF-8?Q?bad=Z?=", "=?UTF-8?Q?bad=Z?="},
        {"=?unknown-charset?Q?abc?=", "abc"},
        {"plain \xE9t\xE9.txt", "plain \xC3\xA9t\xC3\xA9.txt"},  // 8-bit bytes read as Windows-1252
        {"d\xC3\xA9j\xC3\xA0 UTF-8", "d\xC3\xA9j\xC3\xA0 UTF-8"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeHeaderText(c.text).toStdString(), c.expected) << c.text;
}

TEST(PartHeader, SafeAndCutNames)
{
    struct SafeCase {
        std::string name, safe;
    };
    const SafeCase safe[] = {
        {"../../evil.txt", "evil.txt"}, {"C:\\x\\win.ini", "win.ini"}, {"..", ""}, {"dir/", ""},
        {" .hidden ", "hidden"},       {"a\tb\x01" "c\x7f.txt", "abc.txt"}, {"ok name.pdf", "ok name.pdf"},
    };
    for (const SafeCase& c : safe)
        EXPECT_EQ(SafeFileName(c.name), c.safe) << c.name;

    struct CutCase {
        std::string name;
        size_t max;
        std::string cut;
    };
    const CutCase cuts[] = {
        {"short.txt", 20, "short.txt"},
        {"abcdefghij.txt", 10, "abcdef.txt"},
        {"\xC3\xA9\xC3\xA9\xC3\xA9.txt", 9, "\xC3\xA9\xC3\xA9.txt"},   // never half a character
        {"abcdefghij.averylongextensionxx", 10, "abcdefghij"},          // not an extension
        {"noextension-at-all", 5, "noext"},
    };
    for (const CutCase& c : cuts)
        EXPECT_EQ(CutName(c.name, c.max), c.cut) << c.name;
}

} // namespace
