// Twav: TWAVPlayer, the sound player of the new-mail alert.
#include "alert/Twav.h"

#include "platform/SoundOutput.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

TWAVPlayer::TWAVPlayer(SoundOutput& output, QObject* parent) : QObject(parent), output_(output)
{
    wavCapable_ = output_.HasWaveDevice();
}

void TWAVPlayer::SetWAVCapable(bool)
{
    if (output_.HasWaveDevice())
        wavCapable_ = true;
}

void TWAVPlayer::Play()
{
    if (!wavCapable_ || !QFileInfo(FileName).isFile())
        return;
    const bool noInterrupt = SoundType == TSoundType::stAsyncNoInt || SoundType == TSoundType::stSyncNoInt
                             || SoundType == TSoundType::stLoopNoInt;
    if (noInterrupt && output_.IsPlaying())
        return;
    const bool loop = SoundType == TSoundType::stLoop || SoundType == TSoundType::stLoopNoInt;
    output_.Play(FileName, loop);
    if (SoundType != TSoundType::stSynchronous && SoundType != TSoundType::stSyncNoInt)
        return;
    // Synchronous: wait until the sound has finished, at most its length (plus the time it takes
    // the sound system to start), keeping the event loop running.
    const int limit = WaveLengthMs(FileName) + 1000;
    QElapsedTimer clock;
    clock.start();
    bool started = false;
    while (clock.elapsed() < limit) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const bool playing = output_.IsPlaying();
        if (started && !playing)
            break;
        started = started || playing;
        QThread::msleep(2);
    }
}
