// HelpPanel: THelpPanel, the program's own group of the "Serveur" page: the help, the catalogue,
// the About box, the author's home page in the web browser, and the start with the desktop session.
#pragma once
#include <QString>

class TAboutBox;
class TServerPage;
struct AppContext;

class THelpPanel {
public:
    THelpPanel(AppContext& context, TServerPage& page);

    TAboutBox* AboutBox = nullptr; // the About box, set when the windows are created
    static QString HomePage();     // the author's home page

    void HelpBtnClick();
    void AboutBtnClick();
    void KatalBtnClick(); // the catalogue, shown as a help file
    void WebBtnClick();
    // Opens an address in the web browser: the program that shows "lumo.htm" of the program folder.
    void OpenInBrowser(const QString& argument);
    // The program starts with the desktop session as the page's box says.
    void WinStartClick();

private:
    AppContext& context_;
    TServerPage& page_;
};
