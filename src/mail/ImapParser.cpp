// TImapParser: turns the bytes an IMAP server sends into responses (TImapResponse, TImapValue).
#include "mail/ImapParser.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Upper(std::string_view S)
{
    std::string R(S);
    std::transform(R.begin(), R.end(), R.begin(), [](unsigned char C) { return char(std::toupper(C)); });
    return R;
}

bool EqualNoCase(std::string_view A, std::string_view B)
{
    return A.size() == B.size()
           && std::equal(A.begin(), A.end(), B.begin(), [](unsigned char X, unsigned char Y) {
                  return std::toupper(X) == std::toupper(Y);
              });
}

[[noreturn]] void Unreadable(const std::string& What)
{
    throw EImapProtocolError("Réponse du serveur IMAP illisible : " + What);
}

// Text of a line for an error message: short, and without control bytes.
std::string Shown(std::string_view Line)
{
    std::string R;
    for (char C : Line.substr(0, 80))
        R += static_cast<unsigned char>(C) < ' ' ? '?' : C;
    return "« " + R + (Line.size() > 80 ? "…" : "") + " »";
}

// The size in a literal marker "{n}" or "{n+}" that ends Text; false when Text ends otherwise.
bool LiteralMarker(std::string_view Text, std::uint64_t& Size, std::size_t& Start)
{
    if (Text.empty() || Text.back() != '}')
        return false;
    const std::size_t Open = Text.rfind('{');
    if (Open == std::string_view::npos)
        return false;
    std::string_view Digits = Text.substr(Open + 1, Text.size() - Open - 2);
    if (!Digits.empty() && Digits.back() == '+')
        Digits.remove_suffix(1);
    if (Digits.empty() || Digits.size() > 15)
        return false;
    Size = 0;
    for (char C : Digits) {
        if (C < '0' || C > '9')
            return false;
        Size = Size * 10 + std::uint64_t(C - '0');
    }
    Start = Open;
    return true;
}

// Reads the values of a response from its text pieces and literals.
class TReader {
public:
    TReader(const std::vector<std::string>& Texts, std::vector<TImapValue>& Literals)
        : FTexts(Texts), FLiterals(Literals) {}

    bool AtEnd()
    {
        SkipSpaces();
        return FPiece + 1 >= FTexts.size() && FPos >= FTexts[FPiece].size();
    }
    char Peek() const { return FPos < FTexts[FPiece].size() ? FTexts[FPiece][FPos] : '\0'; }
    void SkipSpaces()
    {
        while (FPos < FTexts[FPiece].size() && FTexts[FPiece][FPos] == ' ')
            ++FPos;
    }
    // The rest of the current piece.
    std::string Rest()
    {
        std::string R = FTexts[FPiece].substr(std::min(FPos, FTexts[FPiece].size()));
        FPos = FTexts[FPiece].size();
        return R;
    }
    // An atom: up to a space or parenthesis; a bracketed section ("BODY[HEADER.FIELDS (FROM)]")
    // is part of it, spaces and all.
    std::string Atom()
    {
        const std::string& T = FTexts[FPiece];
        const std::size_t Start = FPos;
        int Depth = 0;
        while (FPos < T.size()) {
            const char C = T[FPos];
            if (C == '[')
                ++Depth;
            else if (C == ']' && Depth > 0)
                --Depth;
            else if (Depth == 0 && (C == ' ' || C == '(' || C == ')'))
                break;
            else if (static_cast<unsigned char>(C) < ' ' || C == 0x7f || C == '"' || C == '{')
                Unreadable("caractère inattendu dans " + Shown(T));
            ++FPos;
        }
        if (Depth != 0)
            Unreadable("crochet non fermé dans " + Shown(T));
        return T.substr(Start, FPos - Start);
    }
    TImapValue Value(int Depth = 0)
    {
        SkipSpaces();
        const std::string& T = FTexts[FPiece];
        TImapValue V;
        if (FPos >= T.size())
            Unreadable("valeur attendue dans " + Shown(T));
        const char C = T[FPos];
        if (C == '(') {
            if (Depth > 32)
                Unreadable("listes imbriquées trop profondément");
            ++FPos;
            V.Kind = TImapValue::List;
            for (;;) {
                SkipSpaces();
                if (FPos >= FTexts[FPiece].size())
                    Unreadable("liste non fermée dans " + Shown(FTexts[FPiece]));
                if (FTexts[FPiece][FPos] == ')') {
                    ++FPos;
                    break;
                }
                V.Items.push_back(Value(Depth + 1));
            }
            return V;
        }
        if (C == '"') {
            V.Kind = TImapValue::String;
            for (++FPos;; ++FPos) {
                if (FPos >= T.size())
                    Unreadable("chaîne non fermée dans " + Shown(T));
                char D = T[FPos];
                if (D == '"')
                    break;
                if (D == '\\' && FPos + 1 < T.size())
                    D = T[++FPos];
                V.Text += D;
            }
            ++FPos;
            return V;
        }
        std::uint64_t Size;
        std::size_t Start;
        if (C == '{' && FPiece + 1 < FTexts.size() && LiteralMarker(T, Size, Start) && Start == FPos) {
            V = std::move(FLiterals[FPiece]);
            ++FPiece;
            FPos = 0;
            return V;
        }
        V.Text = Atom();
        if (V.Text.empty())
            Unreadable("valeur attendue dans " + Shown(T));
        V.Kind = EqualNoCase(V.Text, "NIL") ? TImapValue::Nil : TImapValue::Atom;
        if (V.Kind == TImapValue::Nil)
            V.Text.clear();
        return V;
    }

private:
    const std::vector<std::string>& FTexts;
    std::vector<TImapValue>& FLiterals;
    std::size_t FPiece = 0;
    std::size_t FPos = 0;
};

