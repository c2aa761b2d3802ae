// TWakeWatcher on a private bus: NetworkManager's state changes and logind's resume reach the
// handlers; going to sleep, and the same signals from a connection that does not own the
// services' names, do not.
#include "platform/WakeWatcher.h"
#include "SessionBus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

void Emit(QDBusConnection& From, const char* Path, const char* Interface, const char* Name, const QVariant& Argument)
{
    QDBusMessage signal = QDBusMessage::createSignal(Path, Interface, Name);
    signal << Argument;
    ASSERT_TRUE(From.send(signal));
    // A round trip to the bus: the signal has been routed before the next one is sent.
    From.interface()->registeredServiceNames();
}

} // namespace

TEST(WakeWatcher, NetworkChangesAndResumeFromTheirOwnServicesOnly)
{
    SessionBus bus;
    QDBusConnection nm = bus.connect("nm");
    QDBusConnection logind = bus.connect("logind");
    QDBusConnection impostor = bus.connect("impostor");
    ASSERT_TRUE(nm.registerService("org.freedesktop.NetworkManager"));
    ASSERT_TRUE(logind.registerService("org.freedesktop.login1"));

    TWakeWatcher watcher(bus.connect("watcher"), nullptr);
    ASSERT_TRUE(watcher.Listening());
    std::vector<unsigned> states;
    int resumes = 0;
    watcher.OnNetworkChanged = [&](unsigned State) { states.push_back(State); };
    watcher.OnResumed = [&] { ++resumes; };

    const char* nmPath = "/org/freedesktop/NetworkManager";
    const char* loginPath = "/org/freedesktop/login1";
    Emit(impostor, nmPath, "org.freedesktop.NetworkManager", "StateChanged", QVariant::fromValue(20u));
    Emit(impostor, loginPath, "org.freedesktop.login1.Manager", "PrepareForSleep", false);
    Emit(logind, loginPath, "org.freedesktop.login1.Manager", "PrepareForSleep", true);
    Emit(nm, nmPath, "org.freedesktop.NetworkManager", "StateChanged", QVariant::fromValue(70u));
    Emit(logind, loginPath, "org.freedesktop.login1.Manager", "PrepareForSleep", false);
    ASSERT_TRUE(waitUntil([&] { return resumes > 0 && !states.empty(); }));
    waitUntil([] { return false; }, 200);  // anything else that was coming
    EXPECT_EQ(states, std::vector<unsigned>{70u});
    EXPECT_EQ(resumes, 1);
}
