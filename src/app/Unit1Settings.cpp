// Unit1Settings: loading every setting into the main window at creation and saving them back.
#include "app/Unit1.h"

#include "app/AccountStore.h"
#include "platform/IniProfile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <algorithm>

namespace {
// Room left around the window for the desktop's frame and title bar.
const QSize kFrameAllowance(16, 48);

const QString kMainW = QStringLiteral("MainW");
const QString kLast = QStringLiteral("Last");

} // namespace

void TForm1::LoadSettings()
{
    const IniProfile ini = Profile();

    QComboBox* entries = Server->ComboBox1;
    const int connection = ini.ReadInteger(kMainW, QStringLiteral("ComboBox1"), 0);
    entries->setCurrentIndex(connection >= 0 && connection < entries->count() ? connection
                             : entries->count() > 0                         ? 0
                                                                            : -1);

    if (ini.ReadBool(kMainW, QStringLiteral("Maxi"), false)) {
        setWindowState(windowState() | Qt::WindowMaximized);
    } else {
        const QRect screen =
            QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry() : QRect();
        // A stored size smaller than the controls need (an older, smaller default) opens large
        // enough to show them all; none opens larger than the screen's free area (at a large
        // scale the pages shrink, or scroll).
        const QSize least = PageControl1->minimumSizeHint() + QSize(0, StatusBar1->sizeHint().height());
        const int w = ini.ReadInteger(kMainW, QStringLiteral("w"), DefaultWidth);
        const int h = ini.ReadInteger(kMainW, QStringLiteral("h"), DefaultHeight);
        QSize size(std::max(w, least.width()), std::max(h, least.height()));
        if (screen.isValid())
            size = size.boundedTo(screen.size() - kFrameAllowance);
        resize(size);
        // Centred with its frame.
        int x = ini.ReadInteger(kMainW, QStringLiteral("x"),
                                screen.x() + (screen.width() - width() - kFrameAllowance.width()) / 2);
        int y = ini.ReadInteger(kMainW, QStringLiteral("y"),
                                screen.y() + (screen.height() - height() - kFrameAllowance.height()) / 2);
        if (screen.isValid()) {
            x = std::clamp(x, screen.left(), std::max(screen.left(), screen.right() + 1 - width() - kFrameAllowance.width()));
            y = std::clamp(y, screen.top(), std::max(screen.top(), screen.bottom() + 1 - height() - kFrameAllowance.height()));
        }
        move(x, y);
    }

    const TAccountStore accounts = Accounts->Store();
    Server->HostCombo->clear();
    Server->HostCombo->addItems(accounts.ReadList());
    const TAccount current = accounts.ReadCurrent();
    Server->HostCombo->setEditText(current.Name());
    Server->ShowAccount(current);

    Reader->SetMemo2Height(ini.ReadInteger(kMainW, QStringLiteral("Memo2"), 60));

    Messages->AttachmentsFolder = ini.ReadString(kMainW, QStringLiteral("AttachmentsFolder"), QStringLiteral("c:\\"));
    Compose->Load(ini);

    Server->ShowOnStart->setChecked(ini.ReadBool(kLast, QStringLiteral("ShowOnStart"), true));
    Server->WinStart->setChecked(ini.ReadBool(kLast, QStringLiteral("WinStart"), true));

    Schedule->Load(ini);
}

void TForm1::SaveSettings()
{
    IniProfile ini = Profile();

    ini.EraseSection(kMainW);
    ini.WriteInteger(kMainW, QStringLiteral("ComboBox1"), Server->ComboBox1->currentIndex());
    ini.WriteInteger(kMainW, QStringLiteral("x"), x());
    ini.WriteInteger(kMainW, QStringLiteral("y"), y());
    ini.WriteInteger(kMainW, QStringLiteral("w"), width());
    ini.WriteInteger(kMainW, QStringLiteral("h"), height());
    ini.WriteBool(kMainW, QStringLiteral("Maxi"), isMaximized());

    TAccountStore accounts = Accounts->Store();
    accounts.WriteList(Server->Listed());

    Accounts->SaveAccount();

    TAccount shown = Server->AccountFromFields();
    shown.Section = Server->HostCombo->currentText();
    accounts.WriteCurrent(shown);
    ini.WriteInteger(kMainW, QStringLiteral("Memo2"), Reader->Memo2Height());
    ini.WriteString(kMainW, QStringLiteral("AttachmentsFolder"), Messages->AttachmentsFolder);
    Compose->Save(ini);

    Schedule->Save(ini);

    ini.WriteBool(kLast, QStringLiteral("ShowOnStart"), Server->ShowOnStart->isChecked());
    ini.WriteBool(kLast, QStringLiteral("WinStart"), Server->WinStart->isChecked());
}
