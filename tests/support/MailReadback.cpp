// Runs mail_readback.py on a stored message and returns what it read.
#include "MailReadback.h"

#include "TestDirs.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <stdexcept>

namespace testsupport {

namespace {

std::vector<ReadBackMessage::Mailbox> mailboxes(const QJsonValue& Value)
{
    std::vector<ReadBackMessage::Mailbox> out;
    for (const auto& m : Value.toArray())
        out.emplace_back(m.toArray().at(0).toString().toStdString(), m.toArray().at(1).toString().toStdString());
    return out;
}

} // namespace

ReadBackMessage readBackMessage(const QString& File, const QString& OutDir)
{
    QProcess proc;
    proc.start("/usr/bin/python3", {QStringLiteral(BREVICOR_SOURCE_DIR "/tests/support/mail_readback.py"), File, OutDir});
    if (!proc.waitForFinished(60000) || proc.exitCode() != 0)
        throw std::runtime_error("mail_readback.py failed: " + proc.readAllStandardError().toStdString());
    const QJsonObject doc = QJsonDocument::fromJson(proc.readAllStandardOutput()).object();
    ReadBackMessage m;
    m.subject = doc.value("subject").toString().toStdString();
    m.from = mailboxes(doc.value("from"));
    m.to = mailboxes(doc.value("to"));
    m.cc = mailboxes(doc.value("cc"));
    m.dateOk = doc.value("date_ok").toBool();
    m.messageId = doc.value("message_id").toString().toStdString();
    m.inReplyTo = doc.value("in_reply_to").toString().toStdString();
    m.references = doc.value("references").toString().toStdString();
    m.hasBody = !doc.value("body").isNull();
    m.body = doc.value("body").toString().toStdString();
    for (const auto& a : doc.value("attachments").toArray())
        m.attachments.emplace_back(a.toObject().value("filename").toString().toStdString(),
                                   readFileBytes(a.toObject().value("file").toString()));
    for (const auto& d : doc.value("defects").toArray())
        m.defects.push_back(d.toString().toStdString());
    return m;
}

} // namespace testsupport
