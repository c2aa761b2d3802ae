// SchedulePage: TSchedulePage, the "Connexions automatiques" page: when the scheduled checks run
// (every N minutes, daily, weekly), the countdown to the next one, and how checks report.
#pragma once
#include <QDateTime>
#include <QString>
#include <QWidget>
#include <functional>

class IniProfile;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;
class TSpinButton;

class TSchedulePage : public QWidget {
    Q_OBJECT
public:
    // now: the clock the schedule reads (tests fix it).
    TSchedulePage(std::function<QDateTime()> now, QWidget* parent = nullptr);

    QCheckBox* CheckBox1 = nullptr; // scheduler on
    QRadioButton* RadioButton1 = nullptr;
    QSpinBox* SpinEdit2 = nullptr;
    QLabel* Label11 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QLineEdit* Edit = nullptr;
    TSpinButton* HSpin = nullptr;
    TSpinButton* MSpin = nullptr;
    QRadioButton* RadioButton3 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QLabel* Label15 = nullptr;
    QLineEdit* EditH = nullptr;
    TSpinButton* HSpinH = nullptr;
    TSpinButton* MSpinH = nullptr;
    QCheckBox* CheckBox2 = nullptr; // warn when there is no message
    QCheckBox* CheckBox3 = nullptr; // connect at start
    QCheckBox* CheckBox4 = nullptr; // current account only
    QPushButton* Button9 = nullptr; // alert sound (the window chooses it)
    QTimer* Timer2 = nullptr;       // minute tick

    int IntervalMinutes = 0; // every-N-minutes interval
    int MinutesLeft = 0;     // countdown to the next every-N-minutes check
    QString HeureQ;          // daily connection time, HH:MM
    QString HeureH;          // weekly connection time, HH:MM

    // A scheduled check is due.
    std::function<void()> OnDue;
    // A check is still talking to the servers: a tick then starts no second one.
    std::function<bool()> CheckRunning;
    // The countdown text for the window title and the tray icon's tool tip.
    std::function<void(const QString& Title, const QString& Tip)> OnNextConnection;

    void Load(const IniProfile& Ini);
    void Save(IniProfile& Ini) const;
    // After loading: the tick runs when the scheduler is on; true when a check is due at start.
    bool Start();

    void Timer2Timer();
    void CheckBox1Click();
    void RadioButton1Click();
    void RadioButton2Click();
    void RadioButton3Click();
    void SpinEdit2Change();
    void EditChange();
    void EditHChange();
    void ComboBox2Change();
    void HSpinUpClick();
    void HSpinDownClick();
    void MSpinUpClick();
    void MSpinDownClick();
    void HSpinHUpClick();
    void HSpinHDownClick();
    void MSpinHUpClick();
    void MSpinHDownClick();
    void UpdateNextConnection();
    void ShowNextConnection(int minutes);

    // Weekday numbering of the scheduler: index 0 = Monday ... 6 = Sunday; day-of-week numbers
    // 1 = Sunday, 2 = Monday ... 7 = Saturday.
    static int IndexToDayOfWeek(int index);
    static int DayOfWeekToIndex(int dayOfWeek);
    // Text of a duration in minutes: "2 jours, 3 heures et 5 minutes", "45 minutes", "" for 0.
    static QString DurationText(int minutes);

private:
    void CreateControls();
    void ConnectHandlers();
    void ValidateTimeField(QLineEdit* field, QString& stored);
    void StepTimeField(QLineEdit* field, QString& stored, bool hours, int step);

    std::function<QDateTime()> now_;
    bool editingTime_ = false;
};
