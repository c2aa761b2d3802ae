// Tests of TExStringList: header lookup and set-or-delete on unsorted and sorted lists.
#include "mail/KTExtstr.h"
#include "StringListPrint.h"

#include <gtest/gtest.h>

namespace {

TEST(KTExtstr, SetHeaderAppendsReplacesAndDeletes)
{
    TExStringList list{"From: a@b", "To: c@d"};
    list.SetHeader("Subject", "Hello");
    EXPECT_EQ(list, (TExStringList{"From: a@b", "To: c@d", "Subject: Hello"}));
    list.SetHeader("Subject", "Bye");
    EXPECT_EQ(list, (TExStringList{"From: a@b", "To: c@d", "Subject: Bye"}));
    list.SetHeader("SUBJECT", "");
    EXPECT_EQ(list, (TExStringList{"From: a@b", "To: c@d"}));
    list.SetHeader("Date", "");  // deleting a missing header changes nothing
    EXPECT_EQ(list.Count(), 2);
}

TEST(KTExtstr, IndexOfHeaderOnUnsortedList)
{
    const TExStringList list{"no colon here", "Subject: Hello", "X-Subject: other", "Subject: second", "Subject : spaced"};
    EXPECT_EQ(list.IndexOfHeader("subject"), 1);
    EXPECT_EQ(list.IndexOfHeader("SUBJECT"), 1);
    EXPECT_EQ(list.IndexOfHeader("x-subject"), 2);
    EXPECT_EQ(list.IndexOfHeader("Subject "), 4);  // names are compared untrimmed
    EXPECT_EQ(list.IndexOfHeader("no colon here"), -1);
    EXPECT_EQ(list.IndexOfHeader("Date"), -1);
    EXPECT_EQ(TExStringList().IndexOfHeader("Subject"), -1);
}

TEST(KTExtstr, SortedListSearchesByHalvingAndStaysSorted)
{
    TExStringList list{"To: x", "Date: today", "From: me", "Subject: s", "Cc: y", "X-Mailer: m", "Reply-To: r"};
    list.SetSorted(true);
    EXPECT_EQ(list[0], "Cc: y");
    for (const char* name : {"cc", "Date", "from", "REPLY-TO", "Subject", "To", "x-mailer"}) {
        const int i = list.IndexOfHeader(name);
        ASSERT_GE(i, 0) << name;
        EXPECT_EQ(TStringList::CompareText(list[i].substr(0, list[i].find(':')), name), 0) << name;
    }
    EXPECT_EQ(list.IndexOfHeader("Aaa"), -1);
    EXPECT_EQ(list.IndexOfHeader("Mime-Version"), -1);
    EXPECT_EQ(list.IndexOfHeader("Zzz"), -1);

    list.SetHeader("Mime-Version", "1.0");
    list.SetHeader("Date", "tomorrow");
    list.SetHeader("Cc", "");
    EXPECT_EQ(list, (TExStringList{"Date: tomorrow", "From: me", "Mime-Version: 1.0", "Reply-To: r", "Subject: s",
                                   "To: x", "X-Mailer: m"}));
    EXPECT_EQ(list.IndexOfHeader("mime-version"), 2);
}

} // namespace
