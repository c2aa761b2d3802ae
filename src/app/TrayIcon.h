// TrayIcon: TTrayIcon, the program's icon in the notification area, with its tip and pop-up menu.
#pragma once
#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>
#include <functional>

class QMenu;
class QSystemTrayIcon;
class QTimer;

class TTrayIcon : public QObject {
    Q_OBJECT
public:
    // Mouse notifications of the icon, numbered like the shell's.
    static constexpr int LeftButtonUp = 514;
    static constexpr int LeftButtonDoubleClick = 515;
    static constexpr int RightButtonUp = 517;
    static constexpr int MaxTipLength = 62;

    explicit TTrayIcon(QObject* parent = nullptr);
    ~TTrayIcon() override;

    bool Active() const { return active_; }
    void SetActive(bool active);
    const QIcon& Icon() const { return icon_; }
    void SetIcon(const QIcon& icon);
    const QString& ToolTip() const { return toolTip_; }
    // Keeps the first 62 characters.
    void SetToolTip(const QString& tip);

    QMenu* PopupMenu = nullptr;
    std::function<void(QObject*)> OnClick;
    std::function<void(QObject*)> OnDblClick;
    std::function<void(QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int)> OnRightClick;

    // Handles one mouse notification of the icon (left up, double click, right up).
    void HandleMouse(int message);

    // The icon is in a notification area now.
    bool Shown() const;
    QSystemTrayIcon* SystemIcon() const { return tray_; }
    // Where the pop-up menu opens; the cursor position unless a test sets it.
    std::function<QPoint()> CursorPos;

private:
    void AddIcon();
    void ModifyIcon();
    void DeleteIcon();
    void RightClick();

    QSystemTrayIcon* tray_;
    QTimer* waitForArea_;
    QIcon icon_;
    QString toolTip_;
    bool active_ = false;
};
