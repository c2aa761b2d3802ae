// Sleeper: TSleeper, waits one interval while the event loop keeps running.
#include "app/Sleeper.h"

#include <QCoreApplication>
#include <QTimer>

TSleeper::TSleeper(QObject* parent) : QObject(parent), timer_(new QTimer(this))
{
    timer_->setSingleShot(false);
    connect(timer_, &QTimer::timeout, this, [this] { done_ = true; });
}

int TSleeper::Interval() const { return timer_ ? timer_->interval() : 0; }

void TSleeper::SetInterval(int milliseconds) { timer_->setInterval(milliseconds); }

void TSleeper::Wait()
{
    if (!timer_)
        return;
    done_ = false;
    timer_->start();
    // Each pass blocks until an event arrives, so the wait costs no processor time.
    while (!done_)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    timer_->stop();
}
