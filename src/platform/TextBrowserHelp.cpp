// TextBrowserHelp: the help viewer, a small window that shows HTML help files.
#include "platform/TextBrowserHelp.h"

#include <QFileInfo>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

TextBrowserHelp::TextBrowserHelp() = default;

TextBrowserHelp::~TextBrowserHelp()
{
    delete window_.data();
}

QWidget* TextBrowserHelp::Window() const
{
    return window_.data();
}

void TextBrowserHelp::ShowContents(const QString& helpFile)
{
    if (!window_) {
        window_ = new QWidget(nullptr, Qt::Window);
        window_->setObjectName(QStringLiteral("HelpWindow"));
        window_->setAttribute(Qt::WA_QuitOnClose, false);
        window_->resize(560, 460);
        auto* layout = new QVBoxLayout(window_);
        layout->setContentsMargins(0, 0, 0, 0);
        browser_ = new QTextBrowser(window_);
        browser_->setObjectName(QStringLiteral("HelpBrowser"));
        browser_->setOpenExternalLinks(true);
        layout->addWidget(browser_);
        QObject::connect(browser_, &QTextBrowser::sourceChanged, window_, [this] {
            const QString title = browser_->documentTitle();
            window_->setWindowTitle(title.isEmpty() ? QStringLiteral("Aide") : title);
        });
    }

    const QFileInfo info(helpFile);
    if (info.isFile() && info.isReadable()) {
        // The help files are HTML whatever their extension; the contents page is their top.
        browser_->setSource(QUrl::fromLocalFile(info.absoluteFilePath()), QTextDocument::HtmlResource);
        browser_->verticalScrollBar()->setValue(0);
    } else {
        browser_->clearHistory();
        browser_->setHtml(QStringLiteral("<html><head><title>Aide</title></head><body>"
                                         "<p>Impossible d'ouvrir le fichier d'aide « %1 ».</p></body></html>")
                              .arg(helpFile.toHtmlEscaped()));
        window_->setWindowTitle(QStringLiteral("Aide"));
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}
