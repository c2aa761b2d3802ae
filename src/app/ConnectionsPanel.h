// ConnectionsPanel: TConnectionsPanel, the network connections of the "Serveur" page: the list of
// dial-up entries and its buttons, the state of the line, dialing before a session, and the
// dial-up component's events told on the status bar.
#pragma once
#include "app/DialLine.h"

#include <QString>
#include <cstdint>

class QTabWidget;
class TDialUp;
class TServerPage;
class TStatusLine;
struct AppContext;

class TConnectionsPanel {
public:
    // page: the "Serveur" page, shown in pages when no entry is defined; status: where the dial-up
    // component's steps are told. The panel takes over the component's events.
    TConnectionsPanel(AppContext& context, TDialUp& dialUp, TServerPage& page, QTabWidget& pages, TStatusLine& status);

    bool LineWasUp = false; // a connection was already active when the last check began
    bool LineUp = false;    // the last enumeration found at least one active connection

    // Fills the page's list with the entries the dial-up service knows.
    void EnumerateDialUpEntries();
    // The entry a check dials: the selected one, empty when none is defined.
    QString SelectedDialUpEntry() const;
    // Says no entry is defined and brings the "Créer" button forward.
    void WarnNoDialUpEntry();
    // Makes sure a line is up (dialing the selected entry when none is); with no entry defined,
    // the warning of WarnNoDialUpEntry.
    TDialLine::TResult ConnectLine();
    // Quiet probe: records whether any connection is active (LineUp) without asking anything.
    bool ProbeLine();
    // Asks, for each active connection, whether to close it too.
    void OfferToCloseConnections();
    // Hangs up the connection the program itself opened.
    void HangUpLine();

    // The buttons of the page's connection group.
    void Button13Click(); // "Propriétés"
    void CreateBtnClick();
    void RenameBtnClick();
    void Poubelle7Click(); // delete the entry
    void UserBtnClick();
    void PWBtnClick();

private:
    void ConnectDialUpEvents();
    void ReportEditorRefusal(uint32_t code);
    // Asks for the user name or password of the selected entry, showing the stored one.
    void AskEntryDetail(const QString& prompt, bool secret, uint32_t (TDialUp::*get)(QString&),
                        uint32_t (TDialUp::*set)(const QString&));

    AppContext& context_;
    TDialUp& dialUp_;
    TServerPage& page_;
    QTabWidget& pages_;
    TStatusLine& status_;
};
