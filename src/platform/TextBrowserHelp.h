// TextBrowserHelp: the help viewer, a small window that shows HTML help files.
#pragma once
#include "platform/HelpViewer.h"

#include <QPointer>

class QTextBrowser;
class QWidget;

class TextBrowserHelp : public HelpViewer {
public:
    TextBrowserHelp();
    ~TextBrowserHelp() override;

    void ShowContents(const QString& helpFile) override;

    // The help window, created at the first request (null before).
    QWidget* Window() const;
    QTextBrowser* Browser() const { return browser_; }

private:
    QPointer<QWidget> window_;
    QTextBrowser* browser_ = nullptr;
};
