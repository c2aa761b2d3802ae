// TSendQueue: bytes waiting to be sent, and the stream being sent, read lazily in blocks.
#include "net/SendQueue.h"

#include <algorithm>

void TSendQueue::Clear()
{
    FData.clear();
    FOffset = 0;
    FBlock.reset();
    FBlockLength = 0;
    FBlockOffset = 0;
    FSource = nullptr;
    FSourceLeft = 0;
}

void TSendQueue::SetSource(std::istream& Source, std::int64_t Size)
{
    FSource = &Source;
    FSourceLeft = std::max<std::int64_t>(Size, 0);
    FSourceFailed = false;
}

std::string_view TSendQueue::Front(std::size_t Max)
{
    if (FOffset < FData.size())
        return std::string_view(FData.data() + FOffset, std::min(Max, FData.size() - FOffset));
    if (FBlockOffset == FBlockLength) {
        if (FSourceLeft == 0 || FSource == nullptr)
            return {};
        if (!FBlock)
            FBlock.reset(new char[BlockSize]);
        const auto Want = static_cast<std::size_t>(std::min<std::int64_t>(FSourceLeft, BlockSize));
        FSource->read(FBlock.get(), static_cast<std::streamsize>(Want));
        const auto Got = static_cast<std::size_t>(std::max<std::streamsize>(FSource->gcount(), 0));
        FBlockLength = Got;
        FBlockOffset = 0;
        FSourceLeft -= static_cast<std::int64_t>(Got);
        if (Got < Want) {
            FSourceFailed = true;
            FSourceLeft = 0;
        }
    }
    return std::string_view(FBlock.get() + FBlockOffset, std::min(Max, FBlockLength - FBlockOffset));
}

void TSendQueue::Consume(std::size_t Count)
{
    if (FOffset < FData.size()) {
        FOffset += std::min(Count, FData.size() - FOffset);
        if (FOffset == FData.size()) {
            FData.clear();
            FOffset = 0;
        }
    } else {
        FBlockOffset += std::min(Count, FBlockLength - FBlockOffset);
    }
}
