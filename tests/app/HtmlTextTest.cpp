// HTML mail bodies as text, and nothing they refer to ever loaded.
#include "app/HtmlText.h"
#include "TestDirs.h"

#include <QTcpServer>
#include <gtest/gtest.h>

namespace {

TEST(HtmlToText, ShowsTheTextOfTheDocument)
{
    const std::pair<QString, QString> cases[] = {
        {"<html><body><p>Bonjour&nbsp;Marie,</p><p>&Agrave; lundi.</p></body></html>", "Bonjour Marie,\n\nÀ lundi."},
        {"Une ligne<br>une autre", "Une ligne\nune autre"},
        {"<div>un</div><div>deux</div>", "un\ndeux"},
        {"<ul><li>pain</li><li>lait</li></ul>", "• pain\n• lait"},
        {"<ol><li>un</li><li>deux</li></ol>", "1. un\n2. deux"},
        {"<p>Voir <a href=\"https://exemple.fr/offre\">notre offre</a> ici</p>",
         "Voir notre offre <https://exemple.fr/offre> ici"},
        {"<a href=\"https://exemple.fr/\">https://exemple.fr/</a>", "https://exemple.fr/"},
        {"<a href=\"mailto:jean@exemple.fr\">Jean</a>", "Jean <jean@exemple.fr>"},
        {"<a href=\"#haut\">haut</a>", "haut"},
        {"<head><title>Titre</title><style>p { color: red }</style></head><body><p>texte</p></body>", "texte"},
        {"<p>avant<img src=\"https://pistage.exemple/1.gif\" width=1 height=1>apr&egrave;s</p>", "avantaprès"},
        {"<table><tr><td>Total</td><td>12 &euro;</td></tr></table>", "Total\n12 €"},
        {"<p>a</p><p></p><p></p><p>b</p>", "a\n\nb"},
        {"<div>Oui.</div><blockquote>Vient-il ?<blockquote>Qui ?</blockquote></blockquote>", "Oui.\n\n> Vient-il ?\n\n>> Qui ?"},
        {"<script>alert('x')</script><noscript>n</noscript><p>corps</p>", "n\n\ncorps"}, // scripts never run here
    };
    for (const auto& [html, text] : cases)
        EXPECT_EQ(HtmlToText(html), text) << html.toStdString();
}

TEST(HtmlToText, LoadsNothingItRefersTo)
{
    // A server that would see any attempt to fetch an image or a style sheet.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const QString base = QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort());
    // A local style sheet that would hide the text if it were read.
    testsupport::TempFolder folder;
    testsupport::writeFileBytes(folder.file("cache.css"), "p { display: none; }");
    const QString html = "<html><head><link rel=\"stylesheet\" href=\"file://" + folder.file("cache.css")
                         + "\"><link rel=\"stylesheet\" href=\"" + base + "style.css\"></head><body>"
                         + "<p>visible</p><img src=\"" + base + "pixel.gif\"><img src=\"file://" + folder.file("cache.css")
                         + "\"></body></html>";
    EXPECT_EQ(HtmlToText(html), "visible");
    EXPECT_FALSE(server.waitForNewConnection(200));
}

} // namespace
