// Fuzz target: one header value through every reader of header text, with the invariants of the
// file names made from it.
#include "FuzzSupport.h"
#include "mail/HeaderText.h"
#include "mail/PartHeader.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzsupport::StartApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const std::string value(reinterpret_cast<const char*>(Data), Size);
    const QString text = DecodeHeaderText(value);
    if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')))
        abort();  // a decoded value stays on one line
    AddressesOf(value);
    DisplayDate(value);
    HeaderLineKind(value);
    HeaderLineKind(value, true);
    const mimepart::TFieldValue field = mimepart::ParseField(value);
    for (const auto& [name, param] : field.Params) {
        const std::string safe = mimepart::SafeFileName(DecodeHeaderText(param).toUtf8().toStdString());
        if (safe.find('/') != std::string::npos || safe == "." || safe == "..")
            abort();
        for (const std::size_t max : {std::size_t(17), std::size_t(255)})
            for (const int n : {0, 1, 12345})
                if (mimepart::NumberedName(safe, n, max).size() > max)
                    abort();  // the counter never takes a name past the limit
    }
    return 0;
}
