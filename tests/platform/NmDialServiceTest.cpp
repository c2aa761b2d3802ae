// The NetworkManager dial service against a real NetworkManager in a network namespace.
#include "platform/NmDialService.h"
#include "NmTest.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <gtest/gtest.h>

using testsupport::NmFixture;

namespace {

DialParams named(const QString& entry)
{
    DialParams p;
    p.EntryName = entry;
    return p;
}

class NmDialServiceTest : public testsupport::NmTest {
protected:
    void SetUp() override
    {
        NmTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        service = std::make_unique<NmDialService>(nm.bus());
        service->setTextLanguage(DialTextLanguage::English);
    }
    void TearDown() override { service.reset(); }

    std::vector<ActiveConnection> active()
    {
        std::vector<ActiveConnection> list;
        EXPECT_EQ(service->listConnections(list), 0u);
        return list;
    }

    const ActiveConnection* findActive(const std::vector<ActiveConnection>& list, uint32_t handle)
    {
        auto it = std::find_if(list.begin(), list.end(), [&](const ActiveConnection& c) { return c.Handle == handle; });
        return it == list.end() ? nullptr : &*it;
    }

    // The profile's secrets for one setting, read straight from NetworkManager.
    QVariantMap rawSecrets(const QString& entry, const QString& setting)
    {
        QDBusMessage list = QDBusMessage::createMethodCall(
            "org.freedesktop.NetworkManager", "/org/freedesktop/NetworkManager/Settings",
            "org.freedesktop.NetworkManager.Settings", "ListConnections");
        const auto paths = qdbus_cast<QList<QDBusObjectPath>>(nm.bus().call(list).arguments().value(0));
        for (const QDBusObjectPath& p : paths) {
            QDBusMessage get = QDBusMessage::createMethodCall("org.freedesktop.NetworkManager", p.path(),
                "org.freedesktop.NetworkManager.Settings.Connection", "GetSettings");
            const auto s = qdbus_cast<NmFixture::Settings>(nm.bus().call(get).arguments().value(0));
            if (s.value("connection").value("id").toString() != entry)
                continue;
            QDBusMessage secrets = QDBusMessage::createMethodCall("org.freedesktop.NetworkManager", p.path(),
                "org.freedesktop.NetworkManager.Settings.Connection", "GetSecrets");
            secrets << setting;
            return qdbus_cast<NmFixture::Settings>(nm.bus().call(secrets).arguments().value(0)).value(setting);
        }
        return {};
    }

