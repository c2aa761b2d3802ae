// Twav: TWAVPlayer, the sound player of the new-mail alert.
#pragma once
#include <QObject>
#include <QString>

class SoundOutput;

enum class TSoundType { stAsynchronous, stSynchronous, stLoop, stAsyncNoInt, stSyncNoInt, stLoopNoInt };

class TWAVPlayer : public QObject {
    Q_OBJECT
public:
    TWAVPlayer(SoundOutput& output, QObject* parent = nullptr);

    QString About;     // free text, not used
    QString FileName;  // the wave file to play
    TSoundType SoundType = TSoundType::stAsynchronous;

    bool WAVCapable() const { return wavCapable_; }
    // Assigning only repeats the device test; it never turns the capability off.
    void SetWAVCapable(bool);

    // Plays FileName the way SoundType says. Nothing happens without a device or without the file.
    // Asynchronous and loop modes return at once (a loop lasts until the next Play); synchronous
    // modes return when the sound has played, or after its length at the latest. "No interrupt"
    // modes leave a sound that is still playing alone.
    void Play();

private:
    SoundOutput& output_;
    bool wavCapable_ = false;
};
