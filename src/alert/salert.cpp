// salert: TAlert, the window that lists the result of a check, one line per server.
#include "alert/salert.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

TAlert::TAlert(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Alert"));
    setWindowTitle(QStringLiteral("Brevicor - Messages"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(439, 137);

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
    layout->addWidget(ListBox, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button4);
    buttons->addStretch(1);
    buttons->addWidget(HangUpBtn);
    buttons->addWidget(CloseBtn);
    layout->addLayout(buttons);

    FormCreate();
}

void TAlert::FormCreate()
{
    ListBox->clear();
}