    std::unique_ptr<NmDialService> service;
};

TEST_F(NmDialServiceTest, ListsProfilesByNameWithoutLoopbackOrExternalInterfaces)
{
    QStringList names;
    EXPECT_EQ(service->listEntries(names), 0u);
    EXPECT_TRUE(names.isEmpty()) << names.join(',').toStdString();   // only "lo" exists

    add(NmFixture::bridgeProfile("Zeta", "brz"));
    add(NmFixture::tunProfile("alpha", "tuna"));
    add(NmFixture::gsmProfile("Mobile", "bob", "secret"));
    // An interface configured by hand: NetworkManager describes it with a generated profile.
    ASSERT_TRUE(nm.netns().run({"ip", "link", "add", "veth0", "type", "veth", "peer", "name", "veth1"}));
    ASSERT_TRUE(nm.netns().run({"ip", "link", "set", "veth1", "up"}));
    ASSERT_TRUE(nm.netns().run({"ip", "link", "set", "veth0", "up"}));
    auto veth0Taken = [&] {
        QDBusMessage m = QDBusMessage::createMethodCall("org.freedesktop.NetworkManager",
            "/org/freedesktop/NetworkManager", "org.freedesktop.DBus.Properties", "Get");
        m << "org.freedesktop.NetworkManager" << "ActiveConnections";
        const auto paths = qdbus_cast<QList<QDBusObjectPath>>(
            nm.bus().call(m).arguments().value(0).value<QDBusVariant>().variant());
        return paths.size() >= 2;   // lo and veth0
    };
    // NetworkManager describes the interface once it sees an address on it while it is up; an
    // address that arrives while it is still sorting out the new link can go unnoticed, so the
    // address is given again until it is taken up.
    bool taken = false;
    for (int attempt = 0; attempt < 6 && !taken; ++attempt) {
        ASSERT_TRUE(nm.netns().run({"ip", "addr", "flush", "dev", "veth0"}));
        ASSERT_TRUE(nm.netns().run({"ip", "addr", "add", "10.9.0.1/24", "dev", "veth0"}));
        taken = NmFixture::waitUntil(veth0Taken, 10000);
    }
    ASSERT_TRUE(taken) << "NetworkManager never took up veth0";

    EXPECT_EQ(service->listEntries(names), 0u);
    EXPECT_EQ(names, QStringList({"alpha", "Mobile", "Zeta"}));
    EXPECT_TRUE(active().empty()) << "lo and veth0 must not count as connections";
}

TEST_F(NmDialServiceTest, DialConnectsReportsProgressAndHangsUp)
{
    add(NmFixture::bridgeProfile("Pont", "br7"));
    std::vector<uint32_t> progress;
    uint32_t handle = 0;
    DialParams params;
    ASSERT_EQ(service->getDialParams("Pont", params), 0u);
    EXPECT_EQ(params.EntryName, "Pont");
    ASSERT_EQ(service->dial(params, handle, [&](uint32_t s) { progress.push_back(s); }), 0u);
    EXPECT_NE(handle, 0u);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), DialState::Connected);
    for (uint32_t s : progress)
        EXPECT_TRUE(s == DialState::OpenPort || s == DialState::ConnectDevice || s == DialState::Authenticate
                    || s == DialState::AuthProject || s == DialState::Projected || s == DialState::LogonNetwork
                    || s == DialState::Connected) << s;

    const auto list = active();
    const ActiveConnection* c = findActive(list, handle);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->State, DialState::Connected);
    EXPECT_EQ(c->Error, 0u);
    EXPECT_EQ(c->EntryName, "Pont");
    EXPECT_EQ(c->DeviceType, "bridge");
    EXPECT_EQ(c->DeviceName, "br7");

    EXPECT_EQ(service->hangUp(handle), 0u);
    EXPECT_TRUE(NmFixture::waitUntil([&] { return findActive(active(), handle) == nullptr; }));
    EXPECT_EQ(service->hangUp(handle), DialError::InvalidHandle);
    EXPECT_EQ(service->hangUp(0), DialError::InvalidHandle);
}

TEST_F(NmDialServiceTest, TwoConnectionsAreListedWithTheirOwnHandles)
{
    add(NmFixture::bridgeProfile("Pont", "br7"));
    add(NmFixture::tunProfile("Tunnel", "tun7"));
    uint32_t h1 = 0, h2 = 0;
    ASSERT_EQ(service->dial(named("Pont"), h1, {}), 0u);
    ASSERT_EQ(service->dial(named("Tunnel"), h2, {}), 0u);
    EXPECT_NE(h1, h2);
    const auto list = active();
    ASSERT_EQ(list.size(), 2u);
    ASSERT_NE(findActive(list, h2), nullptr);
    EXPECT_EQ(findActive(list, h2)->EntryName, "Tunnel");
    EXPECT_EQ(findActive(list, h2)->DeviceType, "tun");
    EXPECT_EQ(findActive(list, h2)->DeviceName, "tun7");
}

TEST_F(NmDialServiceTest, FailedDialsGiveACodeAndItsText)
{
    add(NmFixture::gsmProfile("Mobile", "bob", "secret"));
    add(NmFixture::failingTunProfile("Sans adresse", "tun9"));

    // No modem: refused at once, before any connection exists.
    uint32_t handle = 99;
    EXPECT_EQ(service->dial(named("Mobile"), handle, {}), DialError::DeviceNotFound);
    EXPECT_EQ(handle, 0u);
    EXPECT_EQ(service->errorText(DialError::DeviceNotFound), "No device suits this connection (missing modem?).");
    service->setTextLanguage(DialTextLanguage::French);
    EXPECT_EQ(service->errorText(DialError::DeviceNotFound),
              QString::fromUtf8("Aucun périphérique ne convient à cette connexion (modem absent ?)."));

    // Accepted, then the IP configuration fails: the connection existed, so the handle is set.
    std::vector<uint32_t> progress;
    EXPECT_EQ(service->dial(named("Sans adresse"), handle, [&](uint32_t s) { progress.push_back(s); }),
              DialError::IpConfigFailed);
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(std::count(progress.begin(), progress.end(), DialState::AuthProject), 1)
        << "the IP configuration step was not reported";
    EXPECT_EQ(std::count(progress.begin(), progress.end(), DialState::Connected), 0);

    EXPECT_EQ(service->dial(named("Absent"), handle, {}), DialError::EntryNotFound);
}

