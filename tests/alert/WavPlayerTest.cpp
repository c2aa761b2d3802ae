// The sound player: device and file checks, the six play modes.
#include "alert/Twav.h"
#include "platform/SoundOutput.h"
#include "TestDirs.h"

#include <QTimer>
#include <gtest/gtest.h>

namespace {

// A mono 8 kHz 8-bit wave file of the given length.
std::string waveFile(int milliseconds)
{
    const uint32_t data = uint32_t(8 * milliseconds);
    auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    auto le16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
    std::string w = "RIFF" + le32(36 + data) + "WAVEfmt " + le32(16) + le16(1) + le16(1) + le32(8000) + le32(8000)
                    + le16(1) + le16(8) + "data" + le32(data);
    w += std::string(data, char(0x80));
    return w;
}

struct WavPlayerTest : ::testing::Test {
    testsupport::TempFolder dir;
    FakeSoundOutput out;
    QString file = dir.file("automail.wav");
    WavPlayerTest() { testsupport::writeFileBytes(file, waveFile(200)); }
};

TEST_F(WavPlayerTest, NeedsADeviceAndAnExistingFile)
{
    out.device = false;
    TWAVPlayer silent(out);
    silent.FileName = file;
    silent.Play();
    EXPECT_EQ(out.plays, 0);
    EXPECT_FALSE(silent.WAVCapable());
    silent.SetWAVCapable(true);  // only repeats the device test
    EXPECT_FALSE(silent.WAVCapable());

    out.device = true;
    TWAVPlayer player(out);
    EXPECT_TRUE(player.WAVCapable());
    out.device = false;
    player.SetWAVCapable(false);  // never turns the capability off
    EXPECT_TRUE(player.WAVCapable());
    player.FileName = dir.file("gone.wav");
    player.Play();
    EXPECT_EQ(out.plays, 0);
    player.FileName = file;
    player.Play();
    EXPECT_EQ(out.plays, 1);
    EXPECT_EQ(out.lastPlayed, file);
}

TEST_F(WavPlayerTest, ModesLoopAndInterruptAsNamed)
{
    TWAVPlayer player(out);
    player.FileName = file;
    const struct { TSoundType type; bool loops; bool interrupts; } cases[] = {
        {TSoundType::stAsynchronous, false, true}, {TSoundType::stLoop, true, true},
        {TSoundType::stAsyncNoInt, false, false},  {TSoundType::stLoopNoInt, true, false},
    };
    for (const auto& c : cases) {
        out.playing = true;  // a sound is still playing
        out.plays = 0;
        player.SoundType = c.type;
        player.Play();
        EXPECT_EQ(out.plays, c.interrupts ? 1 : 0) << int(c.type);
        if (c.interrupts) {
            EXPECT_EQ(out.looping, c.loops) << int(c.type);
        }
        out.playing = false;
        player.Play();
        EXPECT_EQ(out.looping, c.loops) << int(c.type);
    }
}

TEST_F(WavPlayerTest, SynchronousPlayReturnsWhenTheSoundHasPlayed)
{
    TWAVPlayer player(out);
    player.FileName = file;
    player.SoundType = TSoundType::stSynchronous;
    bool stoppedBeforeReturn = false;
    QTimer::singleShot(50, [&] {
        out.playing = false;  // the sound ends
        stoppedBeforeReturn = true;
    });
    player.Play();
    EXPECT_TRUE(stoppedBeforeReturn);
    EXPECT_EQ(out.plays, 1);
    EXPECT_FALSE(out.looping);
}

TEST_F(WavPlayerTest, WaveLengthComesFromTheHeader)
{
    EXPECT_EQ(WaveLengthMs(file), 200);
    testsupport::writeFileBytes(dir.file("junk.wav"), "not a wave file at all");
    EXPECT_EQ(WaveLengthMs(dir.file("junk.wav")), 0);
    EXPECT_EQ(WaveLengthMs(dir.file("missing.wav")), 0);
}

} // namespace
