// TSaslEngine: the client side of a mechanism that the SASL library runs (PLAIN, LOGIN, CRAM-MD5,
// SCRAM).
#pragma once

#include <memory>
#include <string>

class TSaslEngine {
public:
    virtual ~TSaslEngine() = default;
    // The answer to a server challenge ("" for the first message), base64 in and out. Raises
    // std::runtime_error when the challenge is not valid for the mechanism (for SCRAM also when
    // the server fails to prove it knows the password).
    virtual std::string Step64(const std::string& Challenge) = 0;
};

// Starts Mechanism for User with Secret. Raises std::runtime_error (French) when the library does
// not offer the mechanism. The library is linked only into the programs and modules that hold this
// function, so that a sign-in without SASL never loads it.
std::unique_ptr<TSaslEngine> NewSaslEngine(const std::string& Mechanism, const std::string& User,
                                           const std::string& Secret);
