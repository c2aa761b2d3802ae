// HelpPanel: help, About, the author's pages and the start with the desktop session.
#include "app/HelpPanel.h"

#include "app/AppContext.h"
#include "app/Application.h"
#include "app/ServerPage.h"
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

THelpPanel::THelpPanel(AppContext& context, TServerPage& page) : context_(context), page_(page) {}

QString THelpPanel::HomePage()
{
    return QStringLiteral("https://brevicor.example.org/");
}

void THelpPanel::HelpBtnClick()
{
    context_.help->ShowContents(Application().HelpFile);
}

void THelpPanel::AboutBtnClick()
{
    if (AboutBox)
        AboutBox->exec();
}

void THelpPanel::KatalBtnClick()
{
    // The catalogue is shown as the application's help file for a moment; "Aide" must find the
    // program's own help afterwards, whatever happens.
    struct RestoreHelpFile {
        QString file;
        ~RestoreHelpFile() { Application().HelpFile = file; }
    } restore{context_.paths.dataDir + kHelpFile};
    Application().HelpFile = context_.paths.dataDir + kCatalogueFile;
    context_.help->ShowContents(Application().HelpFile);
}

void THelpPanel::WebBtnClick()
{
    OpenInBrowser(HomePage());
}

void THelpPanel::OpenInBrowser(const QString& argument)
{
    if (!QFileInfo(context_.paths.dataDir + kBrowserProbe).isFile()) {
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

void THelpPanel::WinStartClick()
{
    if (page_.WinStart->isChecked())
        context_.autostart->Register(Application().Title, context_.paths.programFile);
    else
        context_.autostart->Unregister(Application().Title);
}
