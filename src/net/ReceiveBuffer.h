// TReceiveBuffer: received bytes not yet taken by ReadLn, taken a line at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// Received bytes not yet taken by ReadLn. Lines are taken by advancing an offset; the storage is
// compacted only now and then, so a line costs one copy (the returned text) and no move of the rest.
class TReceiveBuffer {
public:
    TReceiveBuffer() = default;
    TReceiveBuffer(const TReceiveBuffer&) = delete;
    TReceiveBuffer& operator=(const TReceiveBuffer&) = delete;

    bool Empty() const { return FOffset == FSize; }
    std::size_t Size() const { return FSize - FOffset; }
    // The unread bytes, oldest first.
    std::string_view View() const { return std::string_view(FStore.get() + FOffset, FSize - FOffset); }
    // Drops every unread byte.
    void Clear();

    void Append(const char* Data, std::size_t Length);
    // Room for Length more bytes at the end; Commit(N) then adds the first N of them. Lets a
    // receive call write straight into the buffer.
    char* Reserve(std::size_t Length);
    void Commit(std::size_t Length) { FSize += Length; }
    // True when a line feed is among the unread bytes (scans only bytes not scanned before).
    bool HasLine() { return FLineEnd != std::string::npos || ScanForLine(); }
    // Takes the bytes up to and including the first line feed; HasLine() must be true.
    std::string TakeLine();
    // Takes the next line when it is at most Max bytes long (Complete = true), else its first Max
    // bytes (Complete = false); nothing while fewer than Max bytes and no line feed are held. The
    // view stays valid until the buffer is next changed.
    std::string_view TakeUpTo(std::size_t Max, bool& Complete);
    // Bytes held by the storage (for memory checks).
    std::size_t Capacity() const { return FCapacity; }

private:
    bool ScanForLine();

    std::unique_ptr<char[]> FStore;
    std::size_t FCapacity = 0;
    std::size_t FSize = 0;
    std::size_t FOffset = 0;
    std::size_t FScanned = 0;                  // index up to which no line feed was found
    std::size_t FLineEnd = std::string::npos;  // index of a known line feed
    std::size_t FMaskBlock = std::string::npos;  // start of the 64-byte block FMask describes
    std::uint64_t FMask = 0;                     // its line feeds, one bit per byte
};
