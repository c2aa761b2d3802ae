// TKTIMAP and TImapIdle against a real Dovecot serving IMAP: a check with read and unread mail,
// a listing whose header fields come as literals, a large message streamed to its attachment,
// deleting, a refused password, the TLS modes, and push: new mail while in IDLE, and again after
// the server was restarted under the connection.
#include "mail/ImapIdle.h"
#include "mail/ImapNewMail.h"
#include "mail/KTimap.h"
#include "mail/MailErrors.h"
#include "net/TlsTransport.h"
#include "DovecotFixture.h"
#include "SessionBus.h"
#include "TestCertificates.h"
#include "TestDirs.h"

#include <QByteArray>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

std::string Message(const std::string& Subject, const std::string& Body = "Hello.\r\n")
{
    return "From: Ann <ann@example.org>\r\nTo: alice@example.org\r\nSubject: " + Subject
           + "\r\nDate: Tue, 8 Dec 2026 10:00:00 +0000\r\nMessage-ID: <" + std::to_string(Subject.size()) + "@x>\r\n\r\n" + Body;
}

std::string WithAttachment(const std::string& Content)
{
    const QByteArray encoded = QByteArray::fromStdString(Content).toBase64();
    std::string text = "From: Ann <ann@example.org>\r\nSubject: Big\r\nMIME-Version: 1.0\r\n"
                       "Content-Type: multipart/mixed; boundary=\"XX\"\r\n\r\n--XX\r\nContent-Type: text/plain\r\n\r\n"
                       "See the file.\r\n--XX\r\nContent-Type: application/octet-stream; name=\"big.bin\"\r\n"
                       "Content-Transfer-Encoding: base64\r\n\r\n";
    for (qsizetype at = 0; at < encoded.size(); at += 76)
        text += encoded.mid(at, 76).toStdString() + "\r\n";
    return text + "--XX--\r\n";
}

void Configure(TKTIMAP& Imap, quint16 Port, TSecurity Security = secNone, const std::string& Password = "s3cret")
{
    Imap.Host = "localhost";
    Imap.Port = Port;
    Imap.Security = Security;
    Imap.CaFile = TestCertificates::get().caFile();
    Imap.UserID = "alice";
    Imap.Password = Password;
    Imap.OperationTimeOut = 20000;
}

} // namespace

