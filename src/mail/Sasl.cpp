// Sign-in shared by the POP3 and SMTP sessions: method choice, mechanism choice, SASL exchange.
#include "mail/Sasl.h"
#include "mail/SaslEngine.h"

#include "net/TextHelpers.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <algorithm>
#include <array>
#include <cctype>
#include <stdexcept>

namespace {

struct TMethodName {
    TAuthMethod Method;
    const char* Key;
};
constexpr std::array<TMethodName, 7> kMethodKeys{{
    {TAuthMethod::Password, "password"},
    {TAuthMethod::Automatic, "auto"},
    {TAuthMethod::Apop, "apop"},
    {TAuthMethod::CramMd5, "cram-md5"},
    {TAuthMethod::ScramSha256, "scram-sha-256"},
    {TAuthMethod::ScramSha1, "scram-sha-1"},
    {TAuthMethod::OAuth2, "oauth2"},
}};

// Mechanisms that never show the password to the server, strongest first.
constexpr std::array<const char*, 3> kStrongMechanisms{{"SCRAM-SHA-256", "SCRAM-SHA-1", "CRAM-MD5"}};

bool IsOAuth(const std::string& Mechanism) { return Mechanism == "XOAUTH2" || Mechanism == "OAUTHBEARER"; }

std::string NotOffered(const TSignInContext& C, const std::string& What)
{
    return "Le serveur " + C.Host + " ne propose pas la méthode d'authentification " + What;
}

std::string ToBase64(const std::string& Raw)
{
    return QByteArray::fromStdString(Raw).toBase64().toStdString();
}

// An OAUTHBEARER authorization identity: "," and "=" are written as "=2C" and "=3D".
std::string SaslName(const std::string& User)
{
    std::string out;
    for (char c : User) {
        if (c == ',')
            out += "=2C";
        else if (c == '=')
            out += "=3D";
        else
            out += c;
    }
    return out;
}

} // namespace

std::string AuthMethodKey(TAuthMethod Method)
{
    for (const auto& m : kMethodKeys)
        if (m.Method == Method)
            return m.Key;
    return "password";
}

TAuthMethod AuthMethodFromKey(const std::string& Key)
{
    const std::string k = LowerAscii(Key);
    for (const auto& m : kMethodKeys)
        if (k == m.Key)
            return m.Method;
    return TAuthMethod::Password;
}

std::string ChooseMechanism(TAuthMethod Method, const TSignInContext& C)
{
    auto offered = [&](const std::string& Name) {
        return std::find(C.Offered.begin(), C.Offered.end(), Name) != C.Offered.end();
    };
    // A fixed SASL mechanism is tried when the server said nothing about its mechanisms.
    auto fixed = [&](const std::string& Name) {
        if (C.CapabilitiesKnown && !offered(Name))
            throw std::runtime_error(NotOffered(C, Name));
        return Name;
    };

    if (Method == TAuthMethod::Apop && !C.Pop3)
        Method = TAuthMethod::Automatic;  // APOP exists only in POP3
    switch (Method) {
    case TAuthMethod::Password:
        if (C.Pop3)
            return kMechUserPass;
        if (offered("PLAIN") || !C.CapabilitiesKnown)
            return "PLAIN";
        if (offered("LOGIN"))
            return "LOGIN";
        throw std::runtime_error(NotOffered(C, "« Mot de passe »"));
    case TAuthMethod::Apop:
        if (!C.ApopOffered)
            throw std::runtime_error(NotOffered(C, "APOP"));
        return kMechApop;
    case TAuthMethod::CramMd5:
        return fixed("CRAM-MD5");
    case TAuthMethod::ScramSha256:
        return fixed("SCRAM-SHA-256");
    case TAuthMethod::ScramSha1:
        return fixed("SCRAM-SHA-1");
    case TAuthMethod::OAuth2:
        if (offered("OAUTHBEARER"))
            return "OAUTHBEARER";
        if (offered("XOAUTH2") || !C.CapabilitiesKnown)
            return "XOAUTH2";
        throw std::runtime_error(NotOffered(C, "OAuth 2"));
    case TAuthMethod::Automatic:
        break;
    }

    for (const char* strong : kStrongMechanisms)
        if (offered(strong))
            return strong;
    if (C.Pop3 && C.ApopOffered)
        return kMechApop;
    if (!C.Encrypted && !C.ClearAllowed)
        throw std::runtime_error("Le serveur " + C.Host
                                 + " ne propose aucune authentification sûre : le mot de passe ne sera pas envoyé en "
                                   "clair sur une connexion non chiffrée");
    if (offered("PLAIN"))
        return "PLAIN";
    if (offered("LOGIN"))
        return "LOGIN";
    if (C.Pop3)
        return kMechUserPass;
    throw std::runtime_error("Le serveur " + C.Host + " ne propose aucune méthode d'authentification");
}

