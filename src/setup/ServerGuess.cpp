// ServerGuess: the last resort of the search, the usual server names of a domain (imap., pop.,
// pop3., mail., smtp.) on the usual ports, TLS first, kept when a connection is accepted.
#include "setup/ServerGuess.h"

#include <QTcpSocket>
#include <memory>

std::vector<TFoundServer> TServerGuess::Candidates(const QString& Domain)
{
    struct TGuess {
        TFoundServer::TProtocol Protocol;
        const char* Prefix;
        int Port;
        TSecurity Security;
    };
    static const TGuess guesses[] = {
        {TFoundServer::Imap, "imap.", 993, secTls},      {TFoundServer::Imap, "mail.", 993, secTls},
        {TFoundServer::Imap, "imap.", 143, secStartTls}, {TFoundServer::Imap, "mail.", 143, secStartTls},
        {TFoundServer::Pop3, "pop.", 995, secTls},       {TFoundServer::Pop3, "pop3.", 995, secTls},
        {TFoundServer::Pop3, "mail.", 995, secTls},      {TFoundServer::Pop3, "pop.", 110, secStartTls},
        {TFoundServer::Pop3, "pop3.", 110, secStartTls}, {TFoundServer::Pop3, "mail.", 110, secStartTls},
        {TFoundServer::Smtp, "smtp.", 465, secTls},      {TFoundServer::Smtp, "mail.", 465, secTls},
        {TFoundServer::Smtp, "smtp.", 587, secStartTls}, {TFoundServer::Smtp, "mail.", 587, secStartTls},
    };
    std::vector<TFoundServer> out;
    for (const TGuess& g : guesses) {
        TFoundServer s;
        s.Protocol = g.Protocol;
        s.Host = QString::fromLatin1(g.Prefix) + Domain;
        s.Port = g.Port;
        s.Security = g.Security;
        out.push_back(s);
    }
    return out;
}

std::optional<TFoundAccount> TServerGuess::Find(const QString& Domain, const QString& Address, QStringList& Tried)
{
    // All connections at once; the preferred one that answered wins for each protocol.
    const std::vector<TFoundServer> candidates = Candidates(Domain);
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    std::vector<int> state(candidates.size(), 0); // 0 waiting, 1 connected, -1 failed
    for (size_t i = 0; i < candidates.size(); ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        QObject::connect(socket.get(), &QTcpSocket::connected, [&state, i] { state[i] = 1; });
        QObject::connect(socket.get(), &QTcpSocket::errorOccurred, [&state, i] {
            if (state[i] == 0)
                state[i] = -1;
        });
        socket->connectToHost(candidates[i].Host, quint16(candidates[i].Port));
        sockets.push_back(std::move(socket));
    }
    // Done once, for each protocol, the most preferred candidate not yet failed has connected.
    auto settled = [&] {
        for (auto p : {TFoundServer::Imap, TFoundServer::Pop3, TFoundServer::Smtp})
            for (size_t i = 0; i < candidates.size(); ++i)
                if (candidates[i].Protocol == p && state[i] != -1) {
                    if (state[i] == 0)
                        return false;
                    break;
                }
        return true;
    };
    FControl.WaitFor(settled, LimitMs);
    TFoundServer imap, pop3, smtp;
    QStringList answered;
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (state[i] != 1)
            continue;
        TFoundServer s = candidates[i];
        s.UserName = Address.trimmed();
        TFoundServer& slot = s.Protocol == TFoundServer::Imap ? imap : s.Protocol == TFoundServer::Pop3 ? pop3 : smtp;
        if (!slot.Valid()) {
            slot = s;
            answered << s.Describe();
        }
    }
    for (auto& s : sockets)
        s->abort();
    Tried << QStringLiteral("noms habituels (imap., pop., pop3., mail., smtp.%1) : %2")
                 .arg(Domain, answered.isEmpty() ? QStringLiteral("aucune réponse") : answered.join(", "));
    if (!smtp.Valid() || !(imap.Valid() || pop3.Valid()))
        return std::nullopt;
    TFoundAccount a;
    a.Address = Address.trimmed();
    a.Source = TFoundSource::Guess;
    a.Incoming = imap.Valid() ? imap : pop3;
    a.Alternative = imap.Valid() ? pop3 : TFoundServer();
    a.Outgoing = smtp;
    return a;
}
