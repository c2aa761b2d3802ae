// QtSoundOutput: wave files through Qt Multimedia's QSoundEffect, and the application beep.
#include "platform/SoundOutput.h"

#include <QApplication>
#include <QFile>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace {

class QtSoundOutput : public SoundOutput {
public:
    bool HasWaveDevice() const override { return !QMediaDevices::audioOutputs().isEmpty(); }

    void Play(const QString& path, bool loop) override
    {
        effect_.stop();
        effect_.setSource(QUrl::fromLocalFile(path));
        effect_.setLoopCount(loop ? QSoundEffect::Infinite : 1);
        effect_.play();
    }

    void Stop() override { effect_.stop(); }

    bool IsPlaying() const override { return effect_.isPlaying(); }

    void Beep() override { QApplication::beep(); }

private:
    QSoundEffect effect_;
};

quint32 le32(const QByteArray& b, int at)
{
    return quint32(quint8(b[at])) | quint32(quint8(b[at + 1])) << 8 | quint32(quint8(b[at + 2])) << 16
           | quint32(quint8(b[at + 3])) << 24;
}

} // namespace

std::unique_ptr<SoundOutput> CreateQtSoundOutput() { return std::make_unique<QtSoundOutput>(); }

int WaveLengthMs(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray head = f.read(12);
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
        return 0;
    quint32 byteRate = 0;
    // Walk the chunks: "fmt " gives the byte rate, "data" the length.
    while (!f.atEnd()) {
        const QByteArray chunk = f.read(8);
        if (chunk.size() < 8)
            return 0;
        const quint32 size = le32(chunk, 4);
        if (chunk.startsWith("fmt ")) {
            const QByteArray fmt = f.read(size);
            if (fmt.size() < 12)
                return 0;
            byteRate = le32(fmt, 8);
            if (size % 2)
                f.read(1);
        } else if (chunk.startsWith("data")) {
            return byteRate ? int(qint64(size) * 1000 / byteRate) : 0;
        } else if (!f.seek(f.pos() + size + (size % 2))) {
            return 0;
        }
    }
    return 0;
}
