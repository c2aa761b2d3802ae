// MailController, new mail the moment it arrives: the IMAP accounts waiting in IDLE.
#include "app/MailController.h"

#include "app/PushWatch.h"
#include "platform/WakeEvents.h"

#include <QTimer>
#include <algorithm>


void TMailController::FollowAccounts(const QList<TAccount>& Accounts)
{
    if (!push_) {
        if (std::none_of(Accounts.begin(), Accounts.end(), TPushWatch::Wanted))
            return;
        push_ = std::make_unique<TPushWatch>(tokens_.get(), seenFolder_);
        push_->OnNewMail = [this](const TAccountResult& r) {
            pushMail_ << r;
            QTimer::singleShot(0, this, [this] { DeliverPushMail(); });
        };
        push_->OnProblem = [this](const TAccount& account, const QString& why) {
            if (OnPushProblem)
                OnPushProblem(account, why);
        };
        // A changed link or a sleep usually leaves the connections dead without a word.
        wake_ = NewWakeWatcher();
        wake_->OnNetworkChanged = [this](unsigned) { push_->NetworkChanged(); };
        wake_->OnResumed = [this] { push_->Resumed(); };
    }
    push_->Follow(Accounts);
}

void TMailController::StopPush()
{
    if (wake_) {
        wake_->OnNetworkChanged = nullptr;
        wake_->OnResumed = nullptr;
    }
    if (push_)
        push_->StopAll();
}

bool TMailController::Pushed(const TAccount& Account) const
{
    return push_ && push_->Watching(Account);
}

void TMailController::DeliverPushMail()
{
    if (pushMail_.isEmpty())
        return;
    // Told from the event loop, never from inside an exchange of a check, of the user's session
    // or of a push connection: the handler may wait for the user (the alert window).
    if (running_ || busy_ > 0 || (push_ && push_->Busy())) {
        QTimer::singleShot(50, this, [this] { DeliverPushMail(); });
        return;
    }
    QList<TAccountResult> mail;
    mail.swap(pushMail_);
    for (const TAccountResult& r : mail)
        if (OnPushMail)
            OnPushMail(r);
}
