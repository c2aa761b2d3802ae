// Smoke tests of the real-server fixtures with a bare blocking socket: so that a failure of the
// mail components is never a fixture that does not serve.
#include "DovecotFixture.h"
#include "MailExamine.h"
#include "SmtpFixture.h"

#include <QTcpSocket>
#include <gtest/gtest.h>

namespace {

class RawClient {
public:
    explicit RawClient(quint16 Port)
    {
        sock_.connectToHost("127.0.0.1", Port);
        if (!sock_.waitForConnected(5000))
            throw std::runtime_error("cannot connect");
    }
    std::string line()
    {
        while (!sock_.canReadLine())
            if (!sock_.waitForReadyRead(5000))
                throw std::runtime_error("no reply");
        return sock_.readLine().toStdString();
    }
    std::string ask(const std::string& Command)
    {
        sock_.write((Command + "\r\n").c_str());
        sock_.waitForBytesWritten(5000);
        return line();
    }
    void send(const std::string& Data)
    {
        sock_.write(Data.data(), qint64(Data.size()));
        sock_.waitForBytesWritten(5000);
    }
private:
    QTcpSocket sock_;
};

TEST(MailFixtures, DovecotServesTheGivenMailbox)
{
    testsupport::DovecotFixture dovecot;
    dovecot.addUser("alice", "secret", {"Subject: one\r\n\r\nfirst\r\n", "Subject: two\n\nsecond\n"});
    dovecot.start();
    RawClient c(dovecot.port());
    EXPECT_EQ(c.line().substr(0, 3), "+OK");
    EXPECT_EQ(c.ask("USER alice").substr(0, 3), "+OK");
    EXPECT_EQ(c.ask("PASS secret").substr(0, 3), "+OK");
    EXPECT_EQ(c.ask("STAT").substr(0, 6), "+OK 2 ");
    ASSERT_EQ(c.ask("TOP 2 0").substr(0, 3), "+OK");
    EXPECT_EQ(c.line(), "Subject: two\r\n");
    EXPECT_EQ(c.line(), "\r\n");
    EXPECT_EQ(c.line(), ".\r\n");
    EXPECT_EQ(c.ask("DELE 1").substr(0, 3), "+OK");
    EXPECT_EQ(c.ask("QUIT").substr(0, 3), "+OK");
    EXPECT_EQ(dovecot.storedMessageCount("alice"), 1) << dovecot.log();
}

TEST(MailFixtures, SmtpSinkStoresMessageAndEnvelope)
{
    testsupport::SmtpFixture smtp;
    smtp.start();
    RawClient c(smtp.port());
    EXPECT_EQ(c.line().substr(0, 3), "220");
    EXPECT_EQ(c.ask("HELO me").substr(0, 3), "250");
    EXPECT_EQ(c.ask("MAIL FROM:<a@x>").substr(0, 3), "250");
    EXPECT_EQ(c.ask("RCPT TO:<b@y>").substr(0, 3), "250");
    EXPECT_EQ(c.ask("RCPT TO:<c@z>").substr(0, 3), "250");
    EXPECT_EQ(c.ask("DATA").substr(0, 3), "354");
    c.send("Subject: hi\r\n\r\n..dot\r\nbody\r\n");
    EXPECT_EQ(c.ask(".").substr(0, 3), "250");
    const auto got = smtp.messages();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].mailFrom, "a@x");
    EXPECT_EQ(got[0].rcptTos, (std::vector<std::string>{"b@y", "c@z"}));
    EXPECT_EQ(got[0].content, "Subject: hi\r\n\r\n.dot\r\nbody\r\n");

    testsupport::TempFolder out;
    const auto m = testsupport::inspectMessage(got[0].file, out.path());
    EXPECT_EQ(m.header("subject"), "hi");
    ASSERT_EQ(m.parts.size(), 1u);
    EXPECT_EQ(m.parts[0].payload, ".dot\nbody\n");  // text payloads come back with LF
}

} // namespace