bool IsStatusWord(const std::string& W)
{
    return W == "OK" || W == "NO" || W == "BAD" || W == "PREAUTH" || W == "BYE";
}

// "[CODE data] text" after a status word.
void ReadStatus(TReader& R, TImapResponse& Out)
{
    std::string Rest = R.Rest();
    std::size_t I = Rest.find_first_not_of(' ');
    if (I == std::string::npos)
        return;
    if (Rest[I] == '[') {
        int Depth = 0;
        std::size_t J = I;
        for (; J < Rest.size(); ++J) {
            if (Rest[J] == '[')
                ++Depth;
            else if (Rest[J] == ']' && --Depth == 0)
                break;
        }
        if (J >= Rest.size())
            Unreadable("code de réponse non fermé dans " + Shown(Rest));
        const std::string Inside = Rest.substr(I + 1, J - I - 1);
        const std::size_t Space = Inside.find(' ');
        Out.Code = Upper(Inside.substr(0, Space));
        if (Space != std::string::npos)
            Out.CodeData = Inside.substr(Space + 1);
        I = J + 1;
        while (I < Rest.size() && Rest[I] == ' ')
            ++I;
    }
    Out.Text = Rest.substr(std::min(I, Rest.size()));
}

bool AllDigits(const std::string& S)
{
    return !S.empty() && S.size() <= 18 && std::all_of(S.begin(), S.end(), [](unsigned char C) { return std::isdigit(C); });
}

} // namespace

bool TImapValue::Is(std::string_view Word) const
{
    return Kind == Atom && EqualNoCase(Text, Word);
}

bool TImapValue::Number(std::uint64_t& Value) const
{
    if (Kind != Atom || !AllDigits(Text))
        return false;
    Value = std::stoull(Text);
    return true;
}

std::uint64_t TImapValue::NumberOr(std::uint64_t Fallback) const
{
    std::uint64_t V;
    return Number(V) ? V : Fallback;
}

const TImapValue* TImapResponse::Item(std::string_view Name, bool Prefix) const
{
    if (Values.empty() || Values[0].Kind != TImapValue::List)
        return nullptr;
    const auto& Items = Values[0].Items;
    for (std::size_t I = 0; I + 1 < Items.size(); I += 2) {
        const TImapValue& Key = Items[I];
        if (Key.Kind != TImapValue::Atom)
            continue;
        if (Prefix ? Key.Text.size() >= Name.size() && EqualNoCase(std::string_view(Key.Text).substr(0, Name.size()), Name)
                   : EqualNoCase(Key.Text, Name))
            return &Items[I + 1];
    }
    return nullptr;
}

void TImapParser::Reset()
{
    FLine.clear();
    FTexts.clear();
    FLiterals.clear();
    FHeld = 0;
    FLiteralLeft = 0;
    FStreaming = false;
    FReady.clear();
}

void TImapParser::Feed(std::string_view Data)
{
    while (!Data.empty()) {
        if (FLiteralLeft > 0) {
            const std::size_t N = std::size_t(std::min<std::uint64_t>(FLiteralLeft, Data.size()));
            FLiteralLeft -= N;
            if (FStreaming) {
                if (LiteralData)
                    LiteralData(Data.substr(0, N), FLiteralLeft == 0);
            } else {
                FLiterals.back().Text.append(Data.data(), N);
            }
            Data.remove_prefix(N);
            if (FLiteralLeft == 0)
                LiteralDone();
            continue;
        }
        const std::size_t Lf = Data.find('\n');
        const std::size_t N = Lf == std::string_view::npos ? Data.size() : Lf + 1;
        if (FLine.size() + N > kLineCap)
            throw EImapProtocolError("Réponse du serveur IMAP trop longue : une ligne dépasse "
                                     + std::to_string(kLineCap / 1024) + " Kio");
        FLine.append(Data.data(), N);
        Data.remove_prefix(N);
        if (Lf != std::string_view::npos)
            LineDone();
    }
}

