// SecurityMismatch: after a failed session, whether the server speaks TLS from the first byte or
// clear text on the account's port, when that is not what the account's security setting expects.
#include "app/SecurityMismatch.h"

#include <QSslSocket>
#include <QTcpSocket>

TPortTalk ProbePortTalk(const QString& Host, int Port, int LimitMs)
{
    {
        // A server that talks first in clear text greets at once (POP3 "+OK", SMTP "220").
        QTcpSocket plain;
        plain.connectToHost(Host, quint16(Port));
        if (!plain.waitForConnected(LimitMs))
            return TPortTalk::Unknown;
        if (plain.waitForReadyRead(LimitMs) && plain.bytesAvailable() > 0) {
            const QByteArray first = plain.peek(3);
            // A TLS record starts with a content-type byte (20 to 24) and version 3.x.
            if (first.size() >= 2 && uchar(first[0]) >= 20 && uchar(first[0]) <= 24 && first[1] == 3)
                return TPortTalk::Tls;
            return TPortTalk::Clear;
        }
    }
    if (!QSslSocket::supportsSsl())
        return TPortTalk::Unknown;
    // Silent: it may be waiting for a TLS hello.
    QSslSocket tls;
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    tls.connectToHostEncrypted(Host, quint16(Port));
    return tls.waitForEncrypted(LimitMs) ? TPortTalk::Tls : TPortTalk::Unknown;
}

QString SecurityMismatchText(TSecurity Chosen, TPortTalk Talk, int Port)
{
    if (Chosen == secTls && Talk == TPortTalk::Clear)
        return QStringLiteral("le serveur répond en clair sur le port %1 : ce port attend STARTTLS ou aucune "
                              "sécurité, pas SSL/TLS")
            .arg(Port);
    if (Chosen != secTls && Talk == TPortTalk::Tls)
        return QStringLiteral("le serveur attend une connexion chiffrée dès l'ouverture sur le port %1 : "
                              "choisissez SSL/TLS")
            .arg(Port);
    return QString();
}
