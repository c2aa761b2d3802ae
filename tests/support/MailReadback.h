// Runs mail_readback.py (Python's email package, policy default) on a stored message: what a
// modern mail program makes of a message Brevicor sent.
#pragma once

#include <QString>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct ReadBackMessage {
    using Mailbox = std::pair<std::string, std::string>;  // display name, address
    std::string subject;
    std::vector<Mailbox> from, to, cc;
    bool dateOk = false;  // a Date with a time zone was found
    std::string messageId, inReplyTo, references;
    bool hasBody = false;
    std::string body;  // the plain text part, decoded, "\n" line ends
    std::vector<std::pair<std::string, std::string>> attachments;  // file name, bytes
    std::vector<std::string> defects;
};

// Throws std::runtime_error when the script fails.
ReadBackMessage readBackMessage(const QString& File, const QString& OutDir);

} // namespace testsupport
