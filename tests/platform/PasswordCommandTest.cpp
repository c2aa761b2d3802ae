// The password command: first output line, failures, time limit and empty output.
#include "platform/PasswordCommand.h"

#include <gtest/gtest.h>

namespace {

struct CommandCase {
    const char* name;
    QString command;
    int limitMs;
    std::string password;  // expected result, empty when an error is expected
    std::string error;     // expected exception text
};

std::string RunCommand(const CommandCase& C, std::string& Error)
{
    try {
        return TPasswordCommand(C.command, C.limitMs).Run();
    } catch (const std::exception& e) {
        Error = e.what();
    }
    return {};
}

TEST(PasswordCommand, OutputsAndFailures)
{
    const CommandCase cases[] = {
        {"first line only", "printf \"secret one\\nsecond\\n\"", 10000, "secret one", ""},
        // Double quotes group words; nothing else is interpreted ($HOME stays as written).
        {"CR LF line end and quoted argument", "printf \"%s\\r\\n\" \"p w;$HOME\"", 10000, "p w;$HOME", ""},
        {"no line end", "printf tok", 10000, "tok", ""},
        {"failure with its reason", "sh -c \"echo no key >&2; echo leaked; exit 3\"", 10000, "",
         "La commande du mot de passe a échoué (code 3) : no key"},
        {"killed by a signal", "sh -c \"kill -9 $$\"", 10000, "", "La commande du mot de passe a échoué (arrêt anormal)"},
        {"time limit", "sleep 30", 300, "", "La commande du mot de passe n'a pas répondu dans le délai de 1 s"},
        {"empty output", "true", 10000, "", "La commande du mot de passe n'a rien affiché"},
        {"empty first line", "printf \"\\nlater\\n\"", 10000, "", "La commande du mot de passe n'a rien affiché"},
        {"no such program", "/nonexistent/brevicor-pass", 10000, "",
         "La commande du mot de passe ne peut pas être lancée : /nonexistent/brevicor-pass"},
        {"blank command", "   ", 10000, "", "La commande du mot de passe est vide"},
        // Run without a shell: the pipe is an argument of echo, not a pipeline.
        {"no shell", "echo a | tr a b", 10000, "a | tr a b", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        EXPECT_EQ(RunCommand(c, error), c.password);
        EXPECT_EQ(error, c.error);
    }
}

} // namespace
