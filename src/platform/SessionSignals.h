// SessionSignals: the end-of-session requests (SIGTERM, SIGINT, SIGHUP) delivered on the event loop.
#pragma once
#include <QObject>

class QSocketNotifier;

// When the desktop session ends (or the program is interrupted), the program should end the way
// its own "Quitter" does: settings saved first. The signals are turned into a Qt signal on the
// event loop through a self-pipe. One instance per process.
class SessionSignals : public QObject {
    Q_OBJECT
public:
    explicit SessionSignals(QObject* parent = nullptr);
    ~SessionSignals() override;

signals:
    void EndRequested();

private:
    QSocketNotifier* notifier_ = nullptr;
};
