#include "explorer/bar_record_sender.h"

namespace quillan {

SendOutcome BarRecordSender::Send(const BarRecordTarget& target, bool login) {
  const AccountEntry& account = target.account;
  const bool launch = login || loginPending_;
  const BarRecordResult sent =
      SendBarRecordFor(target.host, target.bar, account.userId, account.enterpriseId, account.userName,
                       account.enterpriseName, account.loggedIn, launch ? 1 : 0);
  last_ = sent.outcome;
  if (launch) {
    // Delivered, or the application started (or could not be) because it does not run: the login was
    // asked for. Only an application that did not take the record keeps it waiting.
    loginPending_ = sent.outcome == SendOutcome::kRefusedHung || sent.outcome == SendOutcome::kTimedOut ||
                    sent.outcome == SendOutcome::kFailed;
  }
  return sent.outcome;
}

void BarRecordSender::Announce(const BarRecordTarget& target) {
  Send(target, false);
  schedule_.Restart(::GetTickCount());
}

void BarRecordSender::ResendIfDue(const BarRecordTarget& target, DWORD now) {
  if (target.account.userId.empty() || target.account.enterpriseId.empty() || !schedule_.Due(now)) return;
  Send(target, false);
  schedule_.Sent(::GetTickCount());
}

void BarRecordSender::Revalidated(const BarRecordTarget& target, DWORD now) {
  // An application that made the last send wait is asked again only on the schedule's steps.
  if (last_ == SendOutcome::kTimedOut && !schedule_.Due(now)) return;
  const SendOutcome outcome = Send(target, false);
  const DWORD end = ::GetTickCount();
  if (outcome == SendOutcome::kDelivered || outcome == SendOutcome::kNoWindow) {
    schedule_.Restart(end);
  } else {
    schedule_.Sent(end);
  }
}

}  // namespace quillan