TEST_F(NmDialServiceTest, AsynchronousDialReportsLaterInOrder)
{
    add(NmFixture::bridgeProfile("Pont", "br7"));
    add(NmFixture::gsmProfile("Mobile", "bob", "secret"));
    static std::vector<std::pair<uint32_t, uint32_t>> reports;
    reports.clear();
    auto notifier = [](uint32_t, uint32_t state, uint32_t error) { reports.emplace_back(state, error); };

    uint32_t handle = 0;
    ASSERT_EQ(service->dialAsync(named("Pont"), handle, notifier), 0u);
    EXPECT_NE(handle, 0u);
    EXPECT_TRUE(reports.empty()) << "the notifier ran inside dialAsync";
    ASSERT_TRUE(NmFixture::waitUntil([&] { return !reports.empty() && reports.back().first == DialState::Connected; }));
    for (size_t i = 0; i + 1 < reports.size(); ++i)
        EXPECT_EQ(reports[i].second, 0u);

    EXPECT_EQ(service->dialAsync(named("Mobile"), handle, notifier), DialError::DeviceNotFound);
}

TEST_F(NmDialServiceTest, RenameKeepsNamesUniqueAndCredentials)
{
    add(NmFixture::pppoeProfile("ADSL", "alice", "pw"));
    add(NmFixture::bridgeProfile("Pont", "br7"));

    EXPECT_EQ(service->renameEntry("ADSL", "Pont"), DialError::AlreadyExists);
    EXPECT_EQ(service->renameEntry("ADSL", "  "), DialError::InvalidName);
    EXPECT_EQ(service->renameEntry("Absent", "Autre"), DialError::EntryNotFound);
    EXPECT_EQ(service->renameEntry("ADSL", "ADSL"), 0u);

    EXPECT_EQ(service->renameEntry("ADSL", QString::fromUtf8("Ligne téléphonique")), 0u);
    QStringList names;
    ASSERT_EQ(service->listEntries(names), 0u);
    EXPECT_EQ(names, QStringList({QString::fromUtf8("Ligne téléphonique"), "Pont"}));

    DialParams params;
    ASSERT_EQ(service->getDialParams(QString::fromUtf8("Ligne téléphonique"), params), 0u);
    EXPECT_EQ(params.UserName, "alice");
    EXPECT_EQ(params.Password, "pw");
}

TEST_F(NmDialServiceTest, DeleteRemovesTheProfile)
{
    add(NmFixture::bridgeProfile("Pont", "br7"));
    add(NmFixture::tunProfile("Tunnel", "tun7"));
    EXPECT_EQ(service->deleteEntry("Pont"), 0u);
    QStringList names;
    ASSERT_EQ(service->listEntries(names), 0u);
    EXPECT_EQ(names, QStringList({"Tunnel"}));
    EXPECT_EQ(service->deleteEntry("Pont"), DialError::EntryNotFound);
}

