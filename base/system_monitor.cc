#include "base/system_monitor.h"

#include "base/lock_impl.h"
#include "base/logging.h"
#include "base/message_loop.h"
#include "base/time.h"

namespace base {

namespace {

// The name of the place where power notifications are born, as
// task-tracking reports show it.
constexpr char kNotifyFunctionName[] =
    "ObserverListThreadSafe<class base::SystemMonitor::PowerObserver>::Notify";

// Carries power-source changes from the monitor to the millisecond clock.
// It observes the monitor on the loop of the thread that made the clock,
// and that loop's destruction: the monitor's list drops a destroyed loop's
// observers, and the relay forgets the loop with them. Made by the link
// when a clock attaches on a thread with a loop.
class ClockRelay final : public SystemMonitor::PowerObserver,
                         public MessageLoop::DestructionObserver {
 public:
  ClockRelay(time_internal::TickClockPowerLink::Client* clock,
             SystemMonitor* monitor,
             MessageLoop* loop)
      : clock_(clock), monitor_(monitor), loop_(loop) {
    monitor_->AddObserver(this);
    loop->AddDestructionObserver(this);
  }
  ClockRelay(const ClockRelay&) = delete;
  ClockRelay& operator=(const ClockRelay&) = delete;
  ~ClockRelay() override = default;

  void PowerSourceChanged(SystemMonitor* monitor) override {
    LockGuard guard(clock_lock_);
    if (clock_)
      clock_->PowerSourceChanged(monitor->OnBattery());
  }
  void SystemSuspending(SystemMonitor* /*monitor*/) override {}
  void SystemResumed(SystemMonitor* /*monitor*/) override {}

  void LoopWillBeDestroyed() override {
    MessageLoop* const loop = loop_.load(std::memory_order_acquire);
    loop->RemoveDestructionObserver(this);
    // The last touch of this object on the loop's thread: once the loop
    // reads null, the clock's side may delete the relay.
    loop_.store(nullptr, std::memory_order_release);
  }

  // Stops the notifications to the clock. True when the relay may be
  // deleted now: its loop is gone, or it is the calling thread's loop and
  // the relay has left it. A relay that another thread's live loop still
  // holds stays, silent, for the rest of the process.
  bool Detach() {
    {
      LockGuard guard(clock_lock_);
      clock_ = nullptr;
    }
    MessageLoop* const loop = loop_.load(std::memory_order_acquire);
    if (!loop)
      return true;
    // While its loop lives the relay observes its destruction, so a live
    // loop at this address is the same loop, not a later one.
    if (loop != MessageLoop::current())
      return false;
    monitor_->RemoveObserver(this);
    loop->RemoveDestructionObserver(this);
    loop_.store(nullptr, std::memory_order_release);
    return true;
  }

 private:
  // Guards clock_, so that a notification running on the loop's thread
  // never reaches a clock that is being destroyed.
  Lock clock_lock_;
  time_internal::TickClockPowerLink::Client* clock_;  // Null once detached.
  SystemMonitor* const monitor_;    // Outlives the clock that made the relay.
  std::atomic<MessageLoop*> loop_;  // Null once the loop is gone or left.
};

// The monitor's side of the millisecond clock's power link. A clock
// attaches when it is made, which makes the monitor if there is none yet,
// so the monitor outlives the clock (the at-exit manager destroys the
// later-made first).
class ClockPowerLink final : public time_internal::TickClockPowerLink {
 public:
  constexpr ClockPowerLink() = default;

  bool Attach(Client* clock) override {
    SystemMonitor* const monitor = SystemMonitor::Get();
    // The registration takes effect only on a thread with a loop, whose
    // thread then relays the changes.
    if (MessageLoop* const loop = MessageLoop::current())
      relay_.store(new ClockRelay(clock, monitor, loop));
    return monitor->OnBattery();
  }

  void Detach(Client* /*clock*/) override {
    ClockRelay* const relay = relay_.exchange(nullptr);
    if (relay && relay->Detach())
      delete relay;
  }

 private:
  // The relay of the one clock there is, or null. A clock attaches and
  // detaches once, each on whichever thread makes and ends it.
  std::atomic<ClockRelay*> relay_{nullptr};
};

ClockPowerLink g_clock_power_link;

// Installs the link when the program is loaded, before any clock is made:
// the clocks sit below the monitor and cannot name it.
struct ClockPowerLinkInstaller {
  ClockPowerLinkInstaller() {
    time_internal::SetTickClockPowerLink(&g_clock_power_link);
  }
} g_clock_power_link_installer;

}  // namespace

SystemMonitor::SystemMonitor()
    : observers_shared_(
          new ObserverListThreadSafe<PowerObserver>(kNotifyFunctionName)) {}

SystemMonitor::~SystemMonitor() {
  battery_check_timer_.Stop();
}

// static
SystemMonitor* SystemMonitor::Get() {
  return Singleton<SystemMonitor>::get();
}

// static
void SystemMonitor::Start() {
  CHECK_OR_RETURN(MessageLoop::current(), );
  SystemMonitor* const monitor = Get();
  monitor->battery_check_timer_.Start(
      TimeDelta::FromMilliseconds(kBatteryCheckDelayMs), monitor,
      &SystemMonitor::BatteryCheck);
}

void SystemMonitor::HandlePowerEvent(PowerEventKind event_id) {
  switch (event_id) {
    case POWER_SOURCE_CHANGED: {
      const bool on_battery = QueryOnBattery();
      if (on_battery_.exchange(on_battery, std::memory_order_acq_rel) !=
          on_battery) {
        NotifyPowerStateChange();
      }
      break;
    }
    case POWER_SUSPENDING:
      if (!is_suspended_.exchange(true, std::memory_order_acq_rel))
        NotifySuspend();
      break;
    case POWER_RESUMED:
      if (is_suspended_.exchange(false, std::memory_order_acq_rel))
        NotifyResume();
      break;
  }
}

void SystemMonitor::AddObserver(PowerObserver* obs) {
  observers_shared_->AddObserver(obs);
}

void SystemMonitor::RemoveObserver(PowerObserver* obs) {
  observers_shared_->RemoveObserver(obs);
}

// static
bool SystemMonitor::QueryOnBattery() {
  int ac_line_status = 0;
  unsigned long error_code = 0;
  if (!ReadPowerStatus(&ac_line_status, &error_code)) {
    LOG(ERROR) << "GetSystemPowerStatus failed: " << error_code;
    return false;
  }
  // 255, not known, counts as AC.
  return ac_line_status == 0;
}

void SystemMonitor::BatteryCheck() {
  HandlePowerEvent(POWER_SOURCE_CHANGED);
}

void SystemMonitor::NotifyPowerStateChange() {
  LOG(INFO) << L"PowerStateChange: " << (OnBattery() ? L"On" : L"Off")
            << L" battery";
  observers_shared_->Notify(&PowerObserver::PowerSourceChanged, this);
}

void SystemMonitor::NotifySuspend() {
  LOG(INFO) << L"Power Suspending";
  observers_shared_->Notify(&PowerObserver::SystemSuspending, this);
}

void SystemMonitor::NotifyResume() {
  LOG(INFO) << L"Power Resuming";
  observers_shared_->Notify(&PowerObserver::SystemResumed, this);
}

}  // namespace base
