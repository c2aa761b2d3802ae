// Main: THiddenForm, the invisible application window; the program ends when it closes.
#pragma once
#include <QWidget>

class TForm1;
class TAlert;

class THiddenForm : public QWidget {
    Q_OBJECT
public:
    THiddenForm();

    // Set once the other windows exist.
    void SetWindows(TForm1* form1, TAlert* alert) { form1_ = form1; alert_ = alert; }

    // Shown by the event loop when it starts: decides whether the main window appears.
    void FormShow();
    // "&Quitter": saves the settings and closes this window, which ends the program.
    void Test31Click();
    // Closing: offers to close the active connections, then ends the program.
    void FormClose();

    bool Closed() const { return closed_; }

    // The notification-area tip (at most 62 characters are kept).
    void SetToolTip(const QString& tip);
    QString ToolTip() const { return toolTip_; }

signals:
    // The program ends.
    void Ended();

private:
    TForm1* form1_ = nullptr;
    TAlert* alert_ = nullptr;
    bool closed_ = false;
    QString toolTip_;
};
