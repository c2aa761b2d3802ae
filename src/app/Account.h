// Account: one POP3 mail account as data, without any widget.
#pragma once
#include <QString>
#include <optional>

struct TAccount {
    // The account's stored section, also its name in the host list and in the alert lines: the
    // host name as typed, or "user@host" for a further account on a host that already has one.
    // Empty for an account never stored.
    QString Section;
    QString Host;
    QString Port = QStringLiteral("110"); // as typed; see PortNumber
    QString UserID;
    QString Password;

    // How the account is named to the user: its section, or its host when it has none.
    QString Name() const { return Section.isEmpty() ? Host : Section; }
    // Host, port, user and password are all filled in.
    bool Complete() const { return !Host.isEmpty() && !Port.isEmpty() && !UserID.isEmpty() && !Password.isEmpty(); }
    // The port as a decimal number from 1 to 65535; nothing when the text is not one.
    std::optional<int> PortNumber() const
    {
        bool ok = false;
        const int port = Port.trimmed().toInt(&ok, 10);
        if (!ok || port < 1 || port > 65535)
            return std::nullopt;
        return port;
    }
};
