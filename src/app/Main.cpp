// Main: THiddenForm, the invisible application window; it owns the tray icon and its menu, and
// the program ends when it closes.
#include "app/Main.h"

#include "alert/salert.h"
#include "app/TrayIcon.h"
#include "app/Unit1.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace {

// The program's icon: an envelope on a blue square; with newMail, an orange mark in the corner.
QIcon programIcon(bool newMail = false)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(24, 62, 120));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(0, 0, 32, 32, 5, 5);
    p.setBrush(Qt::white);
    p.drawRect(5, 9, 22, 15);
    p.setPen(QPen(QColor(24, 62, 120), 2));
    p.drawLine(5, 9, 16, 18);
    p.drawLine(27, 9, 16, 18);
    if (newMail) {
        p.setPen(QPen(Qt::white, 2));
        p.setBrush(QColor(240, 120, 0));
        p.drawEllipse(QPointF(24.5, 7.5), 6.5, 6.5);
    }
    return QIcon(pixmap);
}

} // namespace

THiddenForm::THiddenForm() : QWidget(nullptr)
{
    setObjectName(QStringLiteral("HiddenForm"));
    setWindowTitle(QStringLiteral("HiddenForm"));
    setGeometry(288, 448, 273, 205);

    TrayIcon1 = new TTrayIcon(this);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    auto action = [this](const char* name, const QString& caption) {
        QAction* a = PopupMenu1->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    Test11 = action("Test11", QStringLiteral("&Montrer la fenêtre"));
    AlertWindow = action("AlertWindow", QStringLiteral("&Messages en attente..."));
    AlertWindow->setVisible(false);
    MnuVerif = action("MnuVerif", QStringLiteral("&Vérifier les messages maintenant"));
    MnuCancel = action("MnuCancel", QStringLiteral("Annuler"));
    MnuCancel->setEnabled(false);
    N1 = PopupMenu1->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    Test31 = action("Test31", QStringLiteral("&Quitter"));

    auto guarded = [this](void (THiddenForm::*handler)()) {
        return [this, handler] {
            if (form1_)
                form1_->Guarded([this, handler] { (this->*handler)(); });
        };
    };
    connect(PopupMenu1, &QMenu::aboutToShow, this, guarded(&THiddenForm::PopupMenu1Popup));
    connect(Test11, &QAction::triggered, this, guarded(&THiddenForm::Test11Click));
    connect(AlertWindow, &QAction::triggered, this, guarded(&THiddenForm::AlertWindowClick));
    connect(MnuVerif, &QAction::triggered, this, guarded(&THiddenForm::MnuVerifClick));
    connect(MnuCancel, &QAction::triggered, this, guarded(&THiddenForm::MnuCancelClick));
    connect(Test31, &QAction::triggered, this, guarded(&THiddenForm::Test31Click));

    TrayIcon1->SetIcon(programIcon());
    TrayIcon1->SetActive(true);
    TrayIcon1->PopupMenu = PopupMenu1;
    TrayIcon1->OnDblClick = [this, g = guarded(&THiddenForm::TrayIcon1DblClick)](QObject*) { g(); };
    QApplication::setWindowIcon(programIcon());
    FormCreate();
}

THiddenForm::~THiddenForm() = default;

void THiddenForm::FormCreate()
{
    // Never on screen: it only carries the icon and ends the program when it closes.
    move(-5000, -5000);
    hide();
}

void THiddenForm::FormShow()
{
    TForm1* f = form1_;
    const bool complete = f->Server->AccountComplete() && !f->Server->ComboBox1->currentText().isEmpty();
    // Without a notification area the user would have neither icon nor window: show the window.
    if (!f->Server->ShowOnStart->isChecked() && complete && f->Context().notificationArea())
        return;
    f->show();
    f->raise();
    f->activateWindow();
}

void THiddenForm::PopupMenu1Popup()
{
    Test11->setText(form1_->isVisible() ? QStringLiteral("&Cacher la fenêtre") : QStringLiteral("&Montrer la fenêtre"));
}

void THiddenForm::Test11Click()
{
    if (form1_->isVisible())
        form1_->close();
    else
        form1_->show();
}

void THiddenForm::TrayIcon1DblClick()
{
    if (form1_->isVisible()) {
        form1_->raise();
        form1_->activateWindow();
    } else {
        form1_->show();
    }
}

void THiddenForm::AlertWindowClick()
{
    form1_->News->MailSeen();
    if (alert_->isVisible()) {
        alert_->raise();
        alert_->activateWindow();
    } else {
        alert_->ShowModal();
    }
}

void THiddenForm::MnuVerifClick()
{
    form1_->Button10Click();
}

void THiddenForm::MnuCancelClick()
{
    form1_->CancelRunningOperation();
}

void THiddenForm::Test31Click()
{
    form1_->SaveSettings();
    FormClose();
}

void THiddenForm::FormClose()
{
    if (closed_)
        return;
    closed_ = true;
    form1_->Connections->OfferToCloseConnections();
    TrayIcon1->SetActive(false);
    emit Ended();
}

void THiddenForm::EndSession()
{
    form1_->SaveSettings();
    if (closed_)
        return;
    closed_ = true;
    TrayIcon1->SetActive(false);
    emit Ended();
}

void THiddenForm::SetToolTip(const QString& tip)
{
    baseTip_ = tip;
    if (newMail_ <= 0) {
        TrayIcon1->SetToolTip(tip);
        return;
    }
    const QString count = newMail_ == 1 ? QStringLiteral("1 nouveau message")
                                        : QStringLiteral("%1 nouveaux messages").arg(newMail_);
    TrayIcon1->SetToolTip(tip.isEmpty() ? count : count + QStringLiteral(" - ") + tip);
}

void THiddenForm::SetNewMail(int count)
{
    const bool changed = (count > 0) != (newMail_ > 0);
    newMail_ = std::max(count, 0);
    if (changed)
        TrayIcon1->SetIcon(programIcon(newMail_ > 0));
    SetToolTip(baseTip_);
}

QString THiddenForm::ToolTip() const
{
    return TrayIcon1->ToolTip();
}
