// TCapabilities: POP3 CAPA and SMTP EHLO announcements read the same way.
#include "mail/Capabilities.h"

#include <gtest/gtest.h>

TEST(Capabilities, PopAndSmtpFormsGiveTheSameMechanisms)
{
    TCapabilities Pop;
    for (const char* L : {"TOP", "UIDL", "SASL PLAIN cram-md5", "STLS", "PIPELINING"})
        Pop.AddLine(L);
    TCapabilities Smtp;
    for (const char* L : {"PIPELINING", "AUTH=PLAIN", "AUTH PLAIN CRAM-MD5", "starttls", "SIZE 1000"})
        Smtp.AddLine(L);

    const std::vector<std::string> Expected{"PLAIN", "CRAM-MD5"};
    EXPECT_EQ(Pop.SaslMechanisms(), Expected);
    EXPECT_EQ(Smtp.SaslMechanisms(), Expected);
    EXPECT_TRUE(Pop.Has("stls"));
    EXPECT_TRUE(Smtp.Has("STARTTLS"));
    EXPECT_FALSE(Pop.Has("STARTTLS"));
    EXPECT_EQ(Smtp.Arguments("size"), std::vector<std::string>{"1000"});
}

TEST(Capabilities, ClearForgetsAndUnknownUntilALineArrives)
{
    TCapabilities C;
    EXPECT_FALSE(C.Known());
    C.AddLine("UIDL");
    EXPECT_TRUE(C.Known());
    C.Clear();
    EXPECT_FALSE(C.Known());
    EXPECT_FALSE(C.Has("UIDL"));
}
