// Fuzz target: a received message fed to the decoder line by line (the first byte chooses the
// size of the pieces long lines come in), then shown as the reader shows it.
#include "FuzzSupport.h"
#include "mail/BodyText.h"
#include "mail/HeaderText.h"
#include "mail/KTpop3.h"
#include "mail/MessageDecoder.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <sys/stat.h>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::StartApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    if (Size == 0)
        return 0;
    const std::size_t piece = Data[0] < 8 ? 1u << 20 : Data[0];
    const std::string_view wire(reinterpret_cast<const char*>(Data) + 1, Size - 1);
    TMailMessage message;
    try {
        TMessageDecoder decoder(message, fuzzsupport::ScratchFolder(), [](const std::string&) {});
        std::size_t at = 0;
        bool lineStart = true;
        while (at < wire.size()) {
            const std::size_t lf = wire.find('\n', at);
            const std::size_t lineEnd = lf == std::string_view::npos ? wire.size() : lf + 1;
            const std::size_t end = std::min(lineEnd, at + piece);
            const bool complete = end == lineEnd;
            decoder.Feed(wire.substr(at, end - at), lineStart, complete);
            lineStart = complete;
            at = end;
        }
        decoder.Finish();
    } catch (const std::runtime_error&) {
        // A file that could not be written: reported to the user, nothing more to check.
    }
    // Every file listed is in the folder with the size given.
    for (const TReceivedFile& file : message.Files) {
        struct stat st {};
        if (stat((fuzzsupport::ScratchFolder() + file.Name).c_str(), &st) != 0 || std::uint64_t(st.st_size) != file.Size)
            abort();
    }
    for (const std::string& line : UnfoldHeader(message.Header))
        DecodeHeaderText(line);
    BodyDisplayText(message, [](const QString& html) { return html; });
    fuzzsupport::EmptyScratchFolder();
    return 0;
}
