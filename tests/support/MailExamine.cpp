// Runs mail_examine.py (Python's email package) on a stored message, for checking what the
// mail layer produced or decoded against an independent parser.
#include "MailExamine.h"

#include "TestDirs.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <stdexcept>

namespace testsupport {

std::string InspectedMessage::header(const std::string& Name) const
{
    for (const auto& [k, v] : headers)
        if (QString::fromStdString(k).compare(QString::fromStdString(Name), Qt::CaseInsensitive) == 0)
            return v;
    return {};
}

int InspectedMessage::headerCount(const std::string& Name) const
{
    int n = 0;
    for (const auto& h : headers)
        if (QString::fromStdString(h.first).compare(QString::fromStdString(Name), Qt::CaseInsensitive) == 0)
            ++n;
    return n;
}

InspectedMessage inspectMessage(const QString& File, const QString& OutDir)
{
    QProcess proc;
    proc.start("/usr/bin/python3", {QStringLiteral(BREVICOR_SOURCE_DIR "/tests/support/mail_examine.py"), File, OutDir});
    if (!proc.waitForFinished(60000) || proc.exitCode() != 0)
        throw std::runtime_error("mail_examine.py failed: " + proc.readAllStandardError().toStdString());
    const QJsonObject doc = QJsonDocument::fromJson(proc.readAllStandardOutput()).object();
    InspectedMessage m;
    for (const auto& h : doc.value("headers").toArray())
        m.headers.emplace_back(h.toArray().at(0).toString().toStdString(), h.toArray().at(1).toString().toStdString());
    m.isMultipart = doc.value("is_multipart").toBool();
    for (const auto& d : doc.value("defects").toArray())
        m.defects.push_back(d.toString().toStdString());
    for (const auto& pv : doc.value("parts").toArray()) {
        const QJsonObject p = pv.toObject();
        InspectedPart part;
        part.contentType = p.value("content_type").toString().toStdString();
        part.transferEncoding = p.value("transfer_encoding").toString().toStdString();
        part.filename = p.value("filename").toString().toStdString();
        part.payload = readFileBytes(p.value("payload_file").toString());
        m.parts.push_back(std::move(part));
    }
    return m;
}

} // namespace testsupport
