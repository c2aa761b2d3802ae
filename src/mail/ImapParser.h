// TImapParser: turns the bytes an IMAP server sends into responses (TImapResponse, TImapValue);
// no socket, so it reads the same whether the bytes come from a connection or a test table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The server sent something that is not an IMAP response, or more than the parser will hold.
// The connection cannot be trusted after it: the session ends.
class EImapProtocolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One value of a response: an atom (numbers and flags included), a string (quoted or literal),
// NIL, a parenthesised list, or a literal that was streamed to the parser's sink instead of held.
class TImapValue {
public:
    enum TKind { Atom, String, Nil, List, Streamed };
    TKind Kind = Nil;
    std::string Text;                 // atom or string contents
    std::vector<TImapValue> Items;    // list members
    std::uint64_t Size = 0;           // streamed literal: its size

    // An atom equal to Word, letter case aside.
    bool Is(std::string_view Word) const;
    // The atom as a non-negative number; false when it is not one (or does not fit).
    bool Number(std::uint64_t& Value) const;
    std::uint64_t NumberOr(std::uint64_t Fallback) const;
    // Atom or string text; empty for NIL.
    const std::string& Str() const { return Text; }
};

class TImapResponse {
public:
    enum TKind { Tagged, Untagged, Continuation };
    TKind Kind = Untagged;
    std::string Tag;          // tagged responses
    // Status responses (OK, NO, BAD, PREAUTH, BYE), upper-cased; empty for data responses.
    std::string Status;
    std::string Code;         // response code keyword, upper-cased ("UIDNEXT", "CAPABILITY")
    std::string CodeData;     // what follows the keyword inside the brackets, as sent
    std::string Text;         // human-readable text of a status or continuation response
    // Data responses: "* 12 FETCH (...)" gives Number 12, Name "FETCH"; "* CAPABILITY ..." gives
    // Name "CAPABILITY". Upper-cased.
    bool HasNumber = false;
    std::uint64_t Number = 0;
    std::string Name;
    std::vector<TImapValue> Values;
    // The first line as received, without its line end (for error texts).
    std::string Line;

    bool IsStatus(std::string_view S) const { return Status == S; }
    // A FETCH item of a "* n FETCH (...)" response: the value after the item whose name is Name
    // (letter case aside); with Prefix, the first item whose name starts with Name. Null when absent.
    const TImapValue* Item(std::string_view Name, bool Prefix = false) const;
};

// Fed the bytes a server sends, in pieces of any size, it gives the responses in order. Memory
// stays bounded: a line outside literals over LineCap, a literal over LiteralCap, or a response
// holding more than ResponseCap raise EImapProtocolError. Literals that StreamLiteral accepts
// (message bodies) are not held: their bytes go to LiteralData as they arrive, whatever their size.
class TImapParser {
public:
    static constexpr std::size_t kLineCap = 256 * 1024;
    static constexpr std::size_t kLiteralCap = 1024 * 1024;
    static constexpr std::size_t kResponseCap = 4 * 1024 * 1024;

    // Asked for each literal of an untagged FETCH response with the item it belongs to (the word
    // before it, e.g. "BODY[]") and its size: true streams it.
    std::function<bool(std::string_view Item, std::uint64_t Size)> StreamLiteral;
    // The bytes of a streamed literal, in order; Last is true on the final call (which may bring
    // no bytes).
    std::function<void(std::string_view Data, bool Last)> LiteralData;

    // Takes the next bytes; complete responses become available to Next.
    void Feed(std::string_view Data);
    // Moves the oldest complete response into Response; false when none is complete yet.
    bool Next(TImapResponse& Response);
    // True when a response is partly received.
    bool InResponse() const { return !FLine.empty() || !FTexts.empty() || FLiteralLeft > 0; }
    // How many bytes of the current literal are still to come (0 outside literals).
    std::uint64_t LiteralLeft() const { return FLiteralLeft; }
    // Forgets everything received (a new connection).
    void Reset();

private:
    void LineDone();
    void LiteralDone();
    void Complete();

    std::string FLine;                     // the physical line being gathered
    std::vector<std::string> FTexts;       // text pieces of the response, each but the last ending in a literal marker
    std::vector<TImapValue> FLiterals;     // the literals after those pieces
    std::size_t FHeld = 0;                 // bytes held for the response
    std::uint64_t FLiteralLeft = 0;
    bool FStreaming = false;
    std::deque<TImapResponse> FReady;
};

// The text of a string argument in a command: a quoted string when it can be one, else empty and
// NeedsLiteral set (line breaks, NUL, eight-bit bytes or a long text go as a literal).
std::string ImapQuoted(std::string_view Text, bool& NeedsLiteral);
