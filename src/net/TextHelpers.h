// TextHelpers: small byte-string helpers shared by every layer (hexadecimal digits, ASCII letter
// case, blanks at both ends) and TFinally, which runs a cleanup on every way out of a scope.
#pragma once

#include <string>
#include <string_view>
#include <utility>

// The value of a hexadecimal digit (either case), or -1.
constexpr int HexValue(char C)
{
    return (C >= '0' && C <= '9') ? C - '0' : (C >= 'A' && C <= 'F') ? C - 'A' + 10 : (C >= 'a' && C <= 'f') ? C - 'a' + 10 : -1;
}

// The upper-case hexadecimal digit of the low four bits of V.
constexpr char HexDigit(unsigned V) { return "0123456789ABCDEF"[V & 15]; }

// S with its ASCII letters in lower (upper) case; other bytes are left as they are, so UTF-8 and
// 8-bit text pass through unchanged whatever the locale.
constexpr char LowerByte(char C) { return (C >= 'A' && C <= 'Z') ? char(C - 'A' + 'a') : C; }

inline std::string LowerAscii(std::string_view S)
{
    std::string R(S);
    for (char& C : R)
        C = LowerByte(C);
    return R;
}

inline std::string UpperAscii(std::string_view S)
{
    std::string R(S);
    for (char& C : R)
        if (C >= 'a' && C <= 'z')
            C = char(C - 'a' + 'A');
    return R;
}

inline bool IsBlankByte(char C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n'; }

// S without blanks, tabs, CR and LF at both ends.
inline std::string_view TrimBlanks(std::string_view S)
{
    while (!S.empty() && IsBlankByte(S.front()))
        S.remove_prefix(1);
    while (!S.empty() && IsBlankByte(S.back()))
        S.remove_suffix(1);
    return S;
}

// Runs Action on every way out of a scope.
template <typename F>
class TFinally {
public:
    explicit TFinally(F Action) : FAction(std::move(Action)) {}
    ~TFinally() { FAction(); }
    TFinally(const TFinally&) = delete;
    TFinally& operator=(const TFinally&) = delete;

private:
    F FAction;
};
