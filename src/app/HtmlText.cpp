// HtmlText: an HTML mail body as plain text, without loading anything it refers to.
#include "app/HtmlText.h"

#include <QStringList>
#include <algorithm>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <QUrl>
#include <QVariant>

namespace {

// A document that never loads a resource: images, style sheets and the like stay empty, so a mail
// cannot make the program fetch anything or read local files.
class OfflineDocument : public QTextDocument {
protected:
    QVariant loadResource(int, const QUrl&) override { return QVariant(); }
};

// The address a link shows to the reader; empty for links not worth showing (anchors, scripts).
QString shownAddress(const QString& href)
{
    const QUrl url(href);
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("mailto"))
        return url.path();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("ftp"))
        return href;
    return QString();
}

// The text of one block, links followed by their address.
QString blockText(const QTextBlock& block)
{
    QString text;
    QString href;     // the link being read
    QString linkText; // its text so far
    const auto endLink = [&] {
        const QString address = shownAddress(href);
        if (!address.isEmpty() && linkText.trimmed() != address)
            text += QStringLiteral(" <") + address + QLatin1Char('>');
        href.clear();
        linkText.clear();
    };
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        QString piece = fragment.text();
        piece.remove(QChar::ObjectReplacementCharacter); // images
        const QTextCharFormat format = fragment.charFormat();
        const QString fragmentHref = format.isAnchor() ? format.anchorHref() : QString();
        if (fragmentHref != href && !href.isEmpty())
            endLink();
        href = fragmentHref;
        if (!href.isEmpty())
            linkText += piece;
        text += piece;
    }
    if (!href.isEmpty())
        endLink();
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    text.replace(QChar::Nbsp, QLatin1Char(' '));
    return text;
}

// The mark of a list item: "1. " for numbered lists, "• " for the others, indented by depth.
QString itemMark(const QTextBlock& block)
{
    QTextList* list = block.textList();
    if (!list)
        return QString();
    const QString indent(2 * std::max(0, list->format().indent() - 1), QLatin1Char(' '));
    const QTextListFormat::Style style = list->format().style();
    const bool numbered = style == QTextListFormat::ListDecimal || style == QTextListFormat::ListLowerAlpha
                          || style == QTextListFormat::ListUpperAlpha || style == QTextListFormat::ListLowerRoman
                          || style == QTextListFormat::ListUpperRoman;
    return indent + (numbered ? list->itemText(block) + QLatin1Char(' ') : QStringLiteral("• "));
}

} // namespace

QString HtmlToText(const QString& html)
{
    OfflineDocument document;
    document.setHtml(html);

    QStringList lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QString text = blockText(block);
        const bool spaced = block.blockFormat().topMargin() > 0 && !block.textList();
        if (spaced && !lines.isEmpty() && !lines.last().isEmpty())
            lines << QString();
        // Quoted text (a blockquote) keeps its quoting marks, as in a text mail.
        // Nested blockquotes share one level mark; each adds its 40-pixel indent.
        const QTextBlockFormat format = block.blockFormat();
        const int quoteLevel = format.intProperty(QTextFormat::BlockQuoteLevel) > 0
                                   ? std::max(format.intProperty(QTextFormat::BlockQuoteLevel), qRound(format.leftMargin() / 40))
                                   : 0;
        const QString quote = quoteLevel > 0 ? QString(quoteLevel, QLatin1Char('>')) + QLatin1Char(' ') : QString();
        const QStringList blockLines = text.split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < blockLines.size(); ++i)
            lines << quote + (i == 0 && !blockLines[i].isEmpty() ? itemMark(block) + blockLines[i] : blockLines[i]);
        if (block.blockFormat().bottomMargin() > 0 && !block.textList() && !text.trimmed().isEmpty())
            lines << QString();
    }

    // No runs of empty lines, none at either end; trailing blanks go.
    QStringList out;
    for (QString line : lines) {
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        if (line.isEmpty() && (out.isEmpty() || out.last().isEmpty()))
            continue;
        out << line;
    }
    while (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    return out.join(QLatin1Char('\n'));
}
