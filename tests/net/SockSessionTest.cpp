// Tests of TSocketSession's core: construction, connecting, closing, cancel, time-outs, reporting.
#include "net/SockSession.h"
#include "ScriptedServer.h"

#include <gtest/gtest.h>

using testsupport::ScriptedServer;

TEST(SockSessionCore, ConnectsByDottedAddress)
{
    ScriptedServer Server;
    Server.reply("+OK").start();
    TSocketSession Session;
    Session.Host = Server.host();
    Session.Port = Server.port();
    Session.Connect();
    EXPECT_TRUE(Session.Connected());
    EXPECT_EQ(Session.ReadLn(), "+OK\r\n");
    Session.Disconnect();
    EXPECT_TRUE(Server.waitFinished());
}
