// MailErrors: the exceptions of the mail protocols that callers tell apart from other failures.
#pragma once
#include <stdexcept>

// The server refused the sign-in (user name, password or mechanism). A protocol failure like any
// other (its text is the program's message), but the caller can tell a refused password from a
// server that could not be reached.
class EAuthError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
