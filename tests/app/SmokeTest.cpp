// The real program, started in a temporary program folder: it starts, and ends cleanly when asked.
#include "TestDirs.h"
#include "platform/IniProfile.h"

#include <QFile>
#include <QDir>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

namespace {

// True once the process has installed a handler for SIGTERM (its "SigCgt" mask has bit 15).
bool waitForTermHandler(qint64 pid)
{
    for (int i = 0; i < 600; ++i) {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n')) {
                if (line.startsWith("SigCgt:")) {
                    const qulonglong mask = line.mid(7).trimmed().toULongLong(nullptr, 16);
                    if (mask & (1ULL << (SIGTERM - 1)))
                        return true;
                }
            }
        }
        QThread::msleep(50);
    }
    return false;
}

} // namespace

TEST(Program, StartsAndEndsCleanlySavingItsSettings)
{
    testsupport::TempFolder folder;
    const QString exe = folder.copyProgram(QStringLiteral(BREVICOR_EXECUTABLE));
    ASSERT_FALSE(exe.isEmpty());
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", folder.file("config"));
    // A runtime folder of its own: a Brevicor running elsewhere does not count as this one.
    QDir().mkpath(folder.file("run"));
    QFile::setPermissions(folder.file("run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert("XDG_RUNTIME_DIR", folder.file("run"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(exe, {});
    ASSERT_TRUE(program.waitForStarted(10000));
    // Once the program handles the end-of-session signal, it is asked to end, as a logout does.
    ASSERT_TRUE(waitForTermHandler(program.processId()));
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    // Ending saved every setting beside the program.
    IniProfile ini(folder.file("brevicor.ini"));
    EXPECT_EQ(ini.ReadString("MainW", "Port", ""), "110");
    EXPECT_EQ(ini.ReadInteger("Last", "Minute", 0), 30);
}
