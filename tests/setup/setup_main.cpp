// Entry point of the account set-up tests: moves the process into a network and mount namespace
// of its own before anything starts a thread, brings up its loopback and points its resolver at
// 127.0.0.1, where the tests' DNS server answers.
#include <QApplication>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

// Why the namespace could not be made; empty when the tests run in it.
std::string gNamespaceProblem;

static void EnterNamespace()
{
    if (::unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) {
        gNamespaceProblem = "unshare(CLONE_NEWNET | CLONE_NEWNS) failed: run the tests as root";
        return;
    }
    char resolv[] = "/tmp/brevicor-resolv-XXXXXX";
    const int fd = ::mkstemp(resolv);
    const char text[] = "nameserver 127.0.0.1\noptions timeout:1 attempts:1\n";
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 || fd < 0
        || ::write(fd, text, sizeof text - 1) != ssize_t(sizeof text - 1)
        || ::mount(resolv, "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0
        || std::system("ip link set lo up") != 0)
        gNamespaceProblem = "could not set up the namespace's loopback and resolver";
    if (fd >= 0)
        ::close(fd);
    ::unlink(resolv);
}

int main(int argc, char** argv)
{
    EnterNamespace();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName("Brevicor");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
