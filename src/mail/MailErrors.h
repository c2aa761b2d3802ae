// Exceptions of the mail sessions that callers tell apart from other failures.
#pragma once

#include <stdexcept>
#include <string>

// The server refused the sign-in (user name, password, token or mechanism exchange).
class EAuthError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
