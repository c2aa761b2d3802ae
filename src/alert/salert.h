// salert: TAlert, the window that lists the result of a check, one line per server.
#pragma once
#include <QDialog>

class QListWidget;
class QPushButton;
class QTimer;

// What the alert window needs of the main window.
class TAlertHost {
public:
    virtual ~TAlertHost() = default;
    virtual QString ApplicationTitle() const = 0;
    // A connection was up when the last check began / the last probe found one.
    virtual bool LineWasUpAtCheck() const = 0;
    virtual bool LineIsUp() const = 0;
    // Quiet probe of the active connections; returns whether one is up.
    virtual bool ProbeLine() = 0;
    // Hangs up the connection the program itself opened.
    virtual void HangUpLine() = 0;
    // Opens the message list of the account of that name.
    virtual void OpenAccountMailbox(const QString& account) = 0;
    // Starts the user's usual mail program.
    virtual void OpenUsualMailProgram() = 0;
    // The window was closed: the user has seen its lines.
    virtual void AlertClosed() {}
};

class TAlert : public QDialog {
    Q_OBJECT
public:
    explicit TAlert(QWidget* parent = nullptr);

    void SetHost(TAlertHost* host) { host_ = host; }

    QListWidget* ListBox = nullptr;
    QPushButton* CloseBtn = nullptr;   // "Fermer"
    QPushButton* HangUpBtn = nullptr;  // "Raccrocher"
    QPushButton* Button4 = nullptr;    // usual mail program
    QTimer* Timer1 = nullptr;          // automatic hang-up tick, 60 s while shown

    // Shows the window modally; returns when it is closed.
    void ShowModal();

    void FormCreate();
    void FormShow();
    void FormClose();
    void CloseBtnClick();
    void HangUpBtnClick();
    void Button4Click();
    void Timer1Timer();
    void ListBoxDblClick();
    // Enables "Raccrocher" exactly when a connection is up that the program opened itself.
    void UpdateHangUpButton();

    int Ticks() const { return ticks_; }

    // The item data of a result line that holds the name of its account.
    static constexpr int AccountRole = Qt::UserRole + 1;

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    TAlertHost* host_ = nullptr;
    int ticks_ = 0;
};
