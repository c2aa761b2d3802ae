// Unit1Settings: loading every setting into the main window at creation and saving them back.
#include "app/Unit1.h"

#include "app/AccountStore.h"
#include "app/ComboLists.h"
#include "platform/IniProfile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <algorithm>

namespace {
// Room left around the window for the desktop's frame and title bar.
const QSize kFrameAllowance(16, 48);
} // namespace

namespace {

const QString kMainW = QStringLiteral("MainW");
const QString kAdresses = QStringLiteral("Adresses");
const QString kNom = QStringLiteral("Nom");
const QString kEmail = QStringLiteral("Email");
const QString kLast = QStringLiteral("Last");
const QString kCount = QStringLiteral("Nombre");
const QString kText = QStringLiteral("Texte");

QStringList readList(const IniProfile& ini, const QString& section)
{
    QStringList items;
    const int n = ini.ReadInteger(section, kCount, 0);
    for (int i = 1; i <= n; ++i)
        items << ini.ReadString(section, QString::number(i), QString());
    return items;
}

// A list section is erased first, so no entry beyond the count survives.
void writeList(IniProfile& ini, const QString& section, const QComboBox* combo)
{
    ini.EraseSection(section);
    ini.WriteInteger(section, kCount, combo->count());
    for (int i = 0; i < combo->count(); ++i)
        ini.WriteString(section, QString::number(i + 1), combo->itemText(i));
}


} // namespace

void TForm1::LoadSettings()
{
    const IniProfile ini = Profile();

    const int connection = ini.ReadInteger(kMainW, QStringLiteral("ComboBox1"), 0);
    ComboBox1->setCurrentIndex(connection >= 0 && connection < ComboBox1->count() ? connection
                               : ComboBox1->count() > 0                           ? 0
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

    const TAccountStore accounts = Accounts();
    HostCombo->clear();
    HostCombo->addItems(accounts.ReadList());
    const TAccount current = accounts.ReadCurrent();
    HostCombo->setEditText(current.Name());
    Edit2->setText(current.Port);
    Edit3->setText(current.UserID);
    Edit4->setText(current.Password);
    ShowAccountSettings(current);

    SetMemo2Height(ini.ReadInteger(kMainW, QStringLiteral("Memo2"), 60));

    AttachmentsFolder = ini.ReadString(kMainW, QStringLiteral("AttachmentsFolder"), QStringLiteral("c:\\"));
    ComposeFolder = ini.ReadString(kMainW, QStringLiteral("ComposeFolder"), QString());

    const QStringList addresses = readList(ini, kAdresses);
    for (QComboBox* c : {ComboBox107, ComboBox108, ComboBox109}) {
        c->clear();
        c->addItems(addresses);
        c->setEditText(QString());
        SortComboItems(c);
    }
    ComboBox105->clear();
    ComboBox105->addItems(readList(ini, kNom));
    SortComboItems(ComboBox105);
    ComboBox106->clear();
    ComboBox106->addItems(readList(ini, kEmail));
    SortComboItems(ComboBox106);
    ComboBox105->setEditText(ini.ReadString(kNom, kText, QString()));
    ComboBox106->setEditText(ini.ReadString(kEmail, kText, QString()));

    ShowOnStart->setChecked(ini.ReadBool(kLast, QStringLiteral("ShowOnStart"), true));
    WinStart->setChecked(ini.ReadBool(kLast, QStringLiteral("WinStart"), true));

    Schedule->Load(ini);
}

void TForm1::SaveSettings()
{
    IniProfile ini = Profile();

    ini.EraseSection(kMainW);
    ini.WriteInteger(kMainW, QStringLiteral("ComboBox1"), ComboBox1->currentIndex());
    ini.WriteInteger(kMainW, QStringLiteral("x"), x());
    ini.WriteInteger(kMainW, QStringLiteral("y"), y());
    ini.WriteInteger(kMainW, QStringLiteral("w"), width());
    ini.WriteInteger(kMainW, QStringLiteral("h"), height());
    ini.WriteBool(kMainW, QStringLiteral("Maxi"), isMaximized());

    TAccountStore accounts = Accounts();
    QStringList listed;
    for (int i = 0; i < HostCombo->count(); ++i)
        listed << HostCombo->itemText(i);
    accounts.WriteList(listed);

    SaveAccount();

    TAccount shown = AccountFromFields();
    shown.Section = HostCombo->currentText();
    accounts.WriteCurrent(shown);
    ini.WriteInteger(kMainW, QStringLiteral("Memo2"), Memo2Height());
    ini.WriteString(kMainW, QStringLiteral("AttachmentsFolder"), AttachmentsFolder);
    if (!ComposeFolder.isEmpty() || !ini.ReadString(kMainW, QStringLiteral("ComposeFolder"), QString()).isEmpty())
        ini.WriteString(kMainW, QStringLiteral("ComposeFolder"), ComposeFolder);

    writeList(ini, kAdresses, ComboBox107);
    writeList(ini, kNom, ComboBox105);
    writeList(ini, kEmail, ComboBox106);
    ini.WriteString(kNom, kText, ComboBox105->currentText());
    ini.WriteString(kEmail, kText, ComboBox106->currentText());

    Schedule->Save(ini);

    ini.WriteBool(kLast, QStringLiteral("ShowOnStart"), ShowOnStart->isChecked());
    ini.WriteBool(kLast, QStringLiteral("WinStart"), WinStart->isChecked());
}