// A check sees the unread messages; a listing gives flags, sizes and the header fields (a subject
// ending in what looks like a literal marker included); reading streams a 3 MB attachment to its
// file and marks the message read; deleting removes it from the server.
TEST(ImapIntegration, CheckListReadAndDelete)
{
    std::string content(3 * 1024 * 1024, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = char((i * 2654435761u) >> 13);
    const std::vector<std::string> messages = {Message("Already read"), Message("Prix \"net\" {5}"), WithAttachment(content)};
    DovecotFixture dovecot;
    dovecot.enableImap();
    dovecot.addUser("alice", "s3cret", messages);
    dovecot.setSeen("alice", {0});
    dovecot.start();
    TempFolder files;

    TKTIMAP imap;
    Configure(imap, dovecot.imapPort());
    imap.AttachFilePath = files.path().toStdString() + "/";
    imap.Connect();
    const TImapStatus status = imap.Status();
    EXPECT_EQ(status.Messages, 3u);
    EXPECT_EQ(status.Unseen, 2u);
    EXPECT_EQ(status.UidNext, 4u);
    EXPECT_NE(status.UidValidity, 0u);
    EXPECT_EQ(ImapNewCount({status.UidValidity, 3, 2}, status), 1u);

    EXPECT_EQ(imap.Select().Exists, 3u);
    std::vector<TImapSummary> listed;
    imap.ListBatch = 2;
    EXPECT_EQ(imap.ListSummaries(1, 3, [&](const TImapSummary& S) { return listed.push_back(S), true; }), 3);
    ASSERT_EQ(listed.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(listed[i].Uid, i + 1);
        EXPECT_EQ(listed[i].Seen, i == 0);
        EXPECT_EQ(listed[i].Summary.Bytes, int(messages[i].size()));
    }
    EXPECT_EQ(listed[1].Summary.Subject, " Prix \"net\" {5}");
    EXPECT_EQ(listed[1].Summary.From, " Ann <ann@example.org>");
    EXPECT_EQ(listed[1].Date, " Tue, 8 Dec 2026 10:00:00 +0000");

    imap.RetrieveMessage(3);
    ASSERT_EQ(imap.MailMessage().Attachments.Count(), 1);
    EXPECT_TRUE(readFileBytes(files.file("big.bin")) == content);
    EXPECT_EQ(imap.Status().Unseen, 1u);

    imap.DeleteMessage(2);
    EXPECT_EQ(imap.Status().Messages, 2u);
    imap.Disconnect();
    EXPECT_FALSE(imap.Connected());
    EXPECT_EQ(dovecot.storedMessageCount("alice"), 2);

    Configure(imap, dovecot.imapPort(), secNone, "wrong");
    EXPECT_THROW(imap.Connect(), EAuthError);
    EXPECT_FALSE(imap.Connected());
}

// IMAPS and STARTTLS sign in over TLS with the test authority; a certificate the checks refuse is
// refused on both, unless its fingerprint is pinned.
TEST(ImapIntegration, TlsModes)
{
    for (const std::string certificate : {"good", "unknown"}) {
        DovecotFixture dovecot;
        dovecot.enableImap();
        dovecot.enableTls(certificate);
        dovecot.addUser("alice", "s3cret", {Message("One")});
        dovecot.start();
        for (const TSecurity security : {secTls, secStartTls}) {
            for (const bool pinned : {false, true}) {
                SCOPED_TRACE(certificate + " " + std::to_string(security) + (pinned ? " pinned" : ""));
                TKTIMAP imap;
                Configure(imap, security == secTls ? dovecot.imapsPort() : dovecot.imapPort(), security);
                if (pinned)
                    imap.TrustedFingerprint = TestCertificates::get().fingerprint(certificate);
                if (certificate != "good" && !pinned) {
                    EXPECT_THROW(imap.Connect(), ECertificateError);
                    continue;
                }
                imap.Connect();
                EXPECT_TRUE(imap.Secure());
                EXPECT_EQ(imap.Status().Messages, 1u);
                EXPECT_FALSE(imap.Capabilities().Has("STARTTLS"));
                imap.Disconnect();
            }
        }
    }
}

// Mail delivered while the connection is in IDLE reaches the callback; IDLE is renewed on the same
// connection; a network change makes a new connection; after the server is restarted under the
// connection, the supervisor reconnects and the next delivery arrives too.
TEST(ImapIntegration, PushSurvivesAServerRestart)
{
    DovecotFixture dovecot;
    dovecot.enableImap(1);
    dovecot.addUser("alice", "s3cret", {Message("Old")});
    dovecot.start();
    TImapIdle idle;
    Configure(*idle.Session(), dovecot.imapPort());
    std::vector<std::string> subjects;
    std::vector<std::string> errors;
    int idles = 0;
    idle.OnNewMail = [&](const std::vector<TImapSummary>& Fresh) {
        for (const TImapSummary& S : Fresh)
            subjects.push_back(S.Summary.Subject);
    };
    idle.OnError = [&](const std::string& Error, int) { errors.push_back(Error); };
    idle.OnIdle = [&](QObject*) { ++idles; };
    idle.RenewMs = 500;
    idle.Start();
    ASSERT_TRUE(waitUntil([&] { return idle.Idling(); }, 20000)) << dovecot.log();

    dovecot.deliver("alice", Message("First push"));
    ASSERT_TRUE(waitUntil([&] { return subjects.size() == 1; }, 20000)) << dovecot.log();
    EXPECT_EQ(subjects[0], " First push");
    const int renewed = idles;
    ASSERT_TRUE(waitUntil([&] { return idles >= renewed + 2; }, 20000));
    EXPECT_EQ(idle.Connections(), 1);
    idle.NetworkChanged();
    ASSERT_TRUE(waitUntil([&] { return idle.Connections() == 2 && idle.Idling(); }, 20000));
    EXPECT_TRUE(errors.empty()) << errors.front();

    dovecot.restart();
    ASSERT_TRUE(waitUntil([&] { return !errors.empty(); }, 20000));
    dovecot.deliver("alice", Message("After restart"));
    ASSERT_TRUE(waitUntil([&] { return subjects.size() == 2 && idle.Idling(); }, 30000)) << dovecot.log();
    EXPECT_EQ(subjects[1], " After restart");
    EXPECT_EQ(idle.Connections(), 3);
    EXPECT_EQ(subjects.size(), 2u);
    idle.Stop();
    EXPECT_FALSE(idle.Session()->Connected());
}
