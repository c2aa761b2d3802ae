// TCapabilities: what a POP3 (CAPA) or SMTP (EHLO) server announces.
#include "mail/Capabilities.h"

#include "net/TextHelpers.h"

#include <algorithm>
#include <cctype>

namespace {

std::vector<std::string> Words(std::string_view Line)
{
    std::vector<std::string> R;
    size_t I = 0;
    while (I < Line.size()) {
        while (I < Line.size() && (Line[I] == ' ' || Line[I] == '\t' || Line[I] == '\r' || Line[I] == '\n'))
            ++I;
        size_t Start = I;
        while (I < Line.size() && Line[I] != ' ' && Line[I] != '\t' && Line[I] != '\r' && Line[I] != '\n')
            ++I;
        if (I > Start)
            R.push_back(UpperAscii(Line.substr(Start, I - Start)));
    }
    return R;
}

} // namespace

void TCapabilities::Clear()
{
    FEntries.clear();
    FKnown = false;
}

void TCapabilities::AddLine(std::string_view Line)
{
    FKnown = true;
    std::vector<std::string> W = Words(Line);
    if (W.empty())
        return;
    Entry E;
    // "AUTH=PLAIN LOGIN": the old SMTP spelling of the AUTH keyword.
    const size_t Eq = W[0].find('=');
    if (Eq != std::string::npos) {
        E.Keyword = W[0].substr(0, Eq);
        if (Eq + 1 < W[0].size())
            E.Arguments.push_back(W[0].substr(Eq + 1));
    } else {
        E.Keyword = W[0];
    }
    E.Arguments.insert(E.Arguments.end(), W.begin() + 1, W.end());
    FEntries.push_back(std::move(E));
}

bool TCapabilities::Has(std::string_view Keyword) const
{
    const std::string K = UpperAscii(Keyword);
    return std::any_of(FEntries.begin(), FEntries.end(), [&](const Entry& E) { return E.Keyword == K; });
}

std::vector<std::string> TCapabilities::Arguments(std::string_view Keyword) const
{
    const std::string K = UpperAscii(Keyword);
    std::vector<std::string> R;
    for (const Entry& E : FEntries)
        if (E.Keyword == K)
            R.insert(R.end(), E.Arguments.begin(), E.Arguments.end());
    return R;
}

std::vector<std::string> TCapabilities::SaslMechanisms() const
{
    std::vector<std::string> R;
    for (const Entry& E : FEntries) {
        if (E.Keyword != "SASL" && E.Keyword != "AUTH")
            continue;
        for (const std::string& M : E.Arguments)
            if (std::find(R.begin(), R.end(), M) == R.end())
                R.push_back(M);
    }
    return R;
}
