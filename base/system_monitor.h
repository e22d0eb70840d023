#ifndef BASE_SYSTEM_MONITOR_H_
#define BASE_SYSTEM_MONITOR_H_

#include <atomic>

#include "base/observer_list_threadsafe.h"
#include "base/ref_counted.h"
#include "base/singleton.h"
#include "base/timer.h"

namespace base {

// The process-wide source of power events: whether the machine runs on
// battery, and when it suspends and resumes.
//
// The host feeds it the system's power broadcasts (the window procedure of
// the application's main window passes each broadcast's event code to
// HandlePowerBroadcast); the monitor turns them into its three events,
// keeps the current state, logs each change and notifies its
// PowerObservers on their own threads, each through a task on the loop of
// the thread that added it. Observers read the state when they run, which
// may be later than the event.
//
// The monitor assumes AC power until told otherwise; Start schedules one
// look at the real power source, ten seconds later. The millisecond clock
// follows the monitor: it holds the 1-ms timer period only on AC power.
// Linking the monitor into a program is what connects the clock to it.
//
// One per process (Get), made on first use and destroyed at exit. Any
// thread may deliver events and read the state; the state is kept in
// atomics, so events delivered on two threads at once still notify each
// change once.
class SystemMonitor {
 public:
  // Told of power events, on the thread that added it. Observers are not
  // owned and are never deleted through this interface.
  class PowerObserver {
   public:
    // The power source changed between battery and AC; OnBattery() tells
    // which.
    virtual void PowerSourceChanged(SystemMonitor* monitor) = 0;
    virtual void SystemSuspending(SystemMonitor* monitor) = 0;
    virtual void SystemResumed(SystemMonitor* monitor) = 0;

   protected:
    ~PowerObserver() = default;
  };

  enum PowerEventKind {
    POWER_SOURCE_CHANGED = 0,  // Battery or AC status changed.
    POWER_SUSPENDING = 1,
    POWER_RESUMED = 2,
  };

  // What the platform reports of the AC line: true with `ac_line_status` 0
  // (offline), 1 (online) or 255 (not known), or false with the error code
  // of a failed query.
  using PowerStatusSource = bool (*)(int* ac_line_status,
                                     unsigned long* error_code);

  // The delay between Start and the look at the power source.
  static constexpr int kBatteryCheckDelayMs = 10000;

  SystemMonitor(const SystemMonitor&) = delete;
  SystemMonitor& operator=(const SystemMonitor&) = delete;

  // The process's monitor, made on first use. An at-exit manager must exist.
  static SystemMonitor* Get();

  // Schedules the look at the power source on the calling thread's loop,
  // which must exist: a process that starts on battery hears of it once,
  // about ten seconds later.
  static void Start();

  // Processes a power broadcast's event code: 4 (suspend), 7 and 18
  // (resume, by the user or automatic) and 10 (power status changed).
  // Other codes are ignored.
  void HandlePowerBroadcast(int event_id);

  // Processes one event. A source change whose query agrees with the
  // stored state, a second suspend while suspended and a resume while
  // running notify nothing.
  void HandlePowerEvent(PowerEventKind event_id);

  bool OnBattery() const { return on_battery_.load(std::memory_order_acquire); }

  // Observers are added and removed on a thread with a message loop, and
  // are called there; on a thread without one nothing happens. See
  // ObserverListThreadSafe.
  void AddObserver(PowerObserver* obs);
  void RemoveObserver(PowerObserver* obs);

  // Installs `source` for the power queries and returns the previous one.
  // For tests: not every host reports anything but AC power.
  static PowerStatusSource ReplacePowerStatusSource(PowerStatusSource source);

 private:
  friend class Singleton<SystemMonitor>;

  SystemMonitor();
  // Orphans a pending look at the power source.
  ~SystemMonitor();

  // Whether the platform reports battery power; a failed query is logged
  // and read as AC.
  static bool QueryOnBattery();
  // The current source's answer (see PowerStatusSource).
  static bool ReadPowerStatus(int* ac_line_status, unsigned long* error_code);

  // The timer's method: the look at the power source.
  void BatteryCheck();

  void NotifyPowerStateChange();
  void NotifySuspend();
  void NotifyResume();

  shared_ref<ObserverListThreadSafe<PowerObserver>> observers_shared_;
  std::atomic<bool> on_battery_{false};
  std::atomic<bool> is_suspended_{false};
  // Runs on the loop of the thread that called Start.
  SingleShotTimer<SystemMonitor> battery_check_timer_;
};

}  // namespace base

#endif  // BASE_SYSTEM_MONITOR_H_
