// ReplyText: the fields of an answer to a received message: recipients, subject, the identifiers
// that thread it, and the quoted original text.
#include "mail/ReplyText.h"

#include "mail/HeaderText.h"
#include "mail/KTpop3.h"

#include <QRegularExpression>
#include <QStringList>
#include <vector>

namespace {

// The identifiers in angle brackets of a value, in order.
std::vector<std::string> identifiers(const std::string& value)
{
    std::vector<std::string> ids;
    for (size_t open = value.find('<'); open != std::string::npos; open = value.find('<', open + 1)) {
        const size_t close = value.find('>', open);
        if (close == std::string::npos)
            break;
        std::string id = value.substr(open, close - open + 1);
        if (id.find_first_of(" \t\r\n<", 1) == std::string::npos && id.size() > 2)
            ids.push_back(std::move(id));
        open = close;
    }
    return ids;
}

// How many identifiers References keeps at most: the thread's first and the latest ones.
constexpr size_t kMaxReferences = 10;

} // namespace

QString ReplySubject(const QString& subject)
{
    static const QRegularExpression already(QStringLiteral("^re\\s*:"), QRegularExpression::CaseInsensitiveOption);
    const QString text = subject.trimmed();
    if (already.match(text).hasMatch())
        return text;
    return QStringLiteral("Re: ") + text;
}

QString QuoteText(const QString& text)
{
    QStringList out;
    for (const QString& line : text.split(QLatin1Char('\n')))
        out << (line.isEmpty() ? QStringLiteral(">") : QStringLiteral("> ") + line);
    return out.join(QLatin1Char('\n'));
}

std::string MessageIdOf(const std::string& value)
{
    const std::vector<std::string> ids = identifiers(value);
    return ids.empty() ? std::string() : ids.front();
}

std::string ReplyReferences(const std::string& references, const std::string& inReplyTo, const std::string& messageId)
{
    const std::string id = MessageIdOf(messageId);
    if (id.empty())
        return std::string();
    std::vector<std::string> chain = identifiers(references);
    if (chain.empty()) {
        const std::vector<std::string> parent = identifiers(inReplyTo);
        if (parent.size() == 1)
            chain = parent;
    }
    if (chain.empty() || chain.back() != id)
        chain.push_back(id);
    if (chain.size() > kMaxReferences)
        chain.erase(chain.begin() + 1, chain.end() - (kMaxReferences - 1));
    std::string out;
    for (const std::string& ref : chain)
        out += (out.empty() ? "" : " ") + ref;
    return out;
}

TReply MakeReply(const TMailMessage& original, const QString& bodyText)
{
    const std::vector<std::string> header = UnfoldHeader(original.Header);
    TReply reply;
    bool hasReplyTo = false;
    const std::string replyTo = HeaderValue(header, "Reply-To", &hasReplyTo);
    const std::string from = HeaderValue(header, "From");
    QStringList to = hasReplyTo ? AddressesOf(replyTo) : QStringList();
    if (to.isEmpty())
        to = AddressesOf(from);
    reply.To = to.join(QStringLiteral(", "));
    reply.Subject = ReplySubject(DecodeHeaderText(HeaderValue(header, "Subject")));

    const std::string messageId = HeaderValue(header, "Message-ID");
    reply.InReplyTo = MessageIdOf(messageId);
    reply.References = ReplyReferences(HeaderValue(header, "References"), HeaderValue(header, "In-Reply-To"), messageId);

    // Who wrote, and when when the message says so in a form that can be read.
    const QString sender = DecodeHeaderText(from).trimmed();
    const std::string date = HeaderValue(header, "Date");
    const QString wrote = MailDate(date).isValid()
                              ? QStringLiteral("Le %1, %2 a écrit :").arg(DisplayDate(date), sender)
                              : QStringLiteral("%1 a écrit :").arg(sender);
    reply.Body = QStringLiteral("\n\n") + wrote + QLatin1Char('\n') + QuoteText(bodyText);
    return reply;
}
