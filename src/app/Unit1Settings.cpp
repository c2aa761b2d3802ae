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

// Sets a radio button the way the form's property does: checking one unchecks its siblings;
// unchecking leaves the others as they are.
void setRadio(QRadioButton* radio, bool checked)
{
    if (radio->isChecked() == checked)
        return;
    if (checked) {
        radio->setChecked(true);
    } else {
        radio->setAutoExclusive(false);
        radio->setChecked(false);
        radio->setAutoExclusive(true);
    }
}

QString firstFive(const QString& text) { return text.left(5); }

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
        const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry() : QRect();
        const int w = ini.ReadInteger(kMainW, QStringLiteral("w"), 600);
        const int h = ini.ReadInteger(kMainW, QStringLiteral("h"), 400);
        resize(w, h);
        const int x = ini.ReadInteger(kMainW, QStringLiteral("x"), (screen.width() - width()) / 2);
        const int y = ini.ReadInteger(kMainW, QStringLiteral("y"), (screen.height() - height()) / 2);
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

    SetMemo2Height(ini.ReadInteger(kMainW, QStringLiteral("Memo2"), 60));

    AttachmentsFolder = ini.ReadString(kMainW, QStringLiteral("AttachmentsFolder"), QStringLiteral("c:\\"));

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

    CheckBox1->setChecked(ini.ReadBool(kMainW, QStringLiteral("Automail"), false));
    CheckBox2->setChecked(ini.ReadBool(kMainW, QStringLiteral("PrevSiNo"), false));
    CheckBox3->setChecked(ini.ReadBool(kMainW, QStringLiteral("ConnectOnStart"), false));
    CheckBox4->setChecked(ini.ReadBool(kMainW, QStringLiteral("JustCurrentMess"), true));

    IntervalMinutes = ini.ReadInteger(kLast, QStringLiteral("Minute"), 30);
    SpinEdit2->setValue(IntervalMinutes);

    HeureQ = firstFive(ini.ReadString(kLast, QStringLiteral("HeureQ"), QStringLiteral("00:00")));
    HeureH = firstFive(ini.ReadString(kLast, QStringLiteral("HeureH"), QStringLiteral("00:00")));

    const int day = ini.ReadInteger(kLast, QStringLiteral("Jour"), 0);
    ComboBox2->setCurrentIndex(day >= 0 && day < ComboBox2->count() ? day : -1);

    ShowOnStart->setChecked(ini.ReadBool(kLast, QStringLiteral("ShowOnStart"), true));
    WinStart->setChecked(ini.ReadBool(kLast, QStringLiteral("WinStart"), true));

    const QString daily = HeureQ;
    const QString weekly = HeureH;
    Edit->setText(daily);
    EditH->setText(weekly);

    setRadio(RadioButton1, ini.ReadBool(kLast, QStringLiteral("RadioButton1"), true));
    setRadio(RadioButton2, ini.ReadBool(kLast, QStringLiteral("RadioButton2"), false));
    setRadio(RadioButton3, ini.ReadBool(kLast, QStringLiteral("RadioButton3"), false));
    // The checked mode's handler runs once more, so its fields are enabled and the next
    // connection is shown.
    if (RadioButton1->isChecked())
        RadioButton1Click();
    if (RadioButton2->isChecked())
        RadioButton2Click();
    if (RadioButton3->isChecked())
        RadioButton3Click();
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

    TAccount shown;
    shown.Section = HostCombo->currentText();
    shown.Port = Edit2->text();
    shown.UserID = Edit3->text();
    shown.Password = Edit4->text();
    accounts.WriteCurrent(shown);
    ini.WriteInteger(kMainW, QStringLiteral("Memo2"), Memo2Height());
    ini.WriteString(kMainW, QStringLiteral("AttachmentsFolder"), AttachmentsFolder);

    writeList(ini, kAdresses, ComboBox107);
    writeList(ini, kNom, ComboBox105);
    writeList(ini, kEmail, ComboBox106);
    ini.WriteString(kNom, kText, ComboBox105->currentText());
    ini.WriteString(kEmail, kText, ComboBox106->currentText());

    ini.WriteBool(kMainW, QStringLiteral("Automail"), CheckBox1->isChecked());
    ini.WriteBool(kMainW, QStringLiteral("PrevSiNo"), CheckBox2->isChecked());
    ini.WriteBool(kMainW, QStringLiteral("ConnectOnStart"), CheckBox3->isChecked());
    ini.WriteBool(kMainW, QStringLiteral("JustCurrentMess"), CheckBox4->isChecked());

    ini.WriteInteger(kLast, QStringLiteral("Minute"), IntervalMinutes);
    ini.WriteBool(kLast, QStringLiteral("RadioButton1"), RadioButton1->isChecked());
    ini.WriteBool(kLast, QStringLiteral("RadioButton2"), RadioButton2->isChecked());
    ini.WriteString(kLast, QStringLiteral("HeureQ"), HeureQ);
    ini.WriteBool(kLast, QStringLiteral("RadioButton3"), RadioButton3->isChecked());
    ini.WriteInteger(kLast, QStringLiteral("Jour"), ComboBox2->currentIndex());
    ini.WriteString(kLast, QStringLiteral("HeureH"), HeureH);
    ini.WriteBool(kLast, QStringLiteral("ShowOnStart"), ShowOnStart->isChecked());
    ini.WriteBool(kLast, QStringLiteral("WinStart"), WinStart->isChecked());
}
