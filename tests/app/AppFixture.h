// A running set of Brevicor windows in a temporary program folder, with scripted dialogs.
#pragma once
#include "TestDirs.h"
#include "alert/salert.h"
#include "app/Main.h"
#include "app/Startup.h"
#include "app/Unit1.h"
#include "platform/Autostart.h"
#include "platform/HelpViewer.h"
#include "platform/IniProfile.h"
#include "platform/RecordingLauncher.h"
#include "platform/ScriptedDialogs.h"
#include "platform/SoundOutput.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

class AppFixture : public ::testing::Test {
protected:
    testsupport::TempFolder folder;
    ScriptedDialogs dialogs;
    FakeSoundOutput sound;
    RecordingLauncher launcher;
    XdgAutostart autostart{folder.file("config/autostart")};
    RecordingHelpViewer help;
    AppContext context;
    TWindows windows;

    AppFixture()
    {
        context.paths = ProgramPaths::forProgramFile(folder.file("brevicor"));
        context.dialogs = &dialogs;
        context.sound = &sound;
        context.launcher = &launcher;
        context.autostart = &autostart;
        context.help = &help;
        qputenv("XDG_CONFIG_HOME", folder.file("config").toUtf8());
        // The desktop's download folder, where received files go, is the test's own.
        QDir().mkpath(folder.file("config"));
        QFile dirs(folder.file("config/user-dirs.dirs"));
        if (dirs.open(QIODevice::WriteOnly))
            dirs.write("XDG_DOWNLOAD_DIR=\"" + downloadsFolder().toUtf8() + "\"\n");
    }

    // The desktop's download folder during the test.
    QString downloadsFolder() const { return folder.file("Téléchargements"); }

    QString iniPath() const { return context.paths.iniPath(); }
    IniProfile ini() const { return IniProfile(iniPath()); }

    // Creates the windows as the program does at start-up.
    TForm1& start()
    {
        windows = CreateWindows(context);
        return *windows.Form1;
    }
    // Closes everything, as if the program ended, so a later start() reads the saved file.
    void stop() { windows = TWindows(); }
    TForm1& form() { return *windows.Form1; }
};
