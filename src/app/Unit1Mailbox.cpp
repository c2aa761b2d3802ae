// Unit1Mailbox: the message list and reading pages: printing, replying, the usual mail program.
#include "app/Unit1.h"

#include "app/Application.h"
#include "platform/Dialogs.h"
#include "platform/Launcher.h"
#include "platform/TextPrint.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrinter>

namespace {

// The lines of a memo as the user sees them (one per paragraph).
QStringList memoLines(const QPlainTextEdit* memo)
{
    if (memo->document()->isEmpty())
        return {};
    return memo->toPlainText().split('\n');
}

} // namespace

QString TForm1::ExtractAngleAddress(const QString& s)
{
    QString address;
    bool taking = false;
    for (const QChar c : s) {
        if (c == '>')
            break;
        if (taking)
            address += c;
        else if (c == '<')
            taking = true;
    }
    return address;
}

void TForm1::Button8Click()
{
    NewBtnClick();
    ComboBox107->setEditText(ExtractAngleAddress(Edit6->text()));
    ShowPage(TabSheet102);
}

void TForm1::Button4Click()
{
    const DefaultProgram mail = context_.launcher->DefaultProgramFor(QStringLiteral("x-scheme-handler/mailto"));
    if (!mail.found()) {
        context_.dialogs->Message(QStringLiteral("Votre programme de messagerie n'a pas été trouvé"),
                                  MessageIcon::Warning, QStringLiteral("Avertissement"));
        return;
    }
    // Started without an address, as from its own icon; whether it starts is not examined.
    context_.launcher->StartDetached(ExpandDesktopExec(mail.exec, QString()));
}

void TForm1::PrintBtnClick()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setCopyCount(1);
    if (!context_.dialogs->ChoosePrinter(printer))
        return;
    CursorGuard cursor;
    printer.setDocName(Application().Title);
    const int copies = printer.copyCount();

    // A copy: two blank lines, the header lines, two blank lines, the body lines, every text
    // line indented by a tab.
    const QString blank = QStringLiteral(" ");
    QStringList lines{blank, blank};
    for (const QString& line : memoLines(Memo2))
        lines << '\t' + line;
    lines << blank << blank;
    for (const QString& line : memoLines(Memo1))
        lines << '\t' + line;

    QFont font = Memo2->font();
    font.setPointSize(10);
    PrintTextCopies(printer, lines, font, copies);
}
