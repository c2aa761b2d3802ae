// MailFixtures: the main window with mail servers behind it: a private Dovecot POP3 server, an
// SMTP server that stores what it receives, and an in-memory dial-up line.
#pragma once
#include "AppFixture.h"
#include "DovecotFixture.h"
#include "SmtpFixture.h"
#include "platform/FakeDialService.h"

#include <QDir>
#include <memory>
#include <string>
#include <vector>

class MailAppFixture : public AppFixture {
protected:
    static constexpr const char* kUser = "alice";
    static constexpr const char* kPassword = "s3cret";
    static constexpr const char* kEntry = "Ligne test";

    testsupport::DovecotFixture dovecot;
    testsupport::SmtpFixture smtp;
    // The dial-up service of the running main window (owned by its dial-up component); set by
    // start() after useFakeDialService().
    FakeDialService* dial = nullptr;

    // Files the POP3 component writes go to the working folder: the test's folder.
    MailAppFixture() : previousFolder_(QDir::currentPath()) { QDir::setCurrent(folder.path()); }
    ~MailAppFixture() override
    {
        stop();
        QDir::setCurrent(previousFolder_);
    }

    // The main window's dial-up component gets an in-memory service with one entry, kEntry; with
    // lineUp that entry is already connected, so ConnectLine finds the line up and dials nothing.
    // Call before start().
    void useFakeDialService(bool lineUp = true)
    {
        context.makeDialService = [this, lineUp] {
            auto service = std::make_unique<FakeDialService>();
            FakeDialService::Entry entry;
            entry.Name = kEntry;
            service->Entries.push_back(entry);
            if (lineUp) {
                ActiveConnection c;
                c.Handle = service->NextHandle++;
                c.State = DialState::Connected;
                c.EntryName = entry.Name;
                c.DeviceType = entry.DeviceType;
                c.DeviceName = entry.DeviceName;
                service->Active.push_back(c);
            }
            dial = service.get();
            return std::unique_ptr<DialService>(std::move(service));
        };
    }

    // Starts the POP3 server with the mailbox of kUser holding the messages (message 1 first).
    void startPop3(const std::vector<std::string>& messages)
    {
        dovecot.addUser(kUser, kPassword, messages);
        dovecot.start();
    }

    // Shows the POP3 server's account on the "Serveur" page.
    void enterAccount(TForm1& f)
    {
        f.Server->HostCombo->setEditText(QStringLiteral("127.0.0.1"));
        f.Server->Edit2->setText(QString::number(dovecot.port()));
        f.Server->Edit3->setText(QString::fromLatin1(kUser));
        f.Server->Edit4->setText(QString::fromLatin1(kPassword));
    }

    // A plain text message; header values are bytes as they go on the wire.
    static std::string textMessage(const std::string& from, const std::string& subject, const std::string& body,
                                   const std::string& messageId = "<m@brevicor.test>")
    {
        return "From: " + from + "\r\nTo: alice@brevicor.test\r\nSubject: " + subject
               + "\r\nMessage-ID: " + messageId + "\r\nDate: Mon, 6 May 2024 10:00:00 +0200\r\n\r\n" + body;
    }

private:
    QString previousFolder_;
};
