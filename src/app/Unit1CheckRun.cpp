// Unit1CheckRun: the POP3 session buttons, the POP3 events shown in the window, and the check run
// over the current account or every account.
#include "app/Unit1.h"

#include "alert/Twav.h"
#include "alert/salert.h"
#include "app/Application.h"
#include "app/Finally.h"
#include "app/Main.h"
#include "app/NewMail.h"
#include "app/WireText.h"
#include "dialup/DialUp.h"
#include "mail/KTpop3.h"
#include "platform/Dialogs.h"
#include "platform/SoundOutput.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
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
    LastConnectOk = false;
    if (!AccountComplete()) {
        RequestAccountDetails();
        return;
    }
    try {
        CursorGuard cursor;
        Button1->setEnabled(false);
        KTPOP31->AttachFilePath = ToWire(QDir::currentPath() + QLatin1Char('/'));
        KTPOP31->DeleteOnRead = false;
        KTPOP31->ReportLevel = 2;
        KTPOP31->Host = ToWire(HostCombo->currentText());
        bool ok = false;
        const int port = Edit2->text().trimmed().toInt(&ok, 10);
        if (!ok)
            throw std::runtime_error(QStringLiteral("'%1' n'est pas un nombre entier valide").arg(Edit2->text()).toStdString());
        KTPOP31->Port = port;
        KTPOP31->UserID = ToWire(Edit3->text());
        KTPOP31->Password = ToWire(Edit4->text());

        if (!ConnectLine() && !DialFailed) {
            Button1->setEnabled(true);
            return;
        }
        if (!KTPOP31->Connected())
            KTPOP31->Connect();

        const int count = KTPOP31->MessageCount();
        Label10->setText(QStringLiteral("Nb de messages : %1").arg(count));
        SpinEdit1->setRange(1, count > 0 ? count : 1);
        SpinEdit1->setValue(1);
        SpinEdit1->setEnabled(count >= 2);
        Button1->setEnabled(false);
        Button2->setEnabled(true);
        const QString host = HostCombo->currentText();
        if (count == 0) {
            SetStatusText(QStringLiteral("Il n'y a aucun message sur %1").arg(host));
            for (QWidget* b : std::initializer_list<QWidget*>{Button3, Button7, Button8, PrintBtn})
                b->setEnabled(false);
        } else {
            SetStatusText(QStringLiteral("Il y a %1%2sur %3")
                              .arg(count)
                              .arg(count == 1 ? QStringLiteral(" message ") : QStringLiteral(" messages "))
                              .arg(host));
        }
        if (!Reconnecting)
            ShowMailboxTabs(true);
        SaveAccount();
        LastConnectOk = KTPOP31->Connected();
    } catch (const std::exception&) {
        // The component's events have already told the user what went wrong; the cursor guard
        // has restored the cursor.
        Button1->setEnabled(true);
    }
}

void TForm1::ClosePopSession()
{
    CursorGuard cursor;
    Button2->setEnabled(false);
    const Finally after([this] {
        Button1->setEnabled(true);
        if (!Reconnecting)
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
    ManualCheck = true;
    const Finally after([this] { ManualCheck = false; });
    CheckMail();
}

void TForm1::ReportAccountResult(const QString& host, int count, int fresh)
{
    QListWidget* list = alert_->ListBox;
    if (DialFailed || !LastConnectOk)
        list->addItem(QStringLiteral("Connexion impossible à %1").arg(host));
    else if (count <= 0) {
        if (CheckBox2->isChecked() || ManualCheck)
            list->addItem(QStringLiteral("Vous n'avez aucun message sur %1").arg(host));
    } else if (count == 1)
        list->addItem(QStringLiteral("Vous avez %1 message sur %2").arg(count).arg(host) + NewMailSuffix(fresh));
    else
        list->addItem(QStringLiteral("Vous avez %1 messages sur %2").arg(count).arg(host) + NewMailSuffix(fresh));
}

void TForm1::CheckMail()
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
        CheckTalking = false;
        Button10->setEnabled(true);
        hiddenForm_->MnuVerif->setEnabled(true);
        hiddenForm_->AlertWindow->setEnabled(true);
    });
    CheckTalking = true;

    LineWasUp = ProbeLine();
    alert_->ListBox->clear();
    int total = 0;
    int totalFresh = 0;
    // What one account adds to the total: nothing when its connection failed.
    auto found = [this] { return DialFailed || !LastConnectOk ? 0 : KTPOP31->MessageCount(); };
    // The messages new since the account's last check; the notifications go out at the end.
    struct News { QString host; int fresh; QStringList newest; };
    std::vector<News> news;
    auto lookForNewMail = [&]() -> int {
        if (DialFailed || !LastConnectOk)
            return 0;
        QStringList newest;
        int fresh = 0;
        try {
            fresh = LookForNewMail(newest);
        } catch (const std::exception& e) {
            // The count stands; what is new is not known this time.
            SetStatusText(QString::fromUtf8(e.what()));
            return 0;
        }
        if (fresh > 0)
            news.push_back({HostCombo->currentText(), fresh, newest});
        totalFresh += fresh;
        return fresh;
    };
    // A check started by the scheduler speaks only of new mail; one started by hand, or with
    // "Prévenir s'il n'y a aucun message", reports as it always has.
    auto announce = [&] { return CheckBox2->isChecked() || ManualCheck || totalFresh > 0; };

    if (CheckBox4->isChecked()) {
        Reconnecting = true;
        {
            const Finally done([this] { Reconnecting = false; });
            ClosePopSession();
            Button1Click();
        }
        const int fresh = lookForNewMail();
        ReportAccountResult(HostCombo->currentText(), KTPOP31->MessageCount(), fresh);
        total = found();
        if (total > 0 && (ManualCheck || fresh > 0)) {
            Button5Click();
            ShowMailboxTabs(true);
            ShowPage(TabSheet3);
            if (!isVisible())
                show();
        }
    } else if (HostCombo->count() > 0) {
        int i0 = CurrentAccountIndex();
        if (i0 < 0)
            i0 = 0;
        for (int i = 0; i < HostCombo->count(); ++i) {
            HostCombo->setCurrentIndex(i);
            HostCombo->setEditText(HostCombo->itemText(i));
            Reconnecting = true;
            {
                const Finally done([this] { Reconnecting = false; });
                HostComboClick();
                ClosePopSession();
                Button1Click();
            }
            const int fresh = lookForNewMail();
            ReportAccountResult(HostCombo->currentText(), KTPOP31->MessageCount(), fresh);
            total += found();
        }
        HostCombo->setCurrentIndex(i0);
        HostCombo->setEditText(HostCombo->itemText(i0));
        HostComboClick();
    }

    // The line the program dialed stays up only for mail the user is told about (the alert
    // window then offers to hang up, and does so after five minutes).
    if ((total == 0 || !announce()) && !LineWasUp)
        DialUp->HangUp();

    CheckTalking = false;
    for (const News& n : news)
        NotifyNewMail(n.host, n.fresh, n.newest);
    if (totalFresh > 0)
        SetNewMailWaiting(NewMailWaiting + totalFresh);
    if (announce()) {
        if (WAVPlayer1->WAVCapable() && !WAVPlayer1->FileName.isEmpty())
            WAVPlayer1->Play();
        else
            context_.sound->Beep();
        if (!alert_->isVisible())
            alert_->ShowModal();
    }
}
