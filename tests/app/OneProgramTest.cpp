// One program per user: the real executable started twice; the second start ends at once and
// leaves the first running.
#include "TestDirs.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

namespace {

TEST(OneProgram, ASecondStartEndsAndTheFirstGoesOn)
{
    testsupport::TempFolder folder;
    // The program keeps its settings beside itself: a copy in a folder of the test.
    const QString program = folder.file("brevicor");
    ASSERT_TRUE(QFile::copy(QStringLiteral(BREVICOR_EXECUTABLE), program));
    QFile::setPermissions(program, QFile::permissions(program) | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", folder.file("run"));
    env.insert("XDG_CONFIG_HOME", folder.file("config"));
    QDir().mkpath(folder.file("run"));
    QFile::setPermissions(folder.file("run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert("ASAN_OPTIONS", "detect_leaks=0");

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(program, {});
    ASSERT_TRUE(first.waitForStarted());
    // The first start holds the lock once its socket listens.
    for (int i = 0; i < 200 && !QFile::exists(folder.file("run/brevicor.sock")); ++i)
        QThread::msleep(50);
    ASSERT_TRUE(QFile::exists(folder.file("run/brevicor.sock")));

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(program, {});
    ASSERT_TRUE(second.waitForFinished(15000)) << "the second start did not end";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    if (!first.waitForFinished(10000))
        first.kill();
    first.waitForFinished(5000);
}

} // namespace
