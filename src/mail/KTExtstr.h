// TStringList, a list of byte strings, and TExStringList, a list of "Name: value" header lines.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

// An ordered list of strings. When Sorted is set, the entries are kept in ascending order,
// compared without regard to ASCII letter case, and Add inserts at the sorted place.
class TStringList {
public:
    TStringList() = default;
    TStringList(std::initializer_list<std::string> Items);
    virtual ~TStringList() = default;

    int Count() const { return int(items_.size()); }
    bool Empty() const { return items_.empty(); }
    const std::string& operator[](int Index) const { return items_.at(size_t(Index)); }
    const std::string& Strings(int Index) const { return items_.at(size_t(Index)); }
    // Replaces entry Index; on a sorted list the entry moves to its sorted place.
    void Put(int Index, const std::string& S);
    // Appends S (or inserts it at its sorted place); returns its index.
    int Add(const std::string& S);
    void Insert(int Index, const std::string& S);
    void Delete(int Index);
    void Clear() { items_.clear(); }
    // Index of the first entry equal to S (letter case ignored), or -1.
    int IndexOf(const std::string& S) const;
    // Copies the entries of Source; the list object itself stays.
    void Assign(const TStringList& Source) { items_ = Source.items_; }
    // The entries, each followed by CR LF.
    std::string Text() const;

    bool Sorted() const { return sorted_; }
    void SetSorted(bool Value);

    std::vector<std::string>::const_iterator begin() const { return items_.begin(); }
    std::vector<std::string>::const_iterator end() const { return items_.end(); }
    const std::vector<std::string>& Items() const { return items_; }

    // Letter-case-insensitive comparison used for sorting and lookups (<0, 0, >0).
    static int CompareText(const std::string& A, const std::string& B);

private:
    std::vector<std::string> items_;
    bool sorted_ = false;
};

bool operator==(const TStringList& A, const TStringList& B);

// Header lines "Name: value"; the name of an entry is the text before its first ":".
class TExStringList : public TStringList {
public:
    using TStringList::TStringList;
    // Index of the first entry with that name (letter case ignored, no trimming), or -1.
    // A sorted list is searched by halving.
    int IndexOfHeader(const std::string& Name) const;
    // Sets the entry of that name to "Name: Value", appending it when missing; an empty
    // Value deletes the entry.
    void SetHeader(const std::string& Name, const std::string& Value);
};

// Small text helpers shared by the mail components (bytes; ASCII letter case only).
namespace mailtext {
// True when Needle is not empty and occurs in Text.
bool Contains(const std::string& Text, const std::string& Needle);
// The line without its line end (CR LF, or a bare LF).
std::string StripLineEnd(const std::string& Line);
// Raises std::runtime_error "Caractère de fin de ligne interdit" when S holds a CR or LF (such a
// value would let a command argument start a command of its own), "Caractère nul interdit" when
// it holds a NUL (the command would be cut there).
void RequireNoLineBreak(const std::string& S);
// S with every CR, LF and NUL replaced by a blank, for header values.
std::string OneLine(std::string S);
} // namespace mailtext
