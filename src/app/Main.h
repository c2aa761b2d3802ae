// Main: THiddenForm, the invisible application window; it owns the tray icon and its menu, and
// the program ends when it closes.
#pragma once
#include <QWidget>

class QAction;
class QMenu;
class TForm1;
class TAlert;
class TTrayIcon;

class THiddenForm : public QWidget {
    Q_OBJECT
public:
    THiddenForm();
    ~THiddenForm() override;

    // Set once the other windows exist.
    void SetWindows(TForm1* form1, TAlert* alert) { form1_ = form1; alert_ = alert; }

    TTrayIcon* TrayIcon1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Test11 = nullptr;       // "&Montrer la fenêtre" / "&Cacher la fenêtre"
    QAction* AlertWindow = nullptr;  // "&Messages en attente..." (not visible)
    QAction* MnuVerif = nullptr;     // "&Vérifier les messages maintenant"
    QAction* MnuCancel = nullptr;    // "Annuler": stops the running check or transfer
    QAction* N1 = nullptr;           // separator
    QAction* Test31 = nullptr;       // "&Quitter"

    void FormCreate();
    // Shown by the event loop when it starts: decides whether the main window appears.
    void FormShow();
    void PopupMenu1Popup();
    void Test11Click();
    void TrayIcon1DblClick();
    void AlertWindowClick();
    void MnuVerifClick();
    void MnuCancelClick();
    // "&Quitter": saves the settings and closes this window, which ends the program.
    void Test31Click();
    // Closing: offers to close the active connections, then ends the program.
    void FormClose();
    // The desktop session ends: settings saved, the program ends without asking anything (a
    // question would hold up the logout).
    void EndSession();

    bool Closed() const { return closed_; }

    // The notification-area tip (at most 62 characters are kept).
    void SetToolTip(const QString& tip);
    QString ToolTip() const;

signals:
    // The program ends.
    void Ended();

private:
    TForm1* form1_ = nullptr;
    TAlert* alert_ = nullptr;
    bool closed_ = false;
};
