// FoundAccount: what the account set-up found for an address (servers, ports, security, sign-in,
// user names) and the errors it raises.
#include "setup/FoundAccount.h"

QString TFoundServer::Describe() const
{
    static const char* const protocols[] = {"POP3", "IMAP", "SMTP"};
    const char* security = Security == secTls ? "TLS" : Security == secStartTls ? "STARTTLS" : "sans chiffrement";
    return QStringLiteral("%1:%2 (%3, %4)").arg(Host).arg(Port).arg(protocols[Protocol], security);
}

bool SplitAddress(const QString& Address, QString& LocalPart, QString& Domain)
{
    const QString a = Address.trimmed();
    const int at = a.lastIndexOf('@');
    if (at <= 0 || at == a.size() - 1)
        return false;
    const QString domain = a.mid(at + 1).toLower();
    // A domain is dot-separated labels of letters, digits and hyphens (IDN given in ASCII form or
    // as Unicode letters); anything else would end up in host names and URLs.
    if (domain.startsWith('.') || domain.endsWith('.') || domain.contains("..") || !domain.contains('.'))
        return false;
    for (const QChar c : domain)
        if (!(c.isLetterOrNumber() || c == '-' || c == '.'))
            return false;
    for (const QChar c : a.left(at))
        if (c.isSpace() || c.unicode() < 0x20)
            return false;
    LocalPart = a.left(at);
    Domain = domain;
    return true;
}

QString ExpandUserName(const QString& Pattern, const QString& Address)
{
    QString local, domain;
    SplitAddress(Address, local, domain);
    QString out = Pattern;
    out.replace("%EMAILADDRESS%", Address.trimmed(), Qt::CaseInsensitive);
    out.replace("%EMAILLOCALPART%", local, Qt::CaseInsensitive);
    out.replace("%EMAILDOMAIN%", domain, Qt::CaseInsensitive);
    return out;
}
