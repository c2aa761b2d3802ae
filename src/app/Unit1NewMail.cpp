// Unit1NewMail: new mail since an account's last check, the desktop notification that announces
// it, and the tray icon that shows it waits.
#include "app/Unit1.h"

#include "app/CheckRun.h"
#include "app/Main.h"
#include "app/NewMail.h"
#include "mail/HeaderText.h"
#include "mail/KTpop3.h"
#include "platform/DesktopNotifications.h"

#include <QComboBox>
#include <QLineEdit>

namespace {

// A header value of a summary as text for the desktop: encoded words decoded.
QString headerText(const std::string& raw)
{
    return DecodeHeaderText(raw).trimmed();
}

} // namespace

void TForm1::LookForNewMail(TAccountResult& result)
{
    const TAccount& account = result.Account;
    TSeenMail seen(TSeenMail::StateFileFor(SeenMailFolder(), account.Host, account.PortNumber().value_or(0),
                                           account.UserID));
    std::vector<std::string> ids;
    const std::vector<int> fresh =
        KTPOP31->UIDL(ids) ? seen.NewByIds(ids) : seen.NewByCount(KTPOP31->MessageCount());
    seen.Save();
    result.Fresh = int(fresh.size());
    // The newest first: they are the last numbers.
    for (auto it = fresh.rbegin(); it != fresh.rend() && result.Newest.size() < 3; ++it) {
        KTPOP31->RetrieveSummary(*it);
        const QString from = headerText(KTPOP31->Summary().From);
        const QString subject = headerText(KTPOP31->Summary().Subject);
        result.Newest << (subject.isEmpty() ? from : from + QStringLiteral(" — ") + subject);
    }
}

void TForm1::NotifyNewMail(const QString& host, int fresh, const QStringList& newest)
{
    if (!context_.notifications || fresh <= 0)
        return;
    const QString summary = fresh == 1 ? QStringLiteral("Nouveau message sur %1").arg(host)
                                       : QStringLiteral("%1 nouveaux messages sur %2").arg(fresh).arg(host);
    context_.notifications->Notify(summary, newest.join(QLatin1Char('\n')), [this, host] {
        MailSeen();
        OpenAccountMailbox(host);
    });
}

void TForm1::SetNewMailWaiting(int count)
{
    NewMailWaiting = std::max(count, 0);
    hiddenForm_->SetNewMail(NewMailWaiting);
}

void TForm1::MailSeen()
{
    SetNewMailWaiting(0);
}
