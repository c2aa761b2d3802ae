// Sign-in shared by the POP3 and SMTP sessions: the account's choice of method, the choice of a
// mechanism among those the server offers, and one SASL exchange (GNU SASL for PLAIN, LOGIN,
// CRAM-MD5 and SCRAM; XOAUTH2 and OAUTHBEARER written here as their single message).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TSaslEngine;

// How an account signs in. Stored accounts without a choice use Password, which is the program's
// original USER/PASS sign-in.
enum class TAuthMethod {
    Password,     // POP3 USER/PASS; SMTP AUTH PLAIN or LOGIN
    Automatic,    // the strongest mechanism the server offers
    Apop,         // POP3 APOP from the greeting's timestamp
    CramMd5,
    ScramSha256,
    ScramSha1,
    OAuth2,       // XOAUTH2 or OAUTHBEARER with an access token in place of the password
};

// The word stored in the settings file for a method, and back (an unknown word gives Password).
std::string AuthMethodKey(TAuthMethod Method);
TAuthMethod AuthMethodFromKey(const std::string& Key);

// Pseudo-mechanisms beside the SASL names: the POP3 USER/PASS pair and APOP.
inline constexpr char kMechUserPass[] = "USER";
inline constexpr char kMechApop[] = "APOP";

// What is known about the connection when a mechanism is chosen.
struct TSignInContext {
    bool Pop3 = true;                  // false for SMTP
    bool CapabilitiesKnown = false;    // the server answered CAPA (POP3) or EHLO (SMTP)
    std::vector<std::string> Offered;  // SASL mechanisms announced, upper-cased
    bool ApopOffered = false;          // the POP3 greeting carries a timestamp
    bool Encrypted = false;            // the connection runs over TLS
    bool ClearAllowed = false;         // the account's security is "Aucune"
    std::string Host;                  // for error texts
};

// The mechanism to use for Method: "USER", "APOP" or a SASL name. Raises std::runtime_error with
// a French text when the server offers nothing that fits, or when "Automatique" would have to send
// a password in clear over a connection that is not encrypted although the account asks for one.
std::string ChooseMechanism(TAuthMethod Method, const TSignInContext& Context);

// One client side of a SASL exchange. Messages in and out are base64 text, as on the wire.
class TSaslClient {
public:
    // Secret is the password, or the OAuth 2 access token for XOAUTH2 and OAUTHBEARER. Host and
    // Port go into the OAUTHBEARER message.
    TSaslClient(const std::string& Mechanism, const std::string& User, const std::string& Secret,
                const std::string& Host, int Port);
    ~TSaslClient();
    TSaslClient(const TSaslClient&) = delete;
    TSaslClient& operator=(const TSaslClient&) = delete;

    const std::string& Mechanism() const { return FMechanism; }
    // True when the mechanism speaks first; Initial() then gives its first message ("" when
    // empty, which the protocols write as "=").
    bool ClientFirst() const;
    std::string Initial();
    // The answer to a server challenge. Raises std::runtime_error when the challenge is not valid
    // for the mechanism (for SCRAM also when the server fails to prove it knows the password).
    std::string Step(const std::string& Challenge);

private:
    std::string FMechanism, FUser, FSecret, FHost;
    int FPort;
    std::unique_ptr<TSaslEngine> FLib;   // null for the mechanisms written here
    int FSteps = 0;
};

// The wire side of an exchange, given by the protocol.
struct TSaslWire {
    enum TKind { Continue, Success, Failure };
    std::string Command;                    // "AUTH"
    std::size_t MaxCommandLength = 255;     // longest command line, CR LF excluded
    std::function<void(const std::string&)> SendLine;
    std::function<std::string()> ReadLine;
    // Sorts a server line; for Continue, Payload gets the base64 challenge.
    std::function<TKind(const std::string& Line, std::string& Payload)> Classify;
};

// Runs one exchange: "AUTH <mechanism> [initial response]", then challenges and answers until the
// server says yes or no. Returns true when accepted; FinalLine gets the server's last line. Nothing
// of the exchange is reported anywhere. A mechanism error (a challenge it cannot answer) cancels
// the exchange with "*" and raises.
bool RunSaslExchange(TSaslClient& Client, const TSaslWire& Wire, std::string& FinalLine);

// The APOP digest: lower-case hex MD5 of the greeting's timestamp followed by the password.
std::string ApopDigest(const std::string& Timestamp, const std::string& Password);
// The timestamp of a POP3 greeting ("<...@...>"), empty when it has none.
std::string ApopTimestamp(const std::string& Greeting);
