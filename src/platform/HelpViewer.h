// HelpViewer: shows the contents page of a help file (an HTML page beside the program).
#pragma once
#include <QString>
#include <QStringList>

class HelpViewer {
public:
    virtual ~HelpViewer() = default;
    // Shows the beginning (the contents) of the help file; a missing file is reported by the
    // viewer itself.
    virtual void ShowContents(const QString& helpFile) = 0;
};

// A viewer for tests: records the files it was asked to show.
class RecordingHelpViewer : public HelpViewer {
public:
    void ShowContents(const QString& helpFile) override { shown_ << helpFile; }
    const QStringList& shown() const { return shown_; }

private:
    QStringList shown_;
};
