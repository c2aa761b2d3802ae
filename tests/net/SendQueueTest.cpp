// Tests of TSendQueue: queued bytes, then the stream read a block at a time, taken in pieces.
#include "net/SendQueue.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::string Pattern(std::size_t N, char Seed)
{
    std::string S(N, '\0');
    for (std::size_t I = 0; I < N; ++I)
        S[I] = static_cast<char>(Seed + I % 251);
    return S;
}

} // namespace

// Whatever the sizes, the bytes come out once each, in order: the queued ones, then the stream's;
// a stream shorter than announced gives what it has and says so.
TEST(SendQueue, BytesComeOutInOrderInPiecesOfAtMostMax)
{
    struct Case {
        std::size_t Queued, StreamSize, Announced, Max, Accept;  // Accept: bytes taken per piece (0 = all)
        bool Failed;
    };
    const std::size_t Block = TSendQueue::BlockSize;
    const Case Cases[] = {
        {10, 0, 0, 16383, 0, false},
        {40000, 0, 0, 16383, 0, false},
        {0, 40000, 40000, 16383, 0, false},
        {5, Block + 7, Block + 7, 16383, 1000, false},       // across a block boundary, taken partly
        {3, 2 * Block, 2 * Block, 16383, 0, false},
        {0, 1000, 5000, 16383, 0, true},                     // the stream ends early
        {7, 100, 60, 16383, 0, false},                       // only the announced bytes go
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(std::to_string(C.Queued) + "+" + std::to_string(C.StreamSize) + "/" + std::to_string(C.Announced));
        const std::string Queued = Pattern(C.Queued, 'a');
        const std::string Streamed = Pattern(C.StreamSize, 'A');
        std::istringstream Stream(Streamed);
        TSendQueue Queue;
        EXPECT_TRUE(Queue.Empty());
        Queue.Append(Queued.data(), Queued.size());
        if (C.Announced > 0)
            Queue.SetSource(Stream, static_cast<std::int64_t>(C.Announced));
        std::string Out;
        for (int Guard = 0; !Queue.Empty() && Guard < 100000; ++Guard) {
            const std::string_view Piece = Queue.Front(C.Max);
            ASSERT_LE(Piece.size(), C.Max);
            if (Piece.empty())
                break;
            const std::size_t Taken = C.Accept == 0 ? Piece.size() : std::min(C.Accept, Piece.size());
            Out.append(Piece.substr(0, Taken));
            Queue.Consume(Taken);
        }
        const std::string Expected = Queued + Streamed.substr(0, std::min(C.Announced, C.StreamSize));
        EXPECT_TRUE(Out == Expected) << Out.size() << " of " << Expected.size() << " bytes";
        EXPECT_TRUE(Queue.Empty());
        EXPECT_EQ(Queue.SourceFailed(), C.Failed);
    }
}

TEST(SendQueue, ClearForgetsQueuedBytesAndTheStream)
{
    std::istringstream Stream(Pattern(1000, 'x'));
    TSendQueue Queue;
    Queue.Append("QUIT\r\n", 6);
    Queue.SetSource(Stream, 1000);
    Queue.Consume(Queue.Front(3).size());
    Queue.Clear();
    EXPECT_TRUE(Queue.Empty());
    EXPECT_FALSE(Queue.HasSource());
    EXPECT_TRUE(Queue.Front(100).empty());
    Queue.Append("NOOP\r\n", 6);
    EXPECT_EQ(Queue.Front(100), "NOOP\r\n");
}
