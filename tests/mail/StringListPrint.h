// Readable GoogleTest output for the mail string lists.
#pragma once

#include "mail/KTExtstr.h"

#include <ostream>

inline void PrintTo(const TStringList& List, std::ostream* Out)
{
    *Out << "{";
    for (int i = 0; i < List.Count(); ++i) {
        *Out << (i ? ", \"" : "\"");
        for (unsigned char c : List[i]) {
            if (c == '\r')
                *Out << "\\r";
            else if (c == '\n')
                *Out << "\\n";
            else
                *Out << c;
        }
        *Out << "\"";
    }
    *Out << "}";
}
inline void PrintTo(const TExStringList& List, std::ostream* Out) { PrintTo(static_cast<const TStringList&>(List), Out); }

// The shown text of a received message followed by one "[name]" entry per file written.
#include "mail/KTpop3.h"

inline std::string FileEntry(const std::string& Name) { return "[" + Name + "]"; }
inline TStringList BodyAndFiles(const TMailMessage& Message)
{
    TStringList all = Message.Body;
    for (const TReceivedFile& file : Message.Files)
        all.Add(FileEntry(file.Name));
    return all;
}
