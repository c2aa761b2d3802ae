// SmtpFixture: an aiosmtpd server (smtp_sink.py, run with Debian's python3) on a free loopback
// port that stores every received message with its envelope in a temporary folder.
#include "SmtpFixture.h"
#include "TestCertificates.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <stdexcept>

namespace testsupport {

SmtpFixture::~SmtpFixture() { stop(); }

void SmtpFixture::start()
{
    if (proc_.state() != QProcess::NotRunning)
        return;
    proc_.setProcessChannelMode(QProcess::SeparateChannels);
    QStringList args{QStringLiteral(BREVICOR_SOURCE_DIR "/tests/support/smtp_sink.py"), dir_.path()};
    if (!certificate_.empty()) {
        const TestCertificates& certs = TestCertificates::get();
        args << "--tls" << certs.certFile(certificate_) << certs.keyFile();
    }
    proc_.start("/usr/bin/python3", args);
    if (!proc_.waitForStarted(10000))
        throw std::runtime_error("cannot start the SMTP server");
    QByteArray out;
    const int linesWanted = certificate_.empty() ? 1 : 2;
    while (out.count('\n') < linesWanted) {
        if (!proc_.waitForReadyRead(15000))
            throw std::runtime_error("SMTP server did not report its port: " + proc_.readAllStandardError().toStdString());
        out += proc_.readAllStandardOutput();
    }
    const QByteArray line = out.left(out.indexOf('\n')).trimmed();
    if (!line.startsWith("PORT "))
        throw std::runtime_error("unexpected SMTP server output: " + line.toStdString());
    port_ = quint16(line.mid(5).toUInt());
    tlsPort_ = 0;
    if (!certificate_.empty()) {
        const QByteArray second = out.split('\n').value(1).trimmed();
        if (!second.startsWith("TLSPORT "))
            throw std::runtime_error("unexpected SMTP server output: " + second.toStdString());
        tlsPort_ = quint16(second.mid(8).toUInt());
    }
}

void SmtpFixture::stop()
{
    if (proc_.state() == QProcess::NotRunning)
        return;
    proc_.terminate();
    if (!proc_.waitForFinished(5000)) {
        proc_.kill();
        proc_.waitForFinished(5000);
    }
}

std::vector<SmtpFixture::Received> SmtpFixture::messages() const
{
    std::vector<Received> result;
    const QStringList envelopes = QDir(dir_.path()).entryList({"msg-*.json"}, QDir::Files, QDir::Name);
    for (const QString& name : envelopes) {
        const QString base = dir_.file(name.left(name.size() - 5));
        const std::string json = readFileBytes(base + ".json");
        const QJsonObject env = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
        Received r;
        r.mailFrom = env.value("mail_from").toString().toStdString();
        for (const auto& v : env.value("rcpt_tos").toArray())
            r.rcptTos.push_back(v.toString().toStdString());
        r.file = base + ".eml";
        r.content = readFileBytes(r.file);
        result.push_back(std::move(r));
    }
    return result;
}

} // namespace testsupport
