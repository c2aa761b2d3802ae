// Slogo: TLogo, the splash window shown while the program starts.
#include "app/Slogo.h"

#include "app/Sleeper.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

namespace {

// The splash picture: the program's name on a blue gradient.
QPixmap splashPicture()
{
    QPixmap pixmap(360, 300);
    QPainter p(&pixmap);
    QLinearGradient g(0, 0, 0, 300);
    g.setColorAt(0, QColor(24, 62, 120));
    g.setColorAt(1, QColor(110, 160, 215));
    p.fillRect(pixmap.rect(), g);
    p.setPen(Qt::white);
    QFont title = p.font();
    title.setPointSize(28);
    title.setBold(true);
    p.setFont(title);
    p.drawText(QRect(0, 90, 360, 60), Qt::AlignCenter, QStringLiteral("Brevicor"));
    QFont sub = p.font();
    sub.setPointSize(11);
    sub.setBold(false);
    p.setFont(sub);
    p.drawText(QRect(0, 160, 360, 30), Qt::AlignCenter, QStringLiteral("Messagerie automatisée"));
    return pixmap;
}

} // namespace

TLogo::TLogo() : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("Logo"));
    setWindowTitle(QStringLiteral("Brevicor"));
    setFixedSize(360, 300);
    QFont f = font();
    f.setBold(true);
    setFont(f);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, 360, 300);
    Image1->setPixmap(splashPicture());
    Sleeper = new TSleeper(this);
    Sleeper->setObjectName(QStringLiteral("Sleeper"));
    Sleeper->SetInterval(2000);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
    }
}
