// Runs mail_examine.py (Python's email package) on a stored message, for checking what the
// mail layer produced or decoded against an independent parser.
#pragma once

#include <QString>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct InspectedPart {
    std::string contentType;        // lower case, e.g. "text/plain"
    std::string transferEncoding;   // lower case, empty when absent
    std::string filename;           // empty when the part names none
    std::string payload;            // the decoded bytes
};

struct InspectedMessage {
    std::vector<std::pair<std::string, std::string>> headers;  // top-level, in order
    bool isMultipart = false;
    std::vector<std::string> defects;
    std::vector<InspectedPart> parts;  // the leaf parts, in order
    // Value of the first header of that name (case ignored), or empty.
    std::string header(const std::string& Name) const;
    int headerCount(const std::string& Name) const;
};

// Parses the message file; decoded payloads go through OutDir. Throws on failure.
InspectedMessage inspectMessage(const QString& File, const QString& OutDir);

} // namespace testsupport
