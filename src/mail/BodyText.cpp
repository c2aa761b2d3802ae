// BodyText: the body of a received message as the text the reader shows: converted from its
// charset, format=flowed paragraphs joined, HTML turned into text, extracted files noted.
#include "mail/BodyText.h"

#include "mail/KTpop3.h"
#include "mail/MailCharset.h"

#include <QStringList>

namespace {

QString withUnixLineEnds(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

QString JoinFlowed(const QString& text, bool delSp)
{
    QStringList out;
    QString paragraph;
    int depth = 0;
    bool open = false; // the paragraph's last line was flowed: the next line of its depth joins it

    const auto flush = [&] {
        out << (depth > 0 ? QString(depth, QLatin1Char('>')) + QLatin1Char(' ') + paragraph : paragraph);
        paragraph.clear();
        open = false;
    };

    for (const QString& line : text.split(QLatin1Char('\n'))) {
        int lineDepth = 0;
        while (lineDepth < line.size() && line.at(lineDepth) == QLatin1Char('>'))
            ++lineDepth;
        QString content = line.mid(lineDepth);
        if (content.startsWith(QLatin1Char(' ')))
            content.remove(0, 1); // space-stuffing
        const bool signature = content == QLatin1String("-- ");
        const bool flowed = !signature && content.endsWith(QLatin1Char(' '));
        if (flowed && delSp)
            content.chop(1);
        if (open && lineDepth != depth)
            flush(); // a flowed line followed by another quoting depth ends its paragraph
        if (!open)
            depth = lineDepth;
        paragraph += content;
        open = flowed;
        if (!flowed)
            flush();
    }
    if (open)
        flush();
    return out.join(QLatin1Char('\n'));
}

QString BodyDisplayText(const TMailMessage& message, const THtmlToText& htmlToText, bool fileNotes)
{
    std::string block;
    bool first = true;
    for (const std::string& entry : message.Body) {
        if (!first)
            block += '\n';
        block += entry;
        first = false;
    }
    QStringList out;
    if (!message.Body.Empty()) {
        QString text = withUnixLineEnds(DecodeCharset(block, message.BodyCharset));
        if (message.BodyIsHtml && htmlToText)
            text = htmlToText(text);
        else if (message.BodyFlowed)
            text = JoinFlowed(text, message.BodyDelSp);
        out << text;
    }
    if (fileNotes)
        for (const TReceivedFile& file : message.Files)
            out << QString() << FileNote(file);
    return out.join(QLatin1Char('\n'));
}

QString FileNote(const TReceivedFile& file)
{
    return QStringLiteral("Fichier \"") + QString::fromUtf8(file.Name) + QStringLiteral("\" extrait");
}
