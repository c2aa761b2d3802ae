// Unit1CheckRun: the POP3 session buttons, the POP3 events shown in the window, and the check run
// over the current account or every account.
#include "app/Unit1.h"

#include "alert/Twav.h"
#include "alert/salert.h"
#include "app/AccountStore.h"
#include "app/Application.h"
#include "app/CheckRun.h"
#include "app/Finally.h"
#include "app/Main.h"
#include "app/WireText.h"
#include "dialup/DialUp.h"
#include "mail/KTpop3.h"
#include "platform/Dialogs.h"
#include "platform/SoundOutput.h"

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
    p->OnConnectionFailed = [this](QObject*) {
        context_.dialogs->Message(QStringLiteral("Connexion impossible à POP3"));
    };
    p->OnFailure = [this](QObject*) { context_.dialogs->Message(QStringLiteral("L'opération a échoué")); };
    p->OnSuccess = [this](QObject*) { SetStatusText(QStringLiteral("Opération réussie")); };
    p->OnConnectionRequired = [this](bool& handled) {
        if (!context_.dialogs->ConfirmOkCancel(QStringLiteral("Connecter ?")))
            return;
        handled = true;
        if (!KTPOP31->Connected())
            KTPOP31->Connect();
    };
    p->OnInvalidHost = [this](bool& handled) {
        const std::optional<QString> host = context_.dialogs->InputText(
            QStringLiteral("Hôte invalide !"), QStringLiteral("Saisissez un nouvel hôte :"), QString());
        if (!host)
            return;
        KTPOP31->Host = ToWire(*host);
        handled = true;
        HostCombo->setEditText(*host);
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
}

void TForm1::Button1Click()
{
    ConnectCurrentAccount(TTabs::Follow);
}

bool TForm1::ConnectCurrentAccount(TTabs tabs)
{
    if (!AccountComplete()) {
        RequestAccountDetails();
        return false;
    }
    const TAccount account = AccountFromFields();
    if (!account.PortNumber()) {
        context_.dialogs->Message(QStringLiteral("'%1' n'est pas un numéro de port valide").arg(account.Port),
                                  MessageIcon::Warning);
        Edit2->setFocus();
        return false;
    }
    CursorGuard cursor;
    Button1->setEnabled(false);
    // Unless the session signs in, the button comes back.
    bool signedIn = false;
    const Finally after([&] {
        if (!signedIn)
            Button1->setEnabled(true);
    });

    if (KTPOP31->Connected()) {
        ShowSignedIn(KTPOP31->MessageCount(), tabs);
        signedIn = true;
        return true;
    }
    PreparePop3Session();
    TCheckRun run(*KTPOP31, *DialUp);
    // Connecting by hand: with no entry, the warning and nothing else; after a failed dial the
    // server is still tried, as it may be reachable another way.
    run.Entry = SelectedDialUpEntry();
    run.ConnectAfterFailedDial = true;
    run.OnNoEntry = [this] { WarnNoDialUpEntry(); };
    run.OnUntrustedCertificate = [this](TAccount& account, const std::string& host, const std::string& reasons,
                                        const std::string& fingerprint) {
        return OfferToTrustCertificate(account, host, reasons, fingerprint);
    };
    TCheckRun* const outer = running_;
    running_ = &run;
    const Finally notRunning([this, outer] { running_ = outer; });
    const TCancelOffer offer(*this);
    const TAccountResult result = run.Check(account);
    LineUp = LineUp || run.LineUp();
    if (result.Outcome == TCheckOutcome::Refused) {
        SetStatusText(ResultLine(result, false));
        return false;
    }
    if (result.Outcome != TCheckOutcome::Counted)
        return false;
    ShowSignedIn(result.Count, tabs);
    signedIn = true;
    return true;
}

void TForm1::PreparePop3Session()
{
    KTPOP31->DeleteOnRead = false;
    KTPOP31->ReportLevel = 2;
}

void TForm1::ShowSignedIn(int count, TTabs tabs)
{
    // Saved first: a further user on a host shows under the name of its own account.
    SaveAccount();
    Label10->setText(QStringLiteral("Nb de messages : %1").arg(count));
    SpinEdit1->setRange(1, count > 0 ? count : 1);
    SpinEdit1->setValue(1);
    SpinEdit1->setEnabled(count >= 2);
    Button1->setEnabled(false);
    Button2->setEnabled(true);
    const QString name = HostCombo->currentText();
    if (count == 0) {
        SetStatusText(QStringLiteral("Il n'y a aucun message sur %1").arg(name));
        for (QWidget* b : std::initializer_list<QWidget*>{Button3, Button7, Button8, PrintBtn})
            b->setEnabled(false);
    } else {
        SetStatusText(QStringLiteral("Il y a %1%2sur %3")
                          .arg(count)
                          .arg(count == 1 ? QStringLiteral(" message ") : QStringLiteral(" messages "))
                          .arg(name));
    }
    if (tabs == TTabs::Follow)
        ShowMailboxTabs(true);
}

void TForm1::ClosePopSession(TTabs tabs)
{
    CursorGuard cursor;
    Button2->setEnabled(false);
    const Finally after([this, tabs] {
        Button1->setEnabled(true);
        if (tabs == TTabs::Follow)
            ShowMailboxTabs(false);
    });
    if (KTPOP31->Connected() && LineUp)
        KTPOP31->Disconnect();
}

void TForm1::Button2Click()
{
    ClosePopSession();
    OfferToCloseConnections();
}

void TForm1::Button10Click()
{
    CheckMail(true);
}

void TForm1::ReportAccountResult(const TAccountResult& result, bool byHand)
{
    const QString line = ResultLine(result, CheckBox2->isChecked() || byHand);
    if (!line.isEmpty())
        alert_->ListBox->addItem(line);
}

