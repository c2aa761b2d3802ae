// Unit1Help: help, About, the author's pages and the start with the desktop session.
#include "app/Unit1.h"

#include "app/Application.h"
#include "app/sabout.h"
#include "platform/Autostart.h"
#include "platform/Dialogs.h"
#include "platform/HelpViewer.h"
#include "platform/Launcher.h"

#include <QCheckBox>
#include <QFileInfo>

namespace {

const QString kHelpFile = QStringLiteral("BREVICOR.HLP");
const QString kCatalogueFile = QStringLiteral("SORTILO.HLP");
// A local page that only serves to find the program the desktop shows web pages with.
const QString kBrowserProbe = QStringLiteral("lumo.htm");

} // namespace

QString TForm1::HomePage()
{
    return QStringLiteral("https://brevicor.example.org/");
}

void TForm1::HelpBtnClick()
{
    context_.help->ShowContents(Application().HelpFile);
}

void TForm1::AboutBtnClick()
{
    if (AboutBox)
        AboutBox->exec();
}

void TForm1::KatalBtnClick()
{
    // The catalogue is shown as the application's help file for a moment; "Aide" must find the
    // program's own help afterwards, whatever happens.
    struct RestoreHelpFile {
        QString file;
        ~RestoreHelpFile() { Application().HelpFile = file; }
    } restore{ProgramDir + kHelpFile};
    Application().HelpFile = ProgramDir + kCatalogueFile;
    context_.help->ShowContents(Application().HelpFile);
}

void TForm1::WebBtnClick()
{
    OpenInBrowser(HomePage());
}

void TForm1::OpenInBrowser(const QString& argument)
{
    if (!QFileInfo(ProgramDir + kBrowserProbe).isFile()) {
        context_.dialogs->Message(QStringLiteral("Le fichier lumo.HTM est introuvable."), MessageIcon::Error);
        return;
    }
    const DefaultProgram browser = context_.launcher->DefaultProgramFor(QStringLiteral("text/html"));
    switch (browser.status) {
    case DefaultProgram::Status::Found:
        // The browser is started with the address and left to run; its outcome is not awaited.
        context_.launcher->StartDetached(ExpandDesktopExec(browser.exec, argument));
        return;
    case DefaultProgram::Status::OutOfResources:
        context_.dialogs->Message(QStringLiteral("Ressources insuffisantes."), MessageIcon::Error);
        return;
    case DefaultProgram::Status::NotFound:
        break;
    }
    context_.dialogs->Message(QStringLiteral("Navigateur internet introuvable."), MessageIcon::Error);
}

void TForm1::WinStartClick()
{
    if (Server->WinStart->isChecked())
        context_.autostart->Register(Application().Title, context_.paths.programFile);
    else
        context_.autostart->Unregister(Application().Title);
}
