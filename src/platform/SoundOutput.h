// SoundOutput: the desktop's sound: wave files and the default beep.
#pragma once
#include <QString>
#include <memory>

class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // At least one audio output device is present.
    virtual bool HasWaveDevice() const = 0;
    // Starts playing a wave file and returns at once; a sound already playing is replaced.
    virtual void Play(const QString& path, bool loop) = 0;
    virtual void Stop() = 0;
    virtual bool IsPlaying() const = 0;
    // The default system beep.
    virtual void Beep() = 0;
};

// Qt Multimedia (QSoundEffect) and the application beep.
std::unique_ptr<SoundOutput> CreateQtSoundOutput();

// Length of a RIFF/WAVE file in milliseconds, 0 when it is not a readable wave file.
int WaveLengthMs(const QString& path);

// A recording stand-in for tests: it "plays" for as long as a test says.
class FakeSoundOutput : public SoundOutput {
public:
    bool device = true;
    bool playing = false;
    bool looping = false;
    QString lastPlayed;
    int plays = 0;
    int stops = 0;
    int beeps = 0;

    bool HasWaveDevice() const override { return device; }
    void Play(const QString& path, bool loop) override
    {
        lastPlayed = path;
        looping = loop;
        playing = true;
        ++plays;
    }
    void Stop() override
    {
        playing = false;
        ++stops;
    }
    bool IsPlaying() const override { return playing; }
    void Beep() override { ++beeps; }
};
