// Autostart: registers the program to start with the user's desktop session.
#pragma once
#include <QString>
#include <utility>

class Autostart {
public:
    virtual ~Autostart() = default;

    // Registers `name` to start `programFile` when the session starts; throws std::runtime_error
    // with the program's message when the entry cannot be written.
    virtual void Register(const QString& name, const QString& programFile) = 0;
    // Removes the entry `name`; an entry that does not exist is not an error. Throws when an
    // existing entry cannot be removed.
    virtual void Unregister(const QString& name) = 0;
};

// XDG autostart: one desktop entry "<name>.desktop" in $XDG_CONFIG_HOME/autostart (by default
// ~/.config/autostart), whose Exec is the program's full path.
class XdgAutostart : public Autostart {
public:
    // folder: where the entries live; empty = the user's autostart folder, found at each call.
    explicit XdgAutostart(QString folder = QString()) : folder_(std::move(folder)) {}

    void Register(const QString& name, const QString& programFile) override;
    void Unregister(const QString& name) override;

    QString Folder() const;
    QString EntryPath(const QString& name) const;

private:
    QString folder_;
};
