// TextPrint: prints lines of plain text, one print document per copy.
#pragma once
#include <QStringList>

class QFont;
class QPrinter;

// Prints the lines with the font, `copies` times. Each copy is its own print document, so each
// starts on a new sheet; long lines are wrapped to the page width and pages follow as needed.
// When the printer writes to a file (PDF), every copy goes into that one file, each from a new
// page, since a second document would replace the first. The printer's own copy count is set to 1.
void PrintTextCopies(QPrinter& printer, const QStringList& lines, const QFont& font, int copies);
