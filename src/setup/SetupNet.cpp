// SetupNet: the waits and HTTPS requests of the account set-up, each with a time limit and able
// to be cancelled by the user while the event loop keeps running.
#include "setup/SetupNet.h"
#include "setup/FoundAccount.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QUrlQuery>

QList<QSslCertificate> TSetupControl::Authorities() const
{
    return CaFile.isEmpty() ? QList<QSslCertificate>() : QSslCertificate::fromPath(CaFile);
}

THttpsClient::THttpsClient(TSetupControl& Control)
    : FControl(Control), FManager(std::make_unique<QNetworkAccessManager>())
{
    FManager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

THttpsClient::~THttpsClient() = default;

THttpReply THttpsClient::Get(const QUrl& Url, int LimitMs)
{
    return Run(Url, nullptr, LimitMs);
}

THttpReply THttpsClient::PostForm(const QUrl& Url, const QList<std::pair<QString, QString>>& Fields, int LimitMs)
{
    QUrlQuery q;
    for (const auto& [k, v] : Fields)
        q.addQueryItem(QString::fromLatin1(QUrl::toPercentEncoding(k)), QString::fromLatin1(QUrl::toPercentEncoding(v)));
    const QByteArray body = q.toString(QUrl::FullyEncoded).toLatin1();
    return Run(Url, &body, LimitMs);
}

THttpReply THttpsClient::Run(const QUrl& Url, const QByteArray* FormBody, int LimitMs)
{
    THttpReply out;
    if (Url.scheme() != QLatin1String("https")) {
        out.Error = QStringLiteral("adresse non chiffrée refusée");
        return out;
    }
    QNetworkRequest request(Url);
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setProtocol(QSsl::TlsV1_2OrLater);
    const QList<QSslCertificate> authorities = FControl.Authorities();
    if (!authorities.isEmpty())
        ssl.setCaCertificates(authorities);
    request.setSslConfiguration(ssl);
    request.setTransferTimeout(LimitMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Brevicor"));
    request.setRawHeader("Accept", FormBody ? "application/json" : "*/*");
    QNetworkReply* reply;
    if (FormBody) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
        reply = FManager->post(request, *FormBody);
    } else {
        reply = FManager->get(request);
    }
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> owner(reply, [](QNetworkReply* r) {
        r->abort();
        r->deleteLater();
    });
    bool finished = false;
    QObject::connect(reply, &QNetworkReply::finished, reply, [&finished] { finished = true; });
    if (!FControl.WaitFor([&] { return finished; }, LimitMs + 500)) {
        out.TimedOut = true;
        out.Error = QStringLiteral("délai dépassé");
        return out;
    }
    out.Status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    out.Body = reply->readAll();
    if (reply->error() == QNetworkReply::OperationCanceledError || reply->error() == QNetworkReply::TimeoutError)
        out.TimedOut = true;
    if (out.Status == 0)
        out.Error = reply->errorString();
    return out;
}
