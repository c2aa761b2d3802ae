// Fuzz target: server bytes through the IMAP response parser, fed whole and in small pieces; both
// must give the same responses, and streamed literals must add up to their announced size.
#include "mail/ImapParser.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The responses (first lines and streamed byte counts) the parser gives for the bytes, fed in
// pieces of Step bytes; the error text when it gives up.
std::vector<std::string> Parse(std::string_view Bytes, std::size_t Step)
{
    std::vector<std::string> Out;
    TImapParser Parser;
    std::uint64_t Announced = 0;
    std::uint64_t Streamed = 0;
    Parser.StreamLiteral = [&](std::string_view Item, std::uint64_t Size) {
        if (Item.find("BODY") == std::string_view::npos)
            return false;
        Announced = Size;
        Streamed = 0;
        return true;
    };
    Parser.LiteralData = [&](std::string_view Data, bool Last) {
        Streamed += Data.size();
        if (Streamed > Announced)
            abort();  // more streamed than the literal announced
        if (Last) {
            if (Streamed != Announced)
                abort();
            Out.push_back("streamed " + std::to_string(Streamed));
        }
    };
    const auto Collect = [&] {
        TImapResponse Response;
        while (Parser.Next(Response))
            Out.push_back(Response.Line + " #" + std::to_string(Response.Values.size()));
    };
    try {
        for (std::size_t At = 0; At < Bytes.size(); At += Step) {
            Parser.Feed(Bytes.substr(At, Step));
            Collect();
        }
    } catch (const EImapProtocolError& E) {
        // What was complete before the fault still counts.
        Collect();
        Out.push_back(std::string("error ") + E.what());
    }
    return Out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const std::string_view Bytes(reinterpret_cast<const char*>(Data), Size);
    if (Parse(Bytes, Bytes.size() + 1) != Parse(Bytes, 7))
        abort();  // the pieces the bytes come in change nothing
    return 0;
}