void TImapParser::LineDone()
{
    std::string Line;
    Line.swap(FLine);
    Line.pop_back();
    if (!Line.empty() && Line.back() == '\r')
        Line.pop_back();
    FHeld += Line.size();
    if (FHeld > kResponseCap)
        throw EImapProtocolError("Réponse du serveur IMAP trop longue : plus de "
                                 + std::to_string(kResponseCap / (1024 * 1024)) + " Mio");
    std::uint64_t Size = 0;
    std::size_t Start = 0;
    // A literal marker ends the line only in data responses ("+ {5}" would be continuation text).
    const bool Continuation = FTexts.empty() && Line.rfind("+", 0) == 0;
    if (Continuation || !LiteralMarker(Line, Size, Start)) {
        FTexts.push_back(std::move(Line));
        Complete();
        return;
    }
    // The item a literal belongs to: the word before it, in an untagged FETCH response.
    std::string_view Before = std::string_view(Line).substr(0, Start);
    while (!Before.empty() && Before.back() == ' ')
        Before.remove_suffix(1);
    std::size_t WordStart = Before.size();
    int Depth = 0;
    while (WordStart > 0) {
        const char C = Before[WordStart - 1];
        if (C == ']')
            ++Depth;
        else if (C == '[')
            --Depth;
        else if (Depth == 0 && (C == ' ' || C == '('))
            break;
        --WordStart;
    }
    const std::string_view Item = Before.substr(WordStart);
    const std::string& First = FTexts.empty() ? Line : FTexts.front();
    const bool Fetch = First.rfind("* ", 0) == 0 && Upper(First.substr(0, 40)).find(" FETCH ") != std::string::npos;
    FStreaming = Fetch && StreamLiteral && StreamLiteral(Item, Size);
    if (!FStreaming && Size > kLiteralCap)
        throw EImapProtocolError("Réponse du serveur IMAP trop longue : un littéral de " + std::to_string(Size)
                                 + " octets dépasse " + std::to_string(kLiteralCap / 1024) + " Kio");
    if (!FStreaming && FHeld + Size > kResponseCap)
        throw EImapProtocolError("Réponse du serveur IMAP trop longue : plus de "
                                 + std::to_string(kResponseCap / (1024 * 1024)) + " Mio");
    TImapValue Literal;
    Literal.Kind = FStreaming ? TImapValue::Streamed : TImapValue::String;
    Literal.Size = Size;
    if (!FStreaming) {
        Literal.Text.reserve(std::size_t(Size));
        FHeld += std::size_t(Size);
    }
    FTexts.push_back(std::move(Line));
    FLiterals.push_back(std::move(Literal));
    FLiteralLeft = Size;
    if (Size == 0) {
        if (FStreaming && LiteralData)
            LiteralData({}, true);
        LiteralDone();
    }
}

void TImapParser::LiteralDone()
{
    FStreaming = false;
}

void TImapParser::Complete()
{
    TImapResponse Out;
    Out.Line = FTexts.front();
    TReader R(FTexts, FLiterals);
    const std::string First = R.Atom();
    if (First == "+") {
        Out.Kind = TImapResponse::Continuation;
        Out.Text = R.Rest();
        if (!Out.Text.empty() && Out.Text.front() == ' ')
            Out.Text.erase(0, 1);
    } else {
        if (First.empty() || R.Peek() != ' ')
            Unreadable(Shown(Out.Line));
        Out.Kind = First == "*" ? TImapResponse::Untagged : TImapResponse::Tagged;
        if (Out.Kind == TImapResponse::Tagged)
            Out.Tag = First;
        R.SkipSpaces();
        std::string Word = Upper(R.Atom());
        if (Out.Kind == TImapResponse::Untagged && AllDigits(Word)) {
            Out.HasNumber = true;
            Out.Number = std::stoull(Word);
            R.SkipSpaces();
            Word = Upper(R.Atom());
        }
        if (Word.empty())
            Unreadable(Shown(Out.Line));
        if (!Out.HasNumber && IsStatusWord(Word)) {
            if (Out.Kind == TImapResponse::Tagged && Word != "OK" && Word != "NO" && Word != "BAD")
                Unreadable(Shown(Out.Line));
            Out.Status = Word;
            ReadStatus(R, Out);
        } else {
            if (Out.Kind == TImapResponse::Tagged)
                Unreadable(Shown(Out.Line));
            Out.Name = Word;
            while (!R.AtEnd())
                Out.Values.push_back(R.Value());
        }
    }
    FTexts.clear();
    FLiterals.clear();
    FHeld = 0;
    FReady.push_back(std::move(Out));
}

bool TImapParser::Next(TImapResponse& Response)
{
    if (FReady.empty())
        return false;
    Response = std::move(FReady.front());
    FReady.pop_front();
    return true;
}

std::string ImapQuoted(std::string_view Text, bool& NeedsLiteral)
{
    NeedsLiteral = Text.size() > 1000;
    std::string R = "\"";
    for (char C : Text) {
        const unsigned char U = static_cast<unsigned char>(C);
        if (U == 0 || U == '\r' || U == '\n' || U >= 0x80)
            NeedsLiteral = true;
        if (C == '"' || C == '\\')
            R += '\\';
        R += C;
    }
    if (NeedsLiteral)
        return {};
    return R + "\"";
}
