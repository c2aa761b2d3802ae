// Tests of TReceiveBuffer: lines taken from bytes that arrive in pieces of any size come out exactly
// as a plain split at each line feed would give them.
#include "net/SockSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Every line of Text, each with its line feed; the unfinished rest is left out.
std::vector<std::string> SplitLines(const std::string& Text)
{
    std::vector<std::string> Lines;
    std::size_t Start = 0;
    for (std::size_t At = Text.find('\n'); At != std::string::npos; At = Text.find('\n', Start)) {
        Lines.push_back(Text.substr(Start, At + 1 - Start));
        Start = At + 1;
    }
    return Lines;
}

// Lines of assorted lengths (empty ones, bare LF and CR LF, some longer than 64 bytes, some of
// exactly 63, 64 and 65), so line feeds fall everywhere relative to any block size.
std::string AssortedText(std::size_t Bytes)
{
    std::string Text;
    std::uint32_t Seed = 12345;
    auto Next = [&Seed] {
        Seed = Seed * 1103515245u + 12345u;
        return (Seed >> 16) & 0x7fff;
    };
    const std::size_t Fixed[] = {0, 1, 62, 63, 64, 65, 127, 128, 129};
    for (std::size_t I = 0; Text.size() < Bytes; ++I) {
        const std::size_t Length = I % 4 == 0 ? Fixed[(I / 4) % 9] : Next() % 200;
        for (std::size_t C = 0; C < Length; ++C)
            Text += static_cast<char>('a' + (I + C) % 26);
        Text += I % 3 == 0 ? "\r\n" : "\n";
    }
    return Text;
}

// Feeds Text in pieces of the given sizes (cycled), taking every complete line after each piece.
std::vector<std::string> FeedAndTake(TReceiveBuffer& Buffer, const std::string& Text,
                                     const std::vector<std::size_t>& Pieces)
{
    std::vector<std::string> Lines;
    std::size_t At = 0;
    for (std::size_t P = 0; At < Text.size(); ++P) {
        const std::size_t Length = std::min(Pieces[P % Pieces.size()], Text.size() - At);
        std::memcpy(Buffer.Reserve(Length), Text.data() + At, Length);
        Buffer.Commit(Length);
        At += Length;
        while (Buffer.HasLine())
            Lines.push_back(Buffer.TakeLine());
    }
    return Lines;
}

} // namespace

// Pieces of 1 byte, of sizes around 64, and of many kilobytes, over several times the storage's
// first size.
TEST(ReceiveBuffer, LinesMatchAPlainSplitWhateverThePieces)
{
    const std::string Text = AssortedText(400 * 1024) + "unfinished";
    const std::vector<std::string> Expected = SplitLines(Text);
    const std::vector<std::vector<std::size_t>> PieceSets = {
        {1}, {7, 63, 64, 65}, {64}, {1000, 3, 16383}, {131072}, {Text.size()}};
    for (const auto& Pieces : PieceSets) {
        TReceiveBuffer Buffer;
        const std::vector<std::string> Lines = FeedAndTake(Buffer, Text, Pieces);
        ASSERT_EQ(Lines.size(), Expected.size()) << "first piece size " << Pieces[0];
        for (std::size_t I = 0; I < Lines.size(); ++I)
            ASSERT_EQ(Lines[I], Expected[I]) << "line " << I << ", first piece size " << Pieces[0];
        EXPECT_EQ(Buffer.View(), "unfinished");
        EXPECT_FALSE(Buffer.HasLine());
    }
}

// A long line behind a short one fills the first storage, so the unread bytes are moved to the
// front by the short line's length; the search must then start afresh on the moved bytes. The line
// feed is put at every position around the point where that happens.
TEST(ReceiveBuffer, LongLineMovedToTheFront)
{
    const std::string First = std::string(59, 's') + "\n";
    for (std::size_t Piece : {1000u, 4093u}) {
        for (std::size_t LineFeed = 64960; LineFeed < 65540; ++LineFeed) {
            TReceiveBuffer Buffer;
            const std::string Long = std::string(LineFeed - First.size(), 'L') + "\n";
            const std::vector<std::string> Lines = FeedAndTake(Buffer, First + Long + std::string(5000, 'r'), {Piece});
            ASSERT_EQ(Lines.size(), 2u) << "line feed at " << LineFeed << ", pieces of " << Piece;
            ASSERT_TRUE(Lines[1] == Long) << "line feed at " << LineFeed << ", pieces of " << Piece;
        }
    }
}

// A line is not found before its line feed arrives, also when the bytes before it fill whole blocks
// that were already searched.
TEST(ReceiveBuffer, LineFeedArrivingLater)
{
    TReceiveBuffer Buffer;
    const std::string Head(150, 'h');
    Buffer.Append(Head.data(), Head.size());
    EXPECT_FALSE(Buffer.HasLine());
    Buffer.Append("t\n", 2);
    ASSERT_TRUE(Buffer.HasLine());
    EXPECT_EQ(Buffer.TakeLine(), Head + "t\n");
    EXPECT_TRUE(Buffer.Empty());
}

// New bytes after Clear land where old ones were: nothing found in the old bytes may be reused.
TEST(ReceiveBuffer, ClearForgetsWhatWasFound)
{
    TReceiveBuffer Buffer;
    std::string First(100, 'x');
    First[70] = '\n';
    Buffer.Append(First.data(), First.size());
    ASSERT_TRUE(Buffer.HasLine());
    EXPECT_EQ(Buffer.TakeLine().size(), 71u);
    Buffer.Clear();
    std::string Second(100, 'y');
    Second[10] = '\n';
    Second[90] = '\n';
    Buffer.Append(Second.data(), Second.size());
    EXPECT_EQ(Buffer.TakeLine(), Second.substr(0, 11));
    EXPECT_EQ(Buffer.TakeLine(), Second.substr(11, 80));
    EXPECT_EQ(Buffer.View(), Second.substr(91));
}

namespace {

// Bounded takes: a line no longer than Max comes whole, a longer one in pieces of Max bytes, and
// nothing comes while fewer than Max bytes without a line feed are held.
TEST(ReceiveBuffer, TakeUpToCutsLongLinesIntoPieces)
{
    struct Case {
        const char* name;
        std::string held;
        std::size_t max;
        std::vector<std::pair<std::string, bool>> takes;  // piece, complete
    };
    const Case cases[] = {
        {"short lines whole", "ab\r\ncd\n", 8, {{"ab\r\n", true}, {"cd\n", true}}},
        {"line of exactly Max", "abcd\n", 5, {{"abcd\n", true}}},
        {"long line in pieces", "abcdefgh\r\nz\n", 4, {{"abcd", false}, {"efgh", false}, {"\r\n", true}, {"z\n", true}}},
        {"unfinished tail waits", "abcdefg", 4, {{"abcd", false}}},
        {"nothing to take", "ab", 4, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TReceiveBuffer Buffer;
        Buffer.Append(c.held.data(), c.held.size());
        for (const auto& [piece, complete] : c.takes) {
            bool Complete = !complete;
            EXPECT_EQ(std::string(Buffer.TakeUpTo(c.max, Complete)), piece);
            EXPECT_EQ(Complete, complete);
        }
        bool Complete = true;
        EXPECT_TRUE(Buffer.TakeUpTo(c.max, Complete).empty());
        EXPECT_FALSE(Complete);
    }
}

} // namespace
