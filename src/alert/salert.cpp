// salert: TAlert, the window that lists the result of a check, one line per server.
#include "alert/salert.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

TAlert::TAlert(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Alert"));
    setWindowTitle(QStringLiteral("Brevicor - Messages"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    resize(439, 137);

    ListBox = new QListWidget(this);
    ListBox->setObjectName(QStringLiteral("ListBox"));
    CloseBtn = new QPushButton(QStringLiteral("Fermer"), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    HangUpBtn = new QPushButton(QStringLiteral("Raccrocher"), this);
    HangUpBtn->setObjectName(QStringLiteral("HangUpBtn"));
    Button4 = new QPushButton(QStringLiteral("Ouvrir ma messagerie Internet \"habituelle\""), this);
    Button4->setObjectName(QStringLiteral("Button4"));
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(60000);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    // The window is never smaller than its buttons need at their full text.
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    layout->addWidget(ListBox, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button4);
    buttons->addStretch(1);
    buttons->addWidget(HangUpBtn);
    buttons->addWidget(CloseBtn);
    layout->addLayout(buttons);

    connect(CloseBtn, &QPushButton::clicked, this, &TAlert::CloseBtnClick);
    connect(HangUpBtn, &QPushButton::clicked, this, &TAlert::HangUpBtnClick);
    connect(Button4, &QPushButton::clicked, this, &TAlert::Button4Click);
    connect(Timer1, &QTimer::timeout, this, &TAlert::Timer1Timer);
    connect(ListBox, &QListWidget::itemDoubleClicked, this, &TAlert::ListBoxDblClick);

    FormCreate();
}

void TAlert::FormCreate()
{
    ListBox->clear();
}

void TAlert::ShowModal()
{
    resize(size().expandedTo(minimumSizeHint()));
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
    }
    exec();
}

void TAlert::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TAlert::done(int result)
{
    FormClose();
    QDialog::done(result);
    // The user has seen the results.
    if (host_)
        host_->AlertClosed();
}

void TAlert::FormShow()
{
    ticks_ = 0;
    Timer1->start();
    UpdateHangUpButton();
}

void TAlert::UpdateHangUpButton()
{
    HangUpBtn->setEnabled(host_ && host_->LineIsUp() && !host_->LineWasUpAtCheck());
}

void TAlert::FormClose()
{
    ticks_ = 0;
    Timer1->stop();
}

void TAlert::CloseBtnClick()
{
    reject();
}

void TAlert::HangUpBtnClick()
{
    if (host_)
        host_->HangUpLine();
    reject();
}

void TAlert::Button4Click()
{
    if (host_)
        host_->OpenUsualMailProgram();
}

void TAlert::Timer1Timer()
{
    ++ticks_;
    if (ticks_ < 5)
        return;
    if (host_ && !host_->LineWasUpAtCheck() && host_->ProbeLine()) {
        host_->HangUpLine();
        ListBox->addItem(host_->ApplicationTitle()
                         + QStringLiteral(" a raccroché après 5 minutes d'affichage de la boîte de dialogue"));
    }
    ticks_ = 0;
}

void TAlert::ListBoxDblClick()
{
    QListWidgetItem* item = ListBox->currentItem();
    // The line carries its account; a line without one (a hang-up note) opens nothing.
    const QString account = item ? item->data(AccountRole).toString() : QString();
    if (ListBox->count() > 0 && item && item->isSelected() && host_ && !account.isEmpty())
        host_->OpenAccountMailbox(account);
    reject();
}

