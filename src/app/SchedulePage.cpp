// SchedulePage: TSchedulePage, the "Connexions automatiques" page: when the scheduled checks run
// (every N minutes, daily, weekly), the countdown to the next one, and how checks report.
#include "app/SchedulePage.h"

#include "app/Application.h"
#include "app/PageWidgets.h"
#include "app/SpinButton.h"
#include "platform/IniProfile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

namespace {

const QString kMainW = QStringLiteral("MainW");
const QString kLast = QStringLiteral("Last");

int hoursOf(const QString& time) { return time.mid(0, 2).toInt(); }
int minutesOf(const QString& time) { return time.mid(3, 2).toInt(); }

// A time h:m as a fraction of a day.
double dayFraction(const QString& time) { return (hoursOf(time) * 60 + minutesOf(time)) / 1440.0; }

// Nearest integer, halves to the even neighbour.
int nearest(double x) { return int(std::nearbyint(x)); }

// The text of a time field as shown, blanks of the input mask included, so characters are
// found at their positions (hours 1-2, minutes 4-5).
QString shownText(const QLineEdit* field) { return field->displayText(); }

QString twoDigits(int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }

QString plural(int n, const char* one, const char* many)
{
    return QString::number(n) + QString::fromUtf8(n >= 2 ? many : one);
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

TSpinButton* spin(const char* name, const QString& hint, QWidget* parent)
{
    auto* s = new TSpinButton(QString::fromLatin1(name), parent);
    s->setProperty("hint", hint);
    s->setToolTip(hint);
    return s;
}

} // namespace

TSchedulePage::TSchedulePage(std::function<QDateTime()> now, QWidget* parent) : QWidget(parent), now_(std::move(now))
{
    setObjectName(QStringLiteral("TabSheet4"));
    CreateControls();
    ConnectHandlers();
}

void TSchedulePage::CreateControls()
{
    auto* v = new QVBoxLayout(this);
    CheckBox1 = make<QCheckBox>("CheckBox1", this, QStringLiteral("Utiliser les connexions automatiques"));
    v->addWidget(CheckBox1);

    auto* modes = new QGridLayout;
    RadioButton1 = make<QRadioButton>("RadioButton1", this, QStringLiteral("Toutes les"));
    SpinEdit2 = make<QSpinBox>("SpinEdit2", this);
    SpinEdit2->setRange(5, 9999);
    SpinEdit2->setSingleStep(1);
    SpinEdit2->setValue(5);
    Label11 = label("Label11", QStringLiteral("minutes"), this);
    modes->addWidget(RadioButton1, 0, 0);
    modes->addWidget(SpinEdit2, 0, 1);
    modes->addWidget(Label11, 0, 2);

    RadioButton2 = make<QRadioButton>("RadioButton2", this, QStringLiteral("Tous les jours à"));
    Edit = timeField("Edit", this);
    HSpin = spin("HSpin", QStringLiteral("Heure"), this);
    MSpin = spin("MSpin", QStringLiteral("Minute"), this);
    auto* daily = new QHBoxLayout;
    daily->addWidget(HSpin);
    daily->addWidget(Edit);
    daily->addWidget(MSpin);
    daily->addStretch(1);
    modes->addWidget(RadioButton2, 1, 0);
    modes->addLayout(daily, 1, 1, 1, 3);

    RadioButton3 = make<QRadioButton>("RadioButton3", this, QStringLiteral("Tous les"));
    ComboBox2 = make<QComboBox>("ComboBox2", this);
    ComboBox2->addItems({QStringLiteral("Lundi"), QStringLiteral("Mardi"), QStringLiteral("Mercredi"),
                         QStringLiteral("Jeudi"), QStringLiteral("Vendredi"), QStringLiteral("Samedi"),
                         QStringLiteral("Dimanche")});
    Label15 = label("Label15", QStringLiteral("à"), this);
    EditH = timeField("EditH", this);
    HSpinH = spin("HSpinH", QStringLiteral("Heure"), this);
    MSpinH = spin("MSpinH", QStringLiteral("Minute"), this);
    auto* weekly = new QHBoxLayout;
    weekly->addWidget(ComboBox2);
    weekly->addWidget(Label15);
    weekly->addWidget(HSpinH);
    weekly->addWidget(EditH);
    weekly->addWidget(MSpinH);
    weekly->addStretch(1);
    modes->addWidget(RadioButton3, 2, 0);
    modes->addLayout(weekly, 2, 1, 1, 3);
    modes->setColumnStretch(3, 1);
    v->addLayout(modes);

    CheckBox2 = make<QCheckBox>("CheckBox2", this, QStringLiteral("Prévenir s'il n'y a aucun message"));
    CheckBox3 = make<QCheckBox>("CheckBox3", this, QStringLiteral("Connecter au démarrage"));
    CheckBox4 = make<QCheckBox>("CheckBox4", this, QStringLiteral("Ne vérifier que la messagerie courante"));
    v->addWidget(CheckBox2);
    v->addWidget(CheckBox3);
    v->addWidget(CheckBox4);
    Button9 = button("Button9", QStringLiteral("Son associé à la réception de messages..."), this);
    v->addWidget(Button9, 0, Qt::AlignLeft);
    v->addStretch(1);

    Timer2 = make<QTimer>("Timer2", this);
    Timer2->setInterval(60000);
}

void TSchedulePage::ConnectHandlers()
{
    auto on = [this](auto* sender, auto signal, void (TSchedulePage::*handler)()) {
        connect(sender, signal, this, [this, handler] { (this->*handler)(); });
    };
    on(CheckBox1, &QCheckBox::toggled, &TSchedulePage::CheckBox1Click);
    connect(RadioButton1, &QRadioButton::toggled, this, [this](bool on) { if (on) RadioButton1Click(); });
    connect(RadioButton2, &QRadioButton::toggled, this, [this](bool on) { if (on) RadioButton2Click(); });
    connect(RadioButton3, &QRadioButton::toggled, this, [this](bool on) { if (on) RadioButton3Click(); });
    on(SpinEdit2, &QSpinBox::textChanged, &TSchedulePage::SpinEdit2Change);
    on(Edit, &QLineEdit::textChanged, &TSchedulePage::EditChange);
    on(EditH, &QLineEdit::textChanged, &TSchedulePage::EditHChange);
    on(ComboBox2, qOverload<int>(&QComboBox::currentIndexChanged), &TSchedulePage::ComboBox2Change);
    on(HSpin, &TSpinButton::UpClick, &TSchedulePage::HSpinUpClick);
    on(HSpin, &TSpinButton::DownClick, &TSchedulePage::HSpinDownClick);
    on(MSpin, &TSpinButton::UpClick, &TSchedulePage::MSpinUpClick);
    on(MSpin, &TSpinButton::DownClick, &TSchedulePage::MSpinDownClick);
    on(HSpinH, &TSpinButton::UpClick, &TSchedulePage::HSpinHUpClick);
    on(HSpinH, &TSpinButton::DownClick, &TSchedulePage::HSpinHDownClick);
    on(MSpinH, &TSpinButton::UpClick, &TSchedulePage::MSpinHUpClick);
    on(MSpinH, &TSpinButton::DownClick, &TSchedulePage::MSpinHDownClick);
    // The minute tick is connected by the window, which reports what a check throws.
}

void TSchedulePage::Load(const IniProfile& ini)
{
    CheckBox1->setChecked(ini.ReadBool(kMainW, QStringLiteral("Automail"), false));
    CheckBox2->setChecked(ini.ReadBool(kMainW, QStringLiteral("PrevSiNo"), false));
    CheckBox3->setChecked(ini.ReadBool(kMainW, QStringLiteral("ConnectOnStart"), false));
    CheckBox4->setChecked(ini.ReadBool(kMainW, QStringLiteral("JustCurrentMess"), true));

    IntervalMinutes = ini.ReadInteger(kLast, QStringLiteral("Minute"), 30);
    SpinEdit2->setValue(IntervalMinutes);
    HeureQ = ini.ReadString(kLast, QStringLiteral("HeureQ"), QStringLiteral("00:00")).left(5);
    HeureH = ini.ReadString(kLast, QStringLiteral("HeureH"), QStringLiteral("00:00")).left(5);
    const int day = ini.ReadInteger(kLast, QStringLiteral("Jour"), 0);
    ComboBox2->setCurrentIndex(day >= 0 && day < ComboBox2->count() ? day : -1);
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

void TSchedulePage::Save(IniProfile& ini) const
{
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
}

bool TSchedulePage::Start()
{
    if (CheckBox1->isChecked())
        Timer2->start();
    else
        Timer2->stop();
    MinutesLeft = IntervalMinutes;
    return CheckBox1->isChecked() && CheckBox3->isChecked();
}

int TSchedulePage::IndexToDayOfWeek(int index) { return index == 6 ? 1 : index + 2; }

int TSchedulePage::DayOfWeekToIndex(int dayOfWeek) { return dayOfWeek == 1 ? 6 : dayOfWeek - 2; }

void TSchedulePage::Timer2Timer()
{
    if (!CheckBox1->isChecked())
        return;
    const QDateTime now = now_();
    const bool idle = !CheckRunning || !CheckRunning();
    auto due = [this] {
        if (OnDue)
            OnDue();
    };
    // A tick that falls while a check is still talking to the servers starts no second check.
    if (RadioButton1->isChecked()) {
        --MinutesLeft;
        if (MinutesLeft <= 0) {
            MinutesLeft = IntervalMinutes;
            if (idle)
                due();
        }
    } else if (RadioButton2->isChecked()) {
        if (now.time().hour() == hoursOf(HeureQ) && now.time().minute() == minutesOf(HeureQ) && idle)
            due();
    } else if (RadioButton3->isChecked()) {
        const int today = now.date().dayOfWeek() % 7 + 1;  // 1 = Sunday ... 7 = Saturday
        if (today == IndexToDayOfWeek(ComboBox2->currentIndex()) && now.time().hour() == hoursOf(HeureH)
            && now.time().minute() == minutesOf(HeureH) && idle)
            due();
    }
    UpdateNextConnection();
}

void TSchedulePage::CheckBox1Click()
{
    if (CheckBox1->isChecked())
        Timer2->start();
    else
        Timer2->stop();
    UpdateNextConnection();
}

void TSchedulePage::RadioButton1Click()
{
    for (QWidget* w : std::initializer_list<QWidget*>{SpinEdit2, Label11})
        w->setEnabled(true);
    for (QWidget* w : std::initializer_list<QWidget*>{HSpin, Edit, MSpin, ComboBox2, Label15, HSpinH, EditH, MSpinH})
        w->setEnabled(false);
    SpinEdit2Change();
    UpdateNextConnection();
}

void TSchedulePage::RadioButton2Click()
{
    for (QWidget* w : std::initializer_list<QWidget*>{HSpin, Edit, MSpin})
        w->setEnabled(true);
    for (QWidget* w : std::initializer_list<QWidget*>{SpinEdit2, Label11, ComboBox2, Label15, HSpinH, EditH, MSpinH})
        w->setEnabled(false);
    UpdateNextConnection();
}

void TSchedulePage::RadioButton3Click()
{
    for (QWidget* w : std::initializer_list<QWidget*>{ComboBox2, Label15, HSpinH, EditH, MSpinH})
        w->setEnabled(true);
    for (QWidget* w : std::initializer_list<QWidget*>{SpinEdit2, Label11, HSpin, Edit, MSpin})
        w->setEnabled(false);
    UpdateNextConnection();
}

void TSchedulePage::SpinEdit2Change()
{
    bool ok = false;
    const int value = SpinEdit2->text().trimmed().toInt(&ok);
    IntervalMinutes = ok ? value : 5;
    MinutesLeft = IntervalMinutes;
    Label11->setText(IntervalMinutes == 1 ? QStringLiteral("minute") : QStringLiteral("minutes"));
    UpdateNextConnection();
}

void TSchedulePage::ValidateTimeField(QLineEdit* field, QString& stored)
{
    if (editingTime_)
        return;
    editingTime_ = true;
    QString t = shownText(field).left(5);
    t.replace(QLatin1Char(' '), QLatin1Char('0'));
    field->setText(t);
    if (shownText(field).mid(0, 2).toInt() > 23)
        field->setText(stored.mid(0, 2) + QLatin1Char(':') + shownText(field).mid(3, 2));
    if (shownText(field).mid(3, 2).toInt() > 59)
        field->setText(shownText(field).mid(0, 2) + QLatin1Char(':') + stored.mid(3, 2));
    stored = shownText(field).left(5);
    editingTime_ = false;
    UpdateNextConnection();
}

void TSchedulePage::EditChange() { ValidateTimeField(Edit, HeureQ); }

void TSchedulePage::EditHChange() { ValidateTimeField(EditH, HeureH); }

void TSchedulePage::ComboBox2Change() { UpdateNextConnection(); }

void TSchedulePage::StepTimeField(QLineEdit* field, QString& stored, bool hours, int step)
{
    const QString t = shownText(field);
    const int h = t.mid(0, 2).toInt();
    const int m = t.mid(3, 2).toInt();
    const int value = hours ? h : m;
    const int limit = hours ? 23 : 59;
    const int next = value + step;
    if (next < 0 || next > limit)
        return;  // no wrap-around: the field stays as it is at a bound
    editingTime_ = true;
    field->setText(hours ? twoDigits(next) + QLatin1Char(':') + t.mid(3, 2)
                         : t.mid(0, 2) + QLatin1Char(':') + twoDigits(next));
    editingTime_ = false;
    stored = shownText(field).left(5);
    UpdateNextConnection();
}

void TSchedulePage::HSpinUpClick() { StepTimeField(Edit, HeureQ, true, +1); }
void TSchedulePage::HSpinDownClick() { StepTimeField(Edit, HeureQ, true, -1); }
void TSchedulePage::MSpinUpClick() { StepTimeField(Edit, HeureQ, false, +1); }
void TSchedulePage::MSpinDownClick() { StepTimeField(Edit, HeureQ, false, -1); }
void TSchedulePage::HSpinHUpClick() { StepTimeField(EditH, HeureH, true, +1); }
void TSchedulePage::HSpinHDownClick() { StepTimeField(EditH, HeureH, true, -1); }
void TSchedulePage::MSpinHUpClick() { StepTimeField(EditH, HeureH, false, +1); }
void TSchedulePage::MSpinHDownClick() { StepTimeField(EditH, HeureH, false, -1); }

void TSchedulePage::UpdateNextConnection()
{
    const QDateTime now = now_();
    const double nowFraction = now.time().msecsSinceStartOfDay() / 86400000.0;
    int n = MinutesLeft;
    if (RadioButton2->isChecked()) {
        const double d = dayFraction(HeureQ) - nowFraction;
        n = d >= 0 ? nearest(d * 1440) : nearest((d + 1) * 1440);
    } else if (RadioButton3->isChecked()) {
        const int chosen = ComboBox2->currentIndex();
        const int today = now.date().dayOfWeek() % 7 + 1;
        if (today == IndexToDayOfWeek(chosen)) {
            const double d = dayFraction(HeureH) - nowFraction;
            n = d >= 0 ? nearest(d * 1440) : nearest((d + 7) * 1440);
        } else {
            int index = DayOfWeekToIndex(today);
            int k = 0;
            while (index != chosen && k < 7) {
                index = index == 6 ? 0 : index + 1;
                ++k;
            }
            n = nearest(dayFraction(HeureH) * 1440) + k * 1440 - nearest(nowFraction * 1440);
        }
    }
    ShowNextConnection(n);
}

QString TSchedulePage::DurationText(int minutes)
{
    const int days = (minutes / 60) / 24;
    const int hours = (minutes / 60) % 24;
    const int mins = minutes % 60;
    QStringList parts;
    if (days != 0)
        parts << plural(days, " jour", " jours");
    if (hours != 0)
        parts << plural(hours, " heure", " heures");
    if (mins != 0)
        parts << plural(mins, " minute", " minutes");
    if (parts.size() == 3)
        return parts[0] + QStringLiteral(", ") + parts[1] + QStringLiteral(" et ") + parts[2];
    return parts.join(QStringLiteral(" et "));
}

void TSchedulePage::ShowNextConnection(int minutes)
{
    const QString joined = DurationText(minutes);
    const QString link = joined.isEmpty() ? QStringLiteral(" imminente...") : QStringLiteral(" dans ");
    const QString title = Application().Title;
    if (!OnNextConnection)
        return;
    if (CheckBox1->isChecked())
        OnNextConnection(title + QStringLiteral(" - Prochaine connexion automatique") + link + joined,
                         title + QStringLiteral(" - Connexion") + link + joined);
    else
        OnNextConnection(title, title);
}
