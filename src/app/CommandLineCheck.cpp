// CommandLineCheck: "brevicor --check [--all]": one check of the mail without any window, for
// scripts and status bars.
#include "app/CommandLineCheck.h"

#include "app/AccountStore.h"
#include "app/MailController.h"
#include "platform/DialService.h"

#include <algorithm>

namespace {

// Nothing to ask on a command line: questions get "no".
class TQuietUser : public TMailUser {
public:
    bool Confirm(const QString&) override { return false; }
    void NoDialEntry() override {}
};

// One line of the output, in UTF-8, at once: a script reading the lines sees each when it is told.
void Print(std::FILE* Out, const QString& Line)
{
    const QByteArray Bytes = Line.toUtf8() + '\n';
    std::fwrite(Bytes.constData(), 1, size_t(Bytes.size()), Out);
    std::fflush(Out);
}

} // namespace

int RunCommandLineCheck(const QStringList& Arguments, const ProgramPaths& Paths, std::unique_ptr<DialService> Dial,
                        SecretStore* Secrets, std::FILE* Out)
{
    const TAccountStore store(Paths.iniPath(), Secrets);
    QList<TAccount> accounts;
    if (Arguments.contains(QStringLiteral("--all"))) {
        accounts = store.ReadAll();
    } else {
        // The account of the "Serveur" page, as the window would check it.
        TAccount current = store.ReadCurrent();
        current.Section = store.SectionFor(current.Section, current.UserID, store.ReadList());
        if (!current.Section.isEmpty())
            current.TrustedFingerprints = store.Read(current.Section).TrustedFingerprints;
        if (!current.Host.isEmpty())
            accounts << current;
    }
    accounts.erase(std::remove_if(accounts.begin(), accounts.end(), [](const TAccount& a) { return !a.Complete(); }),
                   accounts.end());
    if (accounts.isEmpty()) {
        Print(Out, QStringLiteral("Aucun compte de messagerie complet n'est enregistré"));
        return ceNotChecked;
    }

    TQuietUser user;
    TMailController mail(std::move(Dial), Paths.iniPath(), Paths.configDir + QStringLiteral("nouveaux/"), Secrets);
    mail.User = &user;
    mail.ReadNewest = false;
    mail.Tokens().ProvidersPath = Paths.dataDir + QStringLiteral("providers.json");
    bool failed = false;
    mail.OnAccountDone = [&](const TAccountResult& r) {
        const QString line = ResultLine(r, true);
        if (!line.isEmpty())
            Print(Out, line);
        if (r.Outcome != TCheckOutcome::Counted)
            failed = true;
    };
    const TCheckReport report = mail.Check(accounts, TCheckKind::CommandLine, false, true);
    if (report.Total > 0)
        return ceMailWaits;
    return failed ? ceNotChecked : ceNoMail;
}
