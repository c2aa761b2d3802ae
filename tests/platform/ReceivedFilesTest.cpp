// Where received files go, and opening them with the desktop's programs.
#include "platform/ReceivedFiles.h"
#include "platform/RecordingLauncher.h"
#include "TestDirs.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <stdexcept>

using testsupport::TempFolder;
using testsupport::writeFileBytes;

namespace {

class ReceivedFilesTest : public ::testing::Test {
protected:
    TempFolder folder;
    QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");

    // The desktop's download folder is the one named in the user's folder settings.
    void setDownloads(const QString& path)
    {
        qputenv("XDG_CONFIG_HOME", folder.file("config").toUtf8());
        writeFileBytes(folder.file("config/user-dirs.dirs"), "XDG_DOWNLOAD_DIR=\"" + path.toStdString() + "\"\n");
    }
    ~ReceivedFilesTest() override { qputenv("XDG_CONFIG_HOME", savedConfig); }
};

TEST_F(ReceivedFilesTest, StoredFolderWhenUsableElseDownloadsBrevicor)
{
    setDownloads(folder.file("Téléchargements"));
    QDir().mkpath(folder.file("mes pièces"));
    writeFileBytes(folder.file("un fichier"), "x");
    const QString fallback = folder.file("Téléchargements/Brevicor");
    const std::pair<QString, QString> cases[] = {
        {folder.file("mes pièces"), folder.file("mes pièces")},
        {"c:\\", fallback},                       // the first-run default means nothing here
        {folder.file("parti"), fallback},         // gone
        {folder.file("un fichier"), fallback},    // not a folder
    };
    for (const auto& [stored, expected] : cases) {
        EXPECT_EQ(ReceivedFilesFolder(stored), expected) << stored.toStdString();
        EXPECT_TRUE(QFileInfo(expected).isDir()) << stored.toStdString();
    }
}

TEST_F(ReceivedFilesTest, ADownloadFolderThatCannotBeMadeIsReported)
{
    writeFileBytes(folder.file("bloque"), "x");
    setDownloads(folder.file("bloque/dessous"));
    try {
        ReceivedFilesFolder("");
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()),
                  "Impossible de créer le dossier des pièces jointes : " + folder.file("bloque/dessous/Brevicor"));
    }
}

TEST_F(ReceivedFilesTest, OpeningFindsTheProgramOfTheTypeOrOfATypeItIsAKindOf)
{
    writeFileBytes(folder.file("compte rendu.pdf"), "%PDF-1.4\n");
    writeFileBytes(folder.file("liste.csv"), "a;b\n");
    writeFileBytes(folder.file("inconnu.zzz9"), std::string("\x01\x02\x03\x00", 4));
    writeFileBytes(folder.file("setup.exe"), "MZ");
    writeFileBytes(folder.file("outil.jar"), "PK\x03\x04");
    RecordingLauncher launcher;
    launcher.Associate("application/pdf", "evince %U");
    launcher.Associate("text/plain", "gedit %U");
    launcher.Associate("inode/directory", "nautilus %U");
    launcher.Associate("application/x-ms-dos-executable", "wine start %f");
    launcher.Associate("application/x-java-archive", "java -jar %f");

    const struct {
        const char* name;
        QStringList started; // empty: refused with the error
        QString error;
    } cases[] = {
        {"compte rendu.pdf", {"evince", folder.file("compte rendu.pdf")}, ""},
        {"liste.csv", {"gedit", folder.file("liste.csv")}, ""},
        {"", {"nautilus", folder.path()}, ""},
        {"inconnu.zzz9", {}, "Aucun programme n'est associé à ce type de fichier : inconnu.zzz9"},
        {"absent.txt", {}, "Le fichier « " + folder.file("absent.txt") + " » n'existe plus."},
        {"setup.exe", {}, "« setup.exe » est un programme"},
        {"outil.jar", {}, "« outil.jar » est un programme"},
    };
    for (const auto& c : cases) {
        const qsizetype before = launcher.started().size();
        QString error;
        try {
            OpenReceivedFile(launcher, *c.name ? folder.file(c.name) : folder.path());
        } catch (const std::runtime_error& e) {
            error = QString::fromUtf8(e.what());
        }
        if (c.started.isEmpty()) {
            EXPECT_TRUE(error.startsWith(c.error)) << c.name << ": " << error.toStdString();
            EXPECT_EQ(launcher.started().size(), before) << c.name;
        } else {
            EXPECT_EQ(error, "") << c.name;
            ASSERT_EQ(launcher.started().size(), before + 1) << c.name;
            EXPECT_EQ(launcher.started().back(), c.started) << c.name;
        }
    }
}

} // namespace
