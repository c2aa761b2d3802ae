// TSocketSession: its TLS seam: starting TLS on the connection, and receiving and sending through
// the TLS transport.
#include "net/SockSession.h"
#include "net/TlsTransport.h"

#include <QSocketNotifier>

#include <cerrno>

bool TSocketSession::Secure() const
{
    return FTls && FTlsReady;
}

std::string TSocketSession::PeerFingerprint() const
{
    return Secure() ? FTls->PeerFingerprint() : std::string();
}

void TSocketSession::DropTls()
{
    FTls.reset();
    FTlsReady = false;
    FTlsClosed = false;
    FWriteWantsRead = false;
    FReadWantsWrite = false;
}

// Ends a TLS start that did not succeed: the connection is dropped without a word, since
// nothing more may be said on it in clear.
void TSocketSession::FailTls(const std::string& Message, bool Abandoned, TSockErrorKind Kind)
{
    StopTimer();
    FConnected = false;
    DropSocket();
    if (Abandoned)
        throw EAbortError(Message);
    throw ESockError(Message, Kind);
}

void TSocketSession::StartTls()
{
    Report(8, "Négociation TLS");
    if (!FConnected || FSocket < 0)
        throw ESockError("Connexion perdue", seConnectionLost);
    ReceiveBuffer.Clear();
    FReadHeld = false;
    FReadNotifier->setEnabled(false);
    FWriteNotifier->setEnabled(false);
    DropTls();
    try {
        FTls = NewTlsTransport(FSocket, Host, CaFile);
    } catch (const ESockError& E) {
        FailTls(E.what(), false, E.Kind());
    }

    StartTimer();
    FActivity.restart();
    std::uint64_t Moved = 0;
    for (;;) {
        const TTlsTransport::TResult Step = FTls->Handshake();
        if (FTls->RawBytes() != Moved) {
            Moved = FTls->RawBytes();
            FActivity.restart();
        }
        if (Step == TTlsTransport::Done)
            break;
        if (Step == TTlsTransport::Closed || Step == TTlsTransport::Failed)
            FailTls("Échec de la connexion chiffrée avec " + Host + " : " + FTls->Failure(), false);
        if (FTimedOut || DeadlinePassed())
            FailTls("La connexion chiffrée a dépassé le temps imparti", false, seTimedOut);
        if (FCanceled)
            FailTls("Connexion chiffrée annulée", true);
        if (IdleTimeOut > 0 && FActivity.elapsed() >= IdleTimeOut)
            FailTls("Délai d'attente dépassé", false, seTimedOut);
        (Step == TTlsTransport::WantRead ? FReadNotifier : FWriteNotifier)->setEnabled(true);
        WaitStep();
        // Something run during the wait closed the connection (a cancel's hook, a close).
        if (!FTls || FSocket < 0)
            FailTls(FCanceled ? "Connexion chiffrée annulée" : "Connexion perdue", FCanceled, seConnectionLost);
    }
    StopTimer();
    try {
        FTls->CheckCertificate(TrustedFingerprint);
    } catch (const ECertificateError&) {
        FConnected = false;
        DropSocket();
        throw;
    }
    FTlsReady = true;
    if (ReportLevel >= 2)
        ReportStatus(2, "Connexion chiffrée (" + FTls->Version() + ")");
    // The server may already have sent something that the library holds.
    PostMessage(ReceiveMore);
}

// A receive through TLS: as many decrypted bytes as the library gives without waiting, up to
// Size, so that nothing it holds is left behind unannounced. Returns like recv (0 after the end
// of the connection, -1 with Errno otherwise).
ssize_t TSocketSession::ReceiveTls(char* Space, std::size_t Size, int& Errno)
{
    Errno = EAGAIN;
    if (!FTlsReady || FTlsClosed)
        return -1;
    std::size_t Total = 0;
    while (Total < Size) {
        std::size_t Got = 0;
        const TTlsTransport::TResult Step = FTls->Read(Space + Total, Size - Total, Got);
        if (Step == TTlsTransport::Done) {
            Total += Got;
            continue;
        }
        if (Step == TTlsTransport::WantWrite) {
            FReadWantsWrite = true;
            ArmWrite();
        } else if (Step == TTlsTransport::Closed) {
            FTlsClosed = true;
        } else if (Step == TTlsTransport::Failed) {
            FTlsClosed = true;
            Errno = FTls->SystemError() != 0 ? FTls->SystemError() : ECONNRESET;
            if (Total == 0)
                return -1;
        }
        break;
    }
    if (Total > 0 || FTlsClosed)
        return static_cast<ssize_t>(Total);
    return -1;
}

// A send through TLS; returns like send.
ssize_t TSocketSession::SendTls(const char* From, std::size_t Length, int& Errno)
{
    Errno = EAGAIN;
    if (!FTlsReady)
        return -1;
    std::size_t Sent = 0;
    switch (FTls->Write(From, Length, Sent)) {
    case TTlsTransport::Done:
        return static_cast<ssize_t>(Sent);
    case TTlsTransport::WantRead:
        FWriteWantsRead = true;
        return -1;
    case TTlsTransport::WantWrite:
        return -1;
    default:
        FTlsClosed = true;
        Errno = FTls->SystemError() != 0 && FTls->SystemError() != EAGAIN ? FTls->SystemError() : EPIPE;
        return -1;
    }
}
