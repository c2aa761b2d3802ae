// sabout: TAboutBox, the fixed "A propos" dialog.
#include "app/sabout.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("A propos"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(298, 196);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(2);
    Panel1->setGeometry(8, 8, 281, 145);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(8, 8, 65, 57);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(QApplication::windowIcon().isNull()
                               ? QApplication::style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(32, 32)
                               : QApplication::windowIcon().pixmap(32, 32));

    ProductName = new QLabel(QStringLiteral("Brevicor"), Panel1);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    QFont bold = ProductName->font();
    bold.setBold(true);
    ProductName->setFont(bold);
    ProductName->setGeometry(88, 16, 180, 16);

    Version = new QLabel(QStringLiteral("Version 2.0 - 32 bits"), Panel1);
    Version->setObjectName(QStringLiteral("Version"));
    Version->setGeometry(88, 40, 180, 16);

    Copyright = new QLabel(QStringLiteral("L'équipe Brevicor, 2026"), Panel1);
    Copyright->setObjectName(QStringLiteral("Copyright"));
    Copyright->setGeometry(8, 80, 260, 16);

    Comments = new QLabel(QStringLiteral("Messagerie automatisée pour le bureau Linux"), Panel1);
    Comments->setObjectName(QStringLiteral("Comments"));
    Comments->setWordWrap(true);
    Comments->setGeometry(8, 104, 249, 33);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    OKButton->setGeometry(111, 164, 75, 25);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}
