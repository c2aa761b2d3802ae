// Unit1CheckRun: the POP3 session buttons, the POP3 and IMAP events shown in the window, the mail
// work's questions to the user, and the check run over the current account or every account.
#include "app/Unit1.h"

#include "alert/salert.h"
#include "app/AccountStore.h"
#include "app/Application.h"
#include "app/CheckRun.h"
#include "app/Finally.h"
#include "app/Main.h"
#include "app/WireText.h"
#include "dialup/DialUp.h"
#include "mail/KTimap.h"
#include "mail/KTpop3.h"
#include "platform/Dialogs.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>


void TForm1::ConnectPop3Events()
{
    TKTPOP3* p = KTPOP31;
    p->OnConnect = [this](QObject*) { SetStatusText(QStringLiteral("Connecté à POP3")); };
    p->OnDisconnect = [this](QObject*) { SetStatusText(QStringLiteral("Déconnecté de POP3")); };
    p->OnStatus = [this](QObject*, const std::string& status) { SetStatusText(WireText(status)); };
    p->OnHostResolved = [this](QObject*) { SetStatusText(QStringLiteral("Hôte POP3 connecté")); };
    // A failed connection is told once, by the result of the operation that wanted it.
    p->OnFailure = [this](QObject*) { context_.dialogs->Message(QStringLiteral("L'opération a échoué")); };
    p->OnSuccess = [this](QObject*) { SetStatusText(QStringLiteral("Opération réussie")); };
    p->OnInvalidHost = [this](bool& handled) {
        const std::optional<QString> host = context_.dialogs->InputText(
            QStringLiteral("Hôte invalide !"), QStringLiteral("Saisissez un nouvel hôte :"), QString());
        if (!host)
            return;
        KTPOP31->Host = ToWire(*host);
        handled = true;
        Server->HostCombo->setEditText(*host);
    };
    p->OnPacketRecvd = [this](QObject*) {
        SetStatusText(QStringLiteral("%1 octets sur %2 reçus").arg(KTPOP31->BytesRecvd()).arg(KTPOP31->BytesTotal()));
    };
    p->OnRetrieveStart = [this](QObject*) {
        ScreenCursor::Busy();
        SetStatusText(QStringLiteral("Début de récupération..."));
    };
    p->OnRetrieveEnd = [this](QObject*) {
        ScreenCursor::Normal();
        SetStatusText(QStringLiteral("Fin de récupération"));
    };
    // An IMAP account's check tells its steps on the status bar as well.
    TKTIMAP* imap = Mail->Imap();
    imap->OnConnect = [this](QObject*) { SetStatusText(QStringLiteral("Connecté à IMAP")); };
    imap->OnDisconnect = [this](QObject*) { SetStatusText(QStringLiteral("Déconnecté de IMAP")); };
    imap->OnStatus = [this](QObject*, const std::string& status) { SetStatusText(WireText(status)); };
    Mail->OnBusyChanged = [this](bool busy) {
        UpdateCancelOffer(busy);
        // A cancelled operation leaves no session.
        if (!busy && Mail->CancelRequested())
            ShowSessionClosed(TTabs::Keep);
    };
    Mail->OnSessionClosed = [this](const QString& why) {
        ShowSessionClosed(TTabs::Follow);
        SetStatusText(why);
    };
    // A certificate trusted for the account on the page stays with it, and so does a new
    // password the server accepted.
    Mail->OnAccountStored = [this](const TAccount& account) {
        Server->KeepStored(account);
        Accounts->FollowListed();
    };
    Mail->User = this;
    // New mail of the accounts waiting in IDLE is told as a check tells it; a refused push says
    // so once on the status bar.
    Mail->OnPushMail = [this](const TAccountResult& r) { Guarded([this, r] { News->AnnouncePushedMail(r); }); };
    Mail->OnPushProblem = [this](const TAccount&, const QString& why) { SetStatusText(why); };
}

bool TForm1::Confirm(const QString& question)
{
    return context_.dialogs->ConfirmYesNo(question);
}

QString TForm1::NewPassword(const QString& question)
{
    return context_.dialogs->InputSecret(QStringLiteral("Mot de passe refusé"), question, QString()).value_or(QString());
}

void TForm1::HostComboClick()
{
    if (Server->Button2->isEnabled())
        ClosePopSession();
    Server->LoadAccount();
}

void TForm1::Button1Click()
{
    ConnectCurrentAccount(TTabs::Follow);
}

