// ECertificateError and certificate fingerprints; the TLS transport's interface.
#include "net/TlsTransport.h"

#include "net/TextHelpers.h"

#include <cctype>


// ---------------------------------------------------------------------------------------------
// Certificate errors and fingerprints

ECertificateError::ECertificateError(const std::string& Host, unsigned Problems, const std::string& Fingerprint)
    : ESockError("Le certificat du serveur " + Host + " n'est pas accepté : " + Reasons(Problems)
                 + (Fingerprint.empty() ? std::string(".") : ". Empreinte SHA-256 : " + Fingerprint),
                 seCertificate)
    , FProblems(Problems)
    , FFingerprint(Fingerprint)
{
}

std::string ECertificateError::Reasons(unsigned Problems)
{
    static const std::pair<unsigned, const char*> Words[] = {
        {cpUnknown, "certificat inconnu (autorité non reconnue)"},
        {cpExpired, "certificat expiré"},
        {cpNotYetValid, "certificat pas encore valable"},
        {cpNameMismatch, "nom ne correspondant pas au serveur"},
        {cpOther, "certificat invalide"},
    };
    std::string Text;
    for (const auto& [Bit, Word] : Words) {
        if ((Problems & Bit) == 0)
            continue;
        if (!Text.empty())
            Text += ", ";
        Text += Word;
    }
    return Text.empty() ? std::string("certificat invalide") : Text;
}

std::string NormalizeFingerprint(std::string_view Text)
{
    std::string Hex;
    for (char C : Text) {
        if (C == ':' || C == ' ' || C == '\t')
            continue;
        if (HexValue(C) < 0)
            return {};
        Hex += LowerByte(C);
    }
    return Hex.size() == 64 ? Hex : std::string();
}

bool FingerprintTrusted(const std::string& Trusted, const std::string& Fingerprint)
{
    const std::string Wanted = NormalizeFingerprint(Fingerprint);
    if (Wanted.empty())
        return false;
    std::size_t Start = 0;
    while (Start <= Trusted.size()) {
        std::size_t End = Trusted.find_first_of(",;\r\n", Start);
        if (End == std::string::npos)
            End = Trusted.size();
        if (NormalizeFingerprint(std::string_view(Trusted.data() + Start, End - Start)) == Wanted)
            return true;
        Start = End + 1;
    }
    return false;
}