TEST_F(NmDialServiceTest, StoresAndReadsUserNameAndPassword)
{
    add(NmFixture::pppoeProfile("ADSL", "alice", "pw"));
    add(NmFixture::pppoeProfile("Sans mot de passe", "carol", ""));
    add(NmFixture::gsmProfile("Mobile", "bob", "secret"));
    add(NmFixture::bridgeProfile("Pont", "br7"));

    DialParams p;
    ASSERT_EQ(service->getDialParams("ADSL", p), 0u);
    EXPECT_EQ(p.UserName, "alice");
    EXPECT_EQ(p.Password, "pw");
    EXPECT_TRUE(p.HasPassword);

    // Each operation changes its own field only.
    EXPECT_EQ(service->setUserName("ADSL", QString::fromUtf8("andré")), 0u);
    ASSERT_EQ(service->getDialParams("ADSL", p), 0u);
    EXPECT_EQ(p.UserName, QString::fromUtf8("andré"));
    EXPECT_EQ(p.Password, "pw");
    EXPECT_EQ(service->setPassword("ADSL", "n0uveau"), 0u);
    ASSERT_EQ(service->getDialParams("ADSL", p), 0u);
    EXPECT_EQ(p.UserName, QString::fromUtf8("andré"));
    EXPECT_EQ(p.Password, "n0uveau");

    ASSERT_EQ(service->getDialParams("Sans mot de passe", p), 0u);
    EXPECT_EQ(p.UserName, "carol");
    EXPECT_FALSE(p.HasPassword);
    EXPECT_TRUE(p.Password.isEmpty());

    // A gsm profile keeps its PIN when the password changes.
    QVariantMap pin{{"pin", "1234"}, {"pin-flags", QVariant::fromValue(uint32_t(0))}};
    NmFixture::Settings withPin = NmFixture::gsmProfile("Mobile PIN", "dan", "old");
    withPin["gsm"].insert(pin);
    add(withPin);
    EXPECT_EQ(service->setPassword("Mobile PIN", "new"), 0u);
    const QVariantMap secrets = rawSecrets("Mobile PIN", "gsm");
    EXPECT_EQ(secrets.value("password").toString(), "new");
    EXPECT_EQ(secrets.value("pin").toString(), "1234");

    // Types without a user name or password.
    ASSERT_EQ(service->getDialParams("Pont", p), 0u);
    EXPECT_TRUE(p.UserName.isEmpty());
    EXPECT_FALSE(p.HasPassword);
    EXPECT_EQ(service->setUserName("Pont", "x"), DialError::NotSupported);
    EXPECT_EQ(service->setPassword("Absent", "x"), DialError::EntryNotFound);
    EXPECT_EQ(service->getDialParams("Absent", p), DialError::EntryNotFound);
}

TEST_F(NmDialServiceTest, DialogsRunTheConnectionEditor)
{
    const NmFixture::Settings pont = NmFixture::bridgeProfile("Pont", "br7");
    add(pont);
    testsupport::TempFolder dir;
    const QString record = dir.file("args");
    const QString editor = dir.file("editor");
    testsupport::writeFileBytes(editor, "#!/bin/sh\necho \"$@\" >> '" + record.toStdString() + "'\n");
    QFile::setPermissions(editor, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    service->setEditorProgram(editor);
    EXPECT_EQ(service->createEntryDialog(), 0u);
    EXPECT_EQ(service->editEntryDialog("Pont"), 0u);
    EXPECT_EQ(service->editEntryDialog("Absent"), DialError::EntryNotFound);
    const QStringList lines = QString::fromStdString(testsupport::readFileBytes(record)).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "--create");
    EXPECT_EQ(lines[1], "--edit=" + pont["connection"]["uuid"].toString());

    service->setEditorProgram(dir.file("not-installed"));
    EXPECT_EQ(service->createEntryDialog(), DialError::ProgramNotFound);
    EXPECT_TRUE(service->errorText(DialError::ProgramNotFound).contains("network-manager-gnome"));
}

TEST_F(NmDialServiceTest, AGoneNetworkManagerIsUnreachable)
{
    EXPECT_TRUE(NmDialService::answers(nm.bus()));
    EXPECT_TRUE(service->reachable());
    EXPECT_NE(dynamic_cast<NmDialService*>(createDialService(nm.bus()).get()), nullptr);

    nm.stopNetworkManager();
    EXPECT_FALSE(service->reachable());
    QStringList names;
    EXPECT_EQ(service->listEntries(names), DialError::ServiceUnavailable);
    std::vector<ActiveConnection> list;
    EXPECT_EQ(service->listConnections(list), DialError::ServiceUnavailable);
    uint32_t handle = 0;
    EXPECT_EQ(service->dial(named("Pont"), handle, {}), DialError::ServiceUnavailable);
    EXPECT_EQ(dynamic_cast<NmDialService*>(createDialService(nm.bus()).get()), nullptr)
        << "without NetworkManager the interfaces must be used";
}

} // namespace