// ---- TSaslClient ----

TSaslClient::TSaslClient(const std::string& Mechanism, const std::string& User, const std::string& Secret,
                         const std::string& Host, int Port)
    : FMechanism(Mechanism), FUser(User), FSecret(Secret), FHost(Host), FPort(Port)
{
    if (IsOAuth(FMechanism))
        return;
    FLib = NewSaslEngine(FMechanism, FUser, FSecret);
}

TSaslClient::~TSaslClient()
{
    // The secret does not outlive the exchange in this object's memory.
    std::fill(FSecret.begin(), FSecret.end(), '\0');
}

bool TSaslClient::ClientFirst() const
{
    return FMechanism != "LOGIN" && FMechanism != "CRAM-MD5";
}

std::string TSaslClient::Initial()
{
    ++FSteps;
    if (FMechanism == "XOAUTH2")
        return ToBase64("user=" + FUser + "\x01" "auth=Bearer " + FSecret + "\x01\x01");
    if (FMechanism == "OAUTHBEARER")
        return ToBase64("n,a=" + SaslName(FUser) + ",\x01" "host=" + FHost + "\x01" "port=" + std::to_string(FPort)
                        + "\x01" "auth=Bearer " + FSecret + "\x01\x01");
    return Step(std::string());
}

std::string TSaslClient::Step(const std::string& Challenge)
{
    if (!FLib) {
        // An OAuth 2 challenge after the single message is the server's error report; the
        // protocol wants one more (dummy) answer before the server says no.
        return FMechanism == "OAUTHBEARER" ? ToBase64("\x01") : std::string();
    }
    std::string answer = FLib->Step64(Challenge);
    ++FSteps;
    return answer;
}

// ---- Exchange ----

bool RunSaslExchange(TSaslClient& Client, const TSaslWire& Wire, std::string& FinalLine)
{
    std::string command = Wire.Command + " " + Client.Mechanism();
    std::string initial;
    bool initialPending = false;
    if (Client.ClientFirst()) {
        initial = Client.Initial();
        const std::string inLine = initial.empty() ? "=" : initial;
        // Too long for the command line: sent as the answer to the server's empty challenge.
        if (command.size() + 1 + inLine.size() <= Wire.MaxCommandLength)
            command += " " + inLine;
        else
            initialPending = true;
    }
    Wire.SendLine(command);
    for (int round = 0;; ++round) {
        const std::string line = Wire.ReadLine();
        std::string payload;
        const TSaslWire::TKind kind = Wire.Classify(line, payload);
        if (kind != TSaslWire::Continue) {
            FinalLine = line;
            return kind == TSaslWire::Success;
        }
        std::string answer;
        try {
            if (round >= 16)
                throw std::runtime_error("Échange d'authentification " + Client.Mechanism() + " sans fin");
            if (initialPending) {
                answer = initial;
                initialPending = false;
            } else {
                answer = Client.Step(payload);
            }
        } catch (...) {
            // Cancel the exchange; the server's answer to "*" is a refusal that nobody needs.
            // When the connection itself has failed, that failure is the one to report.
            try {
                Wire.SendLine("*");
                Wire.ReadLine();
            } catch (...) {
            }
            throw;
        }
        Wire.SendLine(answer);
    }
}

std::string ApopTimestamp(const std::string& Greeting)
{
    const size_t open = Greeting.find('<');
    if (open == std::string::npos)
        return {};
    const size_t close = Greeting.find('>', open);
    if (close == std::string::npos)
        return {};
    const std::string stamp = Greeting.substr(open, close - open + 1);
    return stamp.find('@') != std::string::npos ? stamp : std::string();
}

std::string ApopDigest(const std::string& Timestamp, const std::string& Password)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(Timestamp + Password), QCryptographicHash::Md5)
        .toHex()
        .toStdString();
}
