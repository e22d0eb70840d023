#include "base/system_monitor.h"

#include <windows.h>

#include <atomic>

namespace base {

namespace {

bool SystemPowerStatus(int* ac_line_status, unsigned long* error_code) {
  SYSTEM_POWER_STATUS status;
  if (!GetSystemPowerStatus(&status)) {
    *error_code = GetLastError();
    return false;
  }
  *ac_line_status = status.ACLineStatus;
  return true;
}

std::atomic<SystemMonitor::PowerStatusSource> g_power_status_source{
    &SystemPowerStatus};

}  // namespace

void SystemMonitor::HandlePowerBroadcast(int event_id) {
  switch (event_id) {
    case PBT_APMSUSPEND:
      HandlePowerEvent(POWER_SUSPENDING);
      break;
    case PBT_APMRESUMESUSPEND:
    case PBT_APMRESUMEAUTOMATIC:
      HandlePowerEvent(POWER_RESUMED);
      break;
    case PBT_APMPOWERSTATUSCHANGE:
      HandlePowerEvent(POWER_SOURCE_CHANGED);
      break;
    default:
      break;
  }
}

// static
SystemMonitor::PowerStatusSource SystemMonitor::ReplacePowerStatusSource(
    PowerStatusSource source) {
  return g_power_status_source.exchange(source, std::memory_order_acq_rel);
}

// static
bool SystemMonitor::ReadPowerStatus(int* ac_line_status,
                                    unsigned long* error_code) {
  return g_power_status_source.load(std::memory_order_acquire)(ac_line_status,
                                                               error_code);
}

}  // namespace base
