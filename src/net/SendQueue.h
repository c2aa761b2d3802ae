// TSendQueue: bytes waiting to be sent, and the stream being sent, read lazily in blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <string_view>

// Queued bytes go out first, then the stream given to SetSource. The stream is read a block at a
// time while the bytes go out, so a large message is never held in memory whole; it must stay
// alive and unchanged until the queue is empty or cleared.
class TSendQueue {
public:
    TSendQueue() = default;
    TSendQueue(const TSendQueue&) = delete;
    TSendQueue& operator=(const TSendQueue&) = delete;

    bool Empty() const { return FOffset == FData.size() && FBlockOffset == FBlockLength && FSourceLeft == 0; }
    // Forgets every byte still queued and the stream (SourceFailed is kept for the sender to read).
    void Clear();

    void Append(const char* Data, std::size_t Length) { FData.append(Data, Length); }
    // Queues Size bytes of Source, from its current position, after the bytes already queued.
    void SetSource(std::istream& Source, std::int64_t Size);
    bool HasSource() const { return FSource != nullptr; }

    // The next bytes to send, at most Max; reads the next block of the stream when needed. Empty
    // when nothing is left, or when the stream ended early (SourceFailed then says so).
    std::string_view Front(std::size_t Max);
    // The first Count bytes of the last Front were accepted by the connection.
    void Consume(std::size_t Count);

    // The stream gave fewer bytes than announced.
    bool SourceFailed() const { return FSourceFailed; }
    void ResetSourceFailed() { FSourceFailed = false; }

    // Bytes of the stream read at a time.
    static constexpr std::size_t BlockSize = 256 * 1024;

private:
    std::string FData;                 // bytes queued by Append
    std::size_t FOffset = 0;
    std::unique_ptr<char[]> FBlock;    // the part of the stream being sent
    std::size_t FBlockLength = 0;
    std::size_t FBlockOffset = 0;
    std::istream* FSource = nullptr;   // stream still to be read
    std::int64_t FSourceLeft = 0;
    bool FSourceFailed = false;
};