bool TForm1::ConnectCurrentAccount(TTabs tabs)
{
    if (!Server->AccountComplete()) {
        Accounts->RequestAccountDetails();
        return false;
    }
    const TAccount account = Server->AccountFromFields();
    if (!account.PortNumber()) {
        context_.dialogs->Message(QStringLiteral("'%1' n'est pas un numéro de port valide").arg(account.Port),
                                  MessageIcon::Warning);
        Server->Edit2->setFocus();
        return false;
    }
    CursorGuard cursor;
    Server->Button1->setEnabled(false);
    // Unless the session signs in, the button comes back.
    bool signedIn = false;
    const Finally after([&] {
        if (!signedIn)
            Server->Button1->setEnabled(true);
    });
    Mail->Entry = Connections->SelectedDialUpEntry();
    const TAccountResult result = Mail->Connect(account);
    Connections->LineUp = Connections->LineUp || Mail->ConnectLineUp();
    switch (result.Outcome) {
    case TCheckOutcome::Counted:
        ShowSignedIn(result.Count, tabs);
        signedIn = true;
        return true;
    case TCheckOutcome::Refused:
    case TCheckOutcome::CertificateRefused:
        SetStatusText(ResultLine(result, false));
        return false;
    case TCheckOutcome::Unreachable:
    case TCheckOutcome::WrongSecurity:
        context_.dialogs->Message(ResultLine(result, false)
                                  + (result.Outcome == TCheckOutcome::Unreachable && !result.Error.isEmpty()
                                         ? QStringLiteral("\n") + result.Error
                                         : QString()));
        return false;
    case TCheckOutcome::LineDown:
    case TCheckOutcome::Cancelled:
        // Said already (the dial-up's own messages), or asked for.
        return false;
    }
    return false;
}

void TForm1::ShowSignedIn(int count, TTabs tabs)
{
    // Saved first: a further user on a host shows under the name of its own account.
    Accounts->SaveAccount();
    Reader->ShowCount(count);
    Server->Button1->setEnabled(false);
    Server->Button2->setEnabled(true);
    const QString name = Server->HostCombo->currentText();
    if (count == 0) {
        SetStatusText(QStringLiteral("Il n'y a aucun message sur %1").arg(name));
        Reader->EnableMessageActions(false);
    } else {
        SetStatusText(QStringLiteral("Il y a %1%2sur %3")
                          .arg(count)
                          .arg(count == 1 ? QStringLiteral(" message ") : QStringLiteral(" messages "))
                          .arg(name));
    }
    if (tabs == TTabs::Follow)
        ShowMailboxTabs(true);
}

void TForm1::ShowSessionClosed(TTabs tabs)
{
    Server->Button2->setEnabled(false);
    Server->Button1->setEnabled(true);
    if (tabs == TTabs::Follow)
        ShowMailboxTabs(false);
}

void TForm1::ClosePopSession(TTabs tabs)
{
    CursorGuard cursor;
    Server->Button2->setEnabled(false);
    const Finally after([this, tabs] { ShowSessionClosed(tabs); });
    // Without a line, a goodbye would only wait for its time limit.
    Mail->Disconnect(Connections->LineUp);
}

void TForm1::Button2Click()
{
    ClosePopSession();
    Connections->OfferToCloseConnections();
}

void TForm1::Button10Click()
{
    CheckMail(true);
}

void TForm1::CheckMail(bool ByHand)
{
    if (!Server->AccountComplete()) {
        // A scheduled check asks nothing: the window stays as it is.
        if (!ByHand)
            return;
        ShowPage(Server);
        Accounts->RequestAccountDetails();
        return;
    }
    Server->Button10->setEnabled(false);
    hiddenForm_->MnuVerif->setEnabled(false);
    hiddenForm_->AlertWindow->setEnabled(false);
    // The button and the menu entries come back however the run ends.
    const Finally after([this] {
        Server->Button10->setEnabled(true);
        hiddenForm_->MnuVerif->setEnabled(true);
        hiddenForm_->AlertWindow->setEnabled(true);
    });

    // The accounts to check: the one on screen as typed, or every account of the list, the one on
    // screen saved first so the list holds it as typed.
    const bool justCurrent = Schedule->CheckBox4->isChecked();
    QList<TAccount> accounts;
    if (justCurrent) {
        ClosePopSession(TTabs::Keep);
        accounts << Server->AccountFromFields();
    } else {
        ClosePopSession();
        Accounts->SaveAccount();
        accounts = Accounts->ListedAccounts();
    }

    Mail->Entry = Connections->SelectedDialUpEntry();
    Mail->OnAccountDone = [this, ByHand](const TAccountResult& r) { News->ReportAccountResult(r, ByHand); };
    alert_->ListBox->clear();
    const TCheckReport report =
        Mail->Check(accounts, ByHand ? TCheckKind::ByHand : TCheckKind::Scheduled, justCurrent, Schedule->CheckBox2->isChecked());
    Mail->OnAccountDone = nullptr;
    Connections->LineWasUp = report.LineWasUp;
    Connections->LineUp = report.LineUp;

    // By hand, the current account's mail is listed at once on its open session.
    if (report.SessionKept && ByHand) {
        Mail->HandToUser();
        ShowSignedIn(report.Results.first().Count, TTabs::Keep);
        Messages->ListMessages(false);
        ShowMailboxTabs(true);
        ShowPage(List);
        if (!isVisible())
            show();
    }

    News->AnnounceNews(report);
}

void TForm1::CancelRunningOperation()
{
    Mail->Cancel();
}

void TForm1::UpdateCancelOffer(bool offered)
{
    Server->CancelBtn->setEnabled(offered);
    if (hiddenForm_ && hiddenForm_->MnuCancel)
        hiddenForm_->MnuCancel->setEnabled(offered);
}
