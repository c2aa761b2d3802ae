// TextPrint: prints lines of plain text, one print document per copy.
#include "platform/TextPrint.h"

#include <QFont>
#include <QPrinter>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QAbstractTextDocumentLayout>
#include <QTextDocument>

namespace {

// Appends one copy of the lines; with `newPage` its first line starts a new page.
void appendCopy(QTextCursor& cursor, const QStringList& lines, bool newPage)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0 || newPage) {
            QTextBlockFormat format;
            if (i == 0)
                format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            cursor.insertBlock(format);
        }
        cursor.insertText(lines.at(i));
    }
}

} // namespace

void PrintTextCopies(QPrinter& printer, const QStringList& lines, const QFont& font, int copies)
{
    if (copies < 1)
        return;
    // The copies are made here, one document each; the printing system must not multiply them.
    printer.setCopyCount(1);
    const bool toFile = !printer.outputFileName().isEmpty();
    const int documents = toFile ? 1 : copies;
    const int copiesPerDocument = toFile ? copies : 1;
    for (int d = 0; d < documents; ++d) {
        QTextDocument document;
        document.setUndoRedoEnabled(false);
        // Laid out for the printer's own page, within a one-centimetre margin of its printable
        // area and without the page numbers Qt adds to a document laid out for the screen.
        document.documentLayout()->setPaintDevice(&printer);
        document.setDefaultFont(font);
        // (The layout scales its margins from 96 dots per inch to the printer's resolution.)
        document.setDocumentMargin(96 / 2.54);
        document.setPageSize(printer.pageRect(QPrinter::DevicePixel).size());
        QTextCursor cursor(&document);
        for (int c = 0; c < copiesPerDocument; ++c)
            appendCopy(cursor, lines, c > 0);
        document.print(&printer);
    }
}
