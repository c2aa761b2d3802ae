// Unit1Scheduler: the automatic connections: minute tick, mode fields, time fields, countdown text.
#include "app/Unit1.h"

#include "app/Application.h"
#include "app/Main.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <cmath>

#include "app/SpinButton.h"

namespace {

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

} // namespace

int TForm1::IndexToDayOfWeek(int index) { return index == 6 ? 1 : index + 2; }

int TForm1::DayOfWeekToIndex(int dayOfWeek) { return dayOfWeek == 1 ? 6 : dayOfWeek - 2; }

void TForm1::Timer2Timer()
{
    if (!CheckBox1->isChecked())
        return;
    const QDateTime now = context_.now();
    // A tick that falls while a check is still talking to the servers starts no second check.
    if (RadioButton1->isChecked()) {
        --MinutesLeft;
        if (MinutesLeft <= 0) {
            MinutesLeft = IntervalMinutes;
            if (!CheckRunning())
                CheckMail();
        }
    } else if (RadioButton2->isChecked()) {
        if (now.time().hour() == hoursOf(HeureQ) && now.time().minute() == minutesOf(HeureQ) && !CheckRunning())
            CheckMail();
    } else if (RadioButton3->isChecked()) {
        const int today = now.date().dayOfWeek() % 7 + 1;  // 1 = Sunday ... 7 = Saturday
        if (today == IndexToDayOfWeek(ComboBox2->currentIndex()) && now.time().hour() == hoursOf(HeureH)
            && now.time().minute() == minutesOf(HeureH) && !CheckRunning())
            CheckMail();
    }
    UpdateNextConnection();
}

void TForm1::CheckBox1Click()
{
    if (CheckBox1->isChecked())
        Timer2->start();
    else
        Timer2->stop();
    UpdateNextConnection();
}

void TForm1::RadioButton1Click()
{
    for (QWidget* w : std::initializer_list<QWidget*>{SpinEdit2, Label11})
        w->setEnabled(true);
    for (QWidget* w : std::initializer_list<QWidget*>{HSpin, Edit, MSpin, ComboBox2, Label15, HSpinH, EditH, MSpinH})
        w->setEnabled(false);
    SpinEdit2Change();
    UpdateNextConnection();
}

void TForm1::RadioButton2Click()
{
    for (QWidget* w : std::initializer_list<QWidget*>{HSpin, Edit, MSpin})
        w->setEnabled(true);
    for (QWidget* w : std::initializer_list<QWidget*>{SpinEdit2, Label11, ComboBox2, Label15, HSpinH, EditH, MSpinH})
        w->setEnabled(false);
    UpdateNextConnection();
}

void TForm1::RadioButton3Click()
{
    for (QWidget* w : std::initializer_list<QWidget*>{ComboBox2, Label15, HSpinH, EditH, MSpinH})
        w->setEnabled(true);
    for (QWidget* w : std::initializer_list<QWidget*>{SpinEdit2, Label11, HSpin, Edit, MSpin})
        w->setEnabled(false);
    UpdateNextConnection();
}

void TForm1::SpinEdit2Change()
{
    bool ok = false;
    const int value = SpinEdit2->text().trimmed().toInt(&ok);
    IntervalMinutes = ok ? value : 5;
    MinutesLeft = IntervalMinutes;
    Label11->setText(IntervalMinutes == 1 ? QStringLiteral("minute") : QStringLiteral("minutes"));
    UpdateNextConnection();
}

void TForm1::ValidateTimeField(QLineEdit* field, QString& stored)
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

void TForm1::EditChange() { ValidateTimeField(Edit, HeureQ); }

void TForm1::EditHChange() { ValidateTimeField(EditH, HeureH); }

void TForm1::ComboBox2Change() { UpdateNextConnection(); }

void TForm1::StepTimeField(QLineEdit* field, QString& stored, bool hours, int step)
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

void TForm1::HSpinUpClick() { StepTimeField(Edit, HeureQ, true, +1); }
void TForm1::HSpinDownClick() { StepTimeField(Edit, HeureQ, true, -1); }
void TForm1::MSpinUpClick() { StepTimeField(Edit, HeureQ, false, +1); }
void TForm1::MSpinDownClick() { StepTimeField(Edit, HeureQ, false, -1); }
void TForm1::HSpinHUpClick() { StepTimeField(EditH, HeureH, true, +1); }
void TForm1::HSpinHDownClick() { StepTimeField(EditH, HeureH, true, -1); }
void TForm1::MSpinHUpClick() { StepTimeField(EditH, HeureH, false, +1); }
void TForm1::MSpinHDownClick() { StepTimeField(EditH, HeureH, false, -1); }

void TForm1::UpdateNextConnection()
{
    const QDateTime now = context_.now();
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

QString TForm1::DurationText(int minutes)
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

void TForm1::ShowNextConnection(int minutes)
{
    const QString joined = DurationText(minutes);
    const QString link = joined.isEmpty() ? QStringLiteral(" imminente...") : QStringLiteral(" dans ");
    const QString title = Application().Title;
    if (CheckBox1->isChecked()) {
        setWindowTitle(title + QStringLiteral(" - Prochaine connexion automatique") + link + joined);
        hiddenForm_->SetToolTip(title + QStringLiteral(" - Connexion") + link + joined);
    } else {
        setWindowTitle(title);
        hiddenForm_->SetToolTip(title);
    }
}
