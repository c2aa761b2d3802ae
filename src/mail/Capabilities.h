// TCapabilities: what a POP3 (CAPA) or SMTP (EHLO) server announces, shared by both sessions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// One capability per line: a keyword followed by arguments separated by blanks. The POP3 form
// ("SASL PLAIN LOGIN") and the SMTP form ("AUTH PLAIN LOGIN", "AUTH=PLAIN" from old servers) both
// give their mechanisms to SaslMechanisms(). Keywords compare without regard to letter case.
class TCapabilities {
public:
    TCapabilities() = default;

    // Forgets everything (a server that did not answer CAPA or EHLO has no capabilities).
    void Clear();
    // Adds one announced line, without its line end. For SMTP, the text after the reply code and
    // its separator ("250-" / "250 "); the first line of an EHLO reply (the greeting) is skipped
    // by the caller.
    void AddLine(std::string_view Line);

    bool Known() const { return FKnown; }
    // The server announced Keyword (for example "STLS", "STARTTLS", "PIPELINING", "UIDL").
    bool Has(std::string_view Keyword) const;
    // The arguments announced with Keyword, upper-cased; empty when absent or without arguments.
    std::vector<std::string> Arguments(std::string_view Keyword) const;
    // The SASL mechanisms announced (POP3 "SASL", SMTP "AUTH" and "AUTH="), upper-cased, in the
    // server's order, without repeats.
    std::vector<std::string> SaslMechanisms() const;

private:
    struct Entry {
        std::string Keyword;                 // upper-cased
        std::vector<std::string> Arguments;  // upper-cased
    };
    std::vector<Entry> FEntries;
    bool FKnown = false;
};
