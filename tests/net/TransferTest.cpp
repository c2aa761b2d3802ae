// Tests of TSocketSession's line and stream transfer: ReadLn, Write, Transaction, SendStream.
#include "net/SockSession.h"
#include "ScriptedServer.h"

#include <gtest/gtest.h>
