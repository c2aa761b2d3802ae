// Sleeper: TSleeper, waits one interval while the event loop keeps running.
#pragma once
#include <QObject>

class QTimer;

class TSleeper : public QObject {
    Q_OBJECT
public:
    explicit TSleeper(QObject* parent = nullptr);

    int Interval() const;
    void SetInterval(int milliseconds);

    // Returns after one interval; events (timers, painting, input) are processed meanwhile.
    void Wait();

private:
    QTimer* timer_;
    bool done_ = false;
};