void TForm1::CheckMail(bool ByHand)
{
    if (!AccountComplete()) {
        ShowPage(TabSheet1);
        RequestAccountDetails();
        return;
    }
    Button10->setEnabled(false);
    hiddenForm_->MnuVerif->setEnabled(false);
    hiddenForm_->AlertWindow->setEnabled(false);
    // The button and the menu entries come back however the run ends.
    const Finally after([this] {
        Button10->setEnabled(true);
        hiddenForm_->MnuVerif->setEnabled(true);
        hiddenForm_->AlertWindow->setEnabled(true);
    });

    // The accounts to check: the one on screen as typed, or every account of the list, the one on
    // screen saved first so the list holds it as typed.
    const bool justCurrent = CheckBox4->isChecked();
    QList<TAccount> accounts;
    if (justCurrent) {
        ClosePopSession(TTabs::Keep);
        accounts << AccountFromFields();
    } else {
        ClosePopSession();
        SaveAccount();
        accounts = ListedAccounts();
    }

    PreparePop3Session();
    TCheckRun run(*KTPOP31, *DialUp);
    run.Entry = SelectedDialUpEntry();
    run.KeepLastSession = justCurrent;
    run.OnNoEntry = [this] { WarnNoDialUpEntry(); };
    // What is new since each account's last check, looked for while its session is open; the
    // notifications go out at the end of the run.
    std::vector<TAccountResult> news;
    int totalFresh = 0;
    run.OnUntrustedCertificate = [this](TAccount& account, const std::string& host, const std::string& reasons,
                                        const std::string& fingerprint) {
        return OfferToTrustCertificate(account, host, reasons, fingerprint);
    };
    run.OnCounted = [this](TAccountResult& r) { LookForNewMail(r); };
    run.OnAccountDone = [this, ByHand, &news, &totalFresh](const TAccountResult& r) {
        ReportAccountResult(r, ByHand);
        if (r.Outcome == TCheckOutcome::Counted && r.Fresh > 0) {
            news.push_back(r);
            totalFresh += r.Fresh;
        }
    };
    // A check started by the scheduler speaks only of new mail; one started by hand, or with
    // "Prévenir s'il n'y a aucun message", reports as it always has.
    auto announce = [&] { return CheckBox2->isChecked() || ByHand || totalFresh > 0; };
    QList<TAccountResult> results;
    {
        TCheckRun* const outer = running_;
        running_ = &run;
        const Finally notRunning([this, outer] { running_ = outer; });
        const TCancelOffer offer(*this);
        LineWasUp = run.Begin();
        alert_->ListBox->clear();
        results = run.Run(accounts);
        // The line the program dialed stays up only for mail the user is told about (the alert
        // window then offers to hang up, and does so after five minutes).
        run.Finish(announce() ? TCheckRun::Total(results) : 0);
        LineUp = run.LineUp();
    }
    const int total = TCheckRun::Total(results);

    // The current account's session stays open: its mail is listed at once.
    if (justCurrent && !results.isEmpty() && results.first().Outcome == TCheckOutcome::Counted) {
        ShowSignedIn(results.first().Count, TTabs::Keep);
        if (total > 0 && (ByHand || results.first().Fresh > 0)) {
            ListMessages(false);
            ShowMailboxTabs(true);
            ShowPage(TabSheet3);
            if (!isVisible())
                show();
        }
    }

    for (const TAccountResult& r : news)
        NotifyNewMail(r.Account.Name(), r.Fresh, r.Newest);
    if (totalFresh > 0)
        SetNewMailWaiting(NewMailWaiting + totalFresh);

    // A cancelled run says only what it found.
    if (run.Cancelled() && total == 0)
        return;
    if (announce()) {
        if (WAVPlayer1->WAVCapable() && !WAVPlayer1->FileName.isEmpty())
            WAVPlayer1->Play();
        else
            context_.sound->Beep();
        if (!alert_->isVisible())
            alert_->ShowModal();
    }
}

void TForm1::CancelRunningOperation()
{
    // Nothing runs: a cancel now would only spoil the session's next operation.
    if (cancelOffers_ == 0)
        return;
    // A listing stops after the summary it is reading and keeps its session usable; asked again
    // (a server that does not answer), it is dropped as any other transfer.
    if (listingRunning_ && !running_ && !listingCancelRequested_) {
        CancelListing();
        return;
    }
    cancelRequested_ = true;
    if (running_)
        running_->Cancel();
    else
        KTPOP31->Cancel();
}

TForm1::TCancelOffer::TCancelOffer(TForm1& form) : form_(form)
{
    if (form_.cancelOffers_++ == 0)
        form_.cancelRequested_ = false;
    form_.UpdateCancelOffer();
}

TForm1::TCancelOffer::~TCancelOffer()
{
    if (--form_.cancelOffers_ == 0 && form_.cancelRequested_) {
        // A cancelled transfer leaves the session in the middle of a reply: it is dropped without
        // a logout, so the next operation starts on a fresh connection.
        try {
            if (form_.KTPOP31->Connected())
                form_.KTPOP31->TSocketSession::Disconnect();
        } catch (const std::exception&) {
            // Closing a connection given up on: nothing is left to tell.
        }
        form_.Button2->setEnabled(false);
        form_.Button1->setEnabled(true);
    }
    form_.UpdateCancelOffer();
}

void TForm1::UpdateCancelOffer()
{
    const bool offered = cancelOffers_ > 0;
    CancelBtn->setEnabled(offered);
    if (hiddenForm_ && hiddenForm_->MnuCancel)
        hiddenForm_->MnuCancel->setEnabled(offered);
}
