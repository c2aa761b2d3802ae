// TStringList, a list of byte strings, and TExStringList, a list of "Name: value" header lines.
#include "mail/KTExtstr.h"

#include "net/TextHelpers.h"

#include <algorithm>
#include <stdexcept>

namespace {

// The text before the first ":" (empty when there is none), as the sorted search compares it.
std::string NameOf(const std::string& Entry)
{
    const size_t colon = Entry.find(':');
    return colon == std::string::npos ? std::string() : Entry.substr(0, colon);
}

} // namespace

TStringList::TStringList(std::initializer_list<std::string> Items) : items_(Items) {}

int TStringList::CompareText(const std::string& A, const std::string& B)
{
    const size_t n = std::min(A.size(), B.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char a = static_cast<unsigned char>(LowerByte(A[i]));
        const unsigned char b = static_cast<unsigned char>(LowerByte(B[i]));
        if (a != b)
            return a < b ? -1 : 1;
    }
    return A.size() == B.size() ? 0 : (A.size() < B.size() ? -1 : 1);
}

int TStringList::Add(const std::string& S)
{
    if (!sorted_) {
        items_.push_back(S);
        return Count() - 1;
    }
    const auto at = std::upper_bound(items_.begin(), items_.end(), S,
                                     [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
    return int(items_.insert(at, S) - items_.begin());
}

void TStringList::Insert(int Index, const std::string& S)
{
    if (sorted_) {
        Add(S);
        return;
    }
    if (Index < 0 || Index > Count())
        throw std::out_of_range("Index de liste hors limites");
    items_.insert(items_.begin() + Index, S);
}

void TStringList::Put(int Index, const std::string& S)
{
    if (Index < 0 || Index >= Count())
        throw std::out_of_range("Index de liste hors limites");
    if (sorted_) {
        items_.erase(items_.begin() + Index);
        Add(S);
    } else {
        items_[size_t(Index)] = S;
    }
}

void TStringList::Delete(int Index)
{
    if (Index < 0 || Index >= Count())
        throw std::out_of_range("Index de liste hors limites");
    items_.erase(items_.begin() + Index);
}

int TStringList::IndexOf(const std::string& S) const
{
    for (int i = 0; i < Count(); ++i)
        if (CompareText(items_[size_t(i)], S) == 0)
            return i;
    return -1;
}

std::string TStringList::Text() const
{
    size_t total = 0;
    for (const auto& s : items_)
        total += s.size() + 2;
    std::string out;
    out.reserve(total);
    for (const auto& s : items_) {
        out += s;
        out += "\r\n";
    }
    return out;
}

void TStringList::SetSorted(bool Value)
{
    if (Value && !sorted_)
        std::stable_sort(items_.begin(), items_.end(),
                         [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
    sorted_ = Value;
}

bool operator==(const TStringList& A, const TStringList& B) { return A.Items() == B.Items(); }

int TExStringList::IndexOfHeader(const std::string& Name) const
{
    if (!Sorted()) {
        for (int i = 0; i < Count(); ++i) {
            const std::string& entry = (*this)[i];
            const size_t colon = entry.find(':');
            if (colon != std::string::npos && CompareText(entry.substr(0, colon), Name) == 0)
                return i;
        }
        return -1;
    }
    int lo = 0, hi = Count() - 1;
    while (lo <= hi) {
        const int mid = lo + (hi - lo) / 2;
        const int c = CompareText(NameOf((*this)[mid]), Name);
        if (c == 0)
            return mid;
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return -1;
}

void TExStringList::SetHeader(const std::string& Name, const std::string& Value)
{
    const int index = IndexOfHeader(Name);
    if (!Value.empty()) {
        const std::string line = Name + ": " + Value;
        if (index < 0)
            Add(line);
        else
            Put(index, line);
    } else if (index >= 0) {
        Delete(index);
    }
}

namespace mailtext {

bool Contains(const std::string& Text, const std::string& Needle)
{
    return !Needle.empty() && Text.find(Needle) != std::string::npos;
}

std::string StripLineEnd(const std::string& Line)
{
    size_t n = Line.size();
    if (n > 0 && Line[n - 1] == '\n') {
        --n;
        if (n > 0 && Line[n - 1] == '\r')
            --n;
    }
    return Line.substr(0, n);
}

void RequireNoLineBreak(const std::string& S)
{
    if (S.find_first_of("\r\n") != std::string::npos)
        throw std::runtime_error("Caractère de fin de ligne interdit");
    if (S.find('\0') != std::string::npos)
        throw std::runtime_error("Caractère nul interdit");
}

std::string OneLine(std::string S)
{
    for (auto& c : S)
        if (c == '\r' || c == '\n' || c == '\0')
            c = ' ';
    return S;
}

} // namespace mailtext
