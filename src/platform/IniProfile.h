// IniProfile: the settings file, read and written one value at a time like a private profile.
#pragma once
#include <QString>
#include <memory>
#include <stdexcept>

// A write or erase that the file system refused. The message is the user's text
// "Impossible d'écrire dans <path>".
class EIniWriteError : public std::runtime_error {
public:
    explicit EIniWriteError(const QString& path);
    QString path() const { return path_; }
private:
    QString path_;
};

// Private-profile semantics over one INI file:
// - section and key names are compared without regard to case;
// - values are raw text (no escaping, no quoting); strings read back at most 2047 characters;
// - integers are decimal, or hexadecimal with a "0x"/"0X" prefix; Booleans are integers (not 0 = true);
// - a missing file, section or key, or a value that is not a number where one is expected, gives the
//   caller's default;
// - every call reads the file as it is on disk now (a parsed copy is reused only while the file
//   is the same one, with the same size and times, as when it was read);
// - every write replaces the file atomically (temporary file + rename), so a failed write leaves the
//   previous file intact, and the file is created with mode 0600 because it holds passwords;
// - every write holds an exclusive lock on the file's folder from reading to renaming, so writers
//   in several processes do not lose each other's updates, and removes the temporaries that
//   killed writers left behind;
// - a write that would leave the file as it is (the key already holds that value, or the section to
//   erase is not there) does not touch the file.
class IniProfile {
public:
    explicit IniProfile(QString path);

    const QString& path() const { return path_; }

    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    int ReadInteger(const QString& section, const QString& key, int def) const;
    bool ReadBool(const QString& section, const QString& key, bool def) const;

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);

    // Removes the section and all its keys; erasing a missing section is not an error.
    void EraseSection(const QString& section);

    bool SectionExists(const QString& section) const;
    bool KeyExists(const QString& section, const QString& key) const;

    // Parses an integer the way values are read: decimal with optional sign, or 0x hex.
    static bool ParseInteger(const QString& text, int& out);

    // While a Pin lives, the profile's reads use the file as it was when the pin was made: one look
    // at the file for many values read together (an account's keys). Writes are not affected, and
    // must not be made through the profile while it is pinned.
    class Pin {
    public:
        explicit Pin(const IniProfile& Profile);
        ~Pin();
        Pin(const Pin&) = delete;
        Pin& operator=(const Pin&) = delete;

    private:
        const IniProfile& profile_;
        bool owner_;
    };

private:
    // The parsed file for a read: the pinned one, or the file as it is now.
    std::shared_ptr<const void> document() const;

    QString path_;
    mutable std::shared_ptr<const void> pinned_;
};
