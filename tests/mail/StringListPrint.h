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
