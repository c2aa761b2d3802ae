// RecordingLauncher: a launcher for tests, with associations set by the test and a record of the
// programs started instead of starting them.
#pragma once
#include "platform/Launcher.h"

#include <QMap>
#include <QList>

class RecordingLauncher : public Launcher {
public:
    // The default program of a MIME type; an empty exec removes the association.
    void Associate(const QString& mimeType, const QString& exec) { associations_[mimeType] = exec; }
    // Makes every look-up fail as if the system could not run it.
    void FailLookups(bool fail) { failLookups_ = fail; }

    DefaultProgram DefaultProgramFor(const QString& mimeType) override
    {
        lookups_ << mimeType;
        DefaultProgram p;
        if (failLookups_) {
            p.status = DefaultProgram::Status::OutOfResources;
            return p;
        }
        p.exec = associations_.value(mimeType);
        p.status = p.exec.isEmpty() ? DefaultProgram::Status::NotFound : DefaultProgram::Status::Found;
        return p;
    }

    bool StartDetached(const QStringList& argv) override
    {
        started_ << argv;
        return true;
    }

    const QList<QStringList>& started() const { return started_; }
    const QStringList& lookups() const { return lookups_; }

private:
    QMap<QString, QString> associations_;
    bool failLookups_ = false;
    QStringList lookups_;
    QList<QStringList> started_;
};
