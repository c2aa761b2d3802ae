// TrayIcon: TTrayIcon, the program's icon in the notification area, with its tip and pop-up menu.
#include "app/TrayIcon.h"

#include <QCoreApplication>
#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

TTrayIcon::TTrayIcon(QObject* parent) : QObject(parent), tray_(new QSystemTrayIcon(this)), waitForArea_(new QTimer(this))
{
    CursorPos = [] { return QCursor::pos(); };
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        switch (reason) {
        case QSystemTrayIcon::Trigger: HandleMouse(LeftButtonUp); break;
        case QSystemTrayIcon::DoubleClick: HandleMouse(LeftButtonDoubleClick); break;
        case QSystemTrayIcon::Context: HandleMouse(RightButtonUp); break;
        default: break;
        }
    });
    // A desktop may start its notification area after the program: the icon appears as soon as
    // one is there.
    waitForArea_->setInterval(2000);
    connect(waitForArea_, &QTimer::timeout, this, [this] {
        if (active_ && QSystemTrayIcon::isSystemTrayAvailable()) {
            waitForArea_->stop();
            tray_->hide();
            tray_->show();
        }
    });
}

TTrayIcon::~TTrayIcon()
{
    if (active_)
        DeleteIcon();
}

void TTrayIcon::SetActive(bool active)
{
    if (active == active_)
        return;
    active_ = active;
    if (active)
        AddIcon();
    else
        DeleteIcon();
}

void TTrayIcon::SetIcon(const QIcon& icon)
{
    icon_ = icon;
    ModifyIcon();
}

void TTrayIcon::SetToolTip(const QString& tip)
{
    toolTip_ = tip.left(MaxTipLength);
    ModifyIcon();
}

void TTrayIcon::AddIcon()
{
    tray_->setIcon(icon_);
    tray_->setToolTip(toolTip_);
    tray_->show();
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        waitForArea_->start();
    // The tip is often set after the icon is added: refresh once the event loop runs.
    if (toolTip_.isEmpty())
        QTimer::singleShot(0, this, [this] { SetToolTip(toolTip_); });
}

void TTrayIcon::ModifyIcon()
{
    if (!active_)
        return;
    tray_->setIcon(icon_);
    tray_->setToolTip(toolTip_);
}

void TTrayIcon::DeleteIcon()
{
    waitForArea_->stop();
    tray_->hide();
}

bool TTrayIcon::Shown() const
{
    return active_ && tray_->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

void TTrayIcon::HandleMouse(int message)
{
    switch (message) {
    case LeftButtonUp:
        if (OnClick)
            OnClick(this);
        break;
    case LeftButtonDoubleClick:
        if (OnDblClick)
            OnDblClick(this);
        break;
    case RightButtonUp: RightClick(); break;
    default: break;
    }
}

void TTrayIcon::RightClick()
{
    const QPoint at = CursorPos();
    if (PopupMenu) {
        QCoreApplication::processEvents();
        // The menu opens with its right edge at the cursor.
        const QSize size = PopupMenu->sizeHint();
        PopupMenu->exec(QPoint(at.x() - size.width(), at.y()));
    }
    if (OnRightClick)
        OnRightClick(this, Qt::RightButton, Qt::NoModifier, at.x(), at.y());
}
