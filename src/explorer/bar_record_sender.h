// The bar record (33777 or 33790) of one host: when it goes out, what its launch flag says, and what
// the host learnt from the last send.
//
// A send that waited its time-out restarts nothing; a revalidation does not send again after one until
// the schedule says so. Sends to an application the system counts as hung cost nothing (they are
// refused at once), so a revalidation keeps trying those, and the record reaches the application soon
// after it answers again. A login asked for while the application did not answer is not lost: every
// bar record carries the launch flag until one that carries it is delivered.
#pragma once

#include <windows.h>

#include "config/account_entry.h"
#include "explorer/resend_schedule.h"
#include "ipc/main_window.h"

namespace quillan {

// What one bar record is about.
struct BarRecordTarget {
  HWND host;
  HWND bar;
  const AccountEntry& account;
};

class BarRecordSender {
 public:
  // A new bar: the record now, the schedule from the end of the send.
  void Announce(const BarRecordTarget& target);
  // Timer 1000: the record again when the schedule says it is due.
  void ResendIfDue(const BarRecordTarget& target, DWORD now);
  // A revalidation that found the bar in place: the record again and, once delivered, the schedule
  // from the start.
  void Revalidated(const BarRecordTarget& target, DWORD now);
  // The application's window arrived: nothing more to announce for now.
  void Settle(DWORD now) { schedule_.Restart(now); }
  // Once, now (the account-changed record).
  void SendNow(const BarRecordTarget& target) { Send(target, false); }
  // The login link: the record with the launch flag, or the application started for the login.
  void Login(const BarRecordTarget& target) { Send(target, true); }
  // Another account, or none: a pending login is not theirs.
  void ForgetLogin() { loginPending_ = false; }

  bool loginPending() const { return loginPending_; }
  const ResendSchedule& schedule() const { return schedule_; }

 private:
  SendOutcome Send(const BarRecordTarget& target, bool login);

  ResendSchedule schedule_;
  bool loginPending_ = false;
  SendOutcome last_ = SendOutcome::kNoWindow;
};

}  // namespace quillan
