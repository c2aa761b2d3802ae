// TReceiveBuffer: received bytes not yet taken by ReadLn, taken a line at a time.
#include "net/ReceiveBuffer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

void TReceiveBuffer::Clear()
{
    FSize = 0;
    FOffset = 0;
    FScanned = 0;
    FLineEnd = std::string::npos;
    FMaskBlock = std::string::npos;
}

char* TReceiveBuffer::Reserve(std::size_t Length)
{
    if (FOffset == FSize)
        Clear();
    if (FCapacity - FSize < Length && FOffset > 0) {
        // Move the unread bytes to the front; this happens only when the tail is used up.
        std::memmove(FStore.get(), FStore.get() + FOffset, FSize - FOffset);
        FSize -= FOffset;
        FScanned -= std::min(FScanned, FOffset);
        if (FLineEnd != std::string::npos)
            FLineEnd -= FOffset;
        FOffset = 0;
        FMaskBlock = std::string::npos;
    }
    if (FCapacity - FSize < Length) {
        const std::size_t Wanted = std::max({FSize + Length, FCapacity + FCapacity / 2, std::size_t(64 * 1024)});
        std::unique_ptr<char[]> Store(new char[Wanted]);
        if (FSize > 0)
            std::memcpy(Store.get(), FStore.get(), FSize);
        FStore = std::move(Store);
        FCapacity = Wanted;
    }
    return FStore.get() + FSize;
}

void TReceiveBuffer::Append(const char* Data, std::size_t Length)
{
    if (Length == 0)
        return;
    std::memcpy(Reserve(Length), Data, Length);
    Commit(Length);
}

// Bit I of the result is set when P[I] is a line feed (I < 64).
static inline std::uint64_t LineFeedMask(const char* P)
{
#if defined(__SSE2__)
    const __m128i Lf = _mm_set1_epi8('\n');
    auto Part = [&](int At) {
        const __m128i Bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + At));
        return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(Bytes, Lf))));
    };
    return Part(0) | Part(16) << 16 | Part(32) << 32 | Part(48) << 48;
#else
    std::uint64_t Mask = 0;
    for (int I = 0; I < 64; ++I)
        Mask |= static_cast<std::uint64_t>(P[I] == '\n') << I;
    return Mask;
#endif
}

// Finds the next line feed 64 bytes at a time: the line feeds of one 64-byte block are found in
// one pass and kept as a bit mask, so the short lines of a mail transfer cost a shift and a count
// each instead of a search call. The partial block at the end is searched plainly.
bool TReceiveBuffer::ScanForLine()
{
    std::size_t From = std::max(FScanned, FOffset);
    const char* Store = FStore.get();
    while (From < FSize) {
        const std::size_t Block = From & ~std::size_t(63);
        if (Block != FMaskBlock) {
            if (Block + 64 > FSize) {
                const void* Found = std::memchr(Store + From, '\n', FSize - From);
                if (Found == nullptr)
                    break;
                FLineEnd = static_cast<std::size_t>(static_cast<const char*>(Found) - Store);
                FScanned = FLineEnd + 1;
                return true;
            }
            FMask = LineFeedMask(Store + Block);
            FMaskBlock = Block;
        }
        const std::uint64_t Mask = FMask >> (From - Block);
        if (Mask != 0) {
            FLineEnd = From + static_cast<std::size_t>(std::countr_zero(Mask));
            FScanned = FLineEnd + 1;
            return true;
        }
        From = Block + 64;
    }
    FScanned = FSize;
    return false;
}

std::string TReceiveBuffer::TakeLine()
{
    if (!HasLine())
        return {};
    std::string Line(FStore.get() + FOffset, FLineEnd + 1 - FOffset);
    FOffset = FLineEnd + 1;
    FLineEnd = std::string::npos;
    FScanned = std::max(FScanned, FOffset);
    return Line;
}

std::string_view TReceiveBuffer::TakeUpTo(std::size_t Max, bool& Complete)
{
    Complete = false;
    if (Max == 0)
        return {};
    if (HasLine() && FLineEnd + 1 - FOffset <= Max) {
        Complete = true;
        std::string_view Line(FStore.get() + FOffset, FLineEnd + 1 - FOffset);
        FOffset = FLineEnd + 1;
        FLineEnd = std::string::npos;
        FScanned = std::max(FScanned, FOffset);
        return Line;
    }
    if (Size() < Max)
        return {};
    std::string_view Piece(FStore.get() + FOffset, Max);
    FOffset += Max;
    FScanned = std::max(FScanned, FOffset);
    return Piece;
}
