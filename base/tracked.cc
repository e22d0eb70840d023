#include "base/tracked.h"

#include <atomic>

#include "base/string_util.h"

namespace tracked_objects {

namespace {

std::atomic<TrackingHooks*> g_tracking_hooks{nullptr};

// The hooks while tracking is active, else null.
TrackingHooks* ActiveHooks() {
  TrackingHooks* const hooks = g_tracking_hooks.load(std::memory_order_acquire);
  return hooks && hooks->IsActive() ? hooks : nullptr;
}

}  // namespace

void Location::Write(bool display_filename,
                     bool display_function_name,
                     std::string* output) const {
  base::AppendFormat(output, "%s[%d] ", display_filename ? file_name_ : "line",
                     line_number_);
  if (!display_function_name)
    return;
  WriteEscapedFunctionName(output);
  output->push_back(' ');
}

void Location::WriteEscapedFunctionName(std::string* output) const {
  for (const char* c = function_name_; *c; ++c) {
    switch (*c) {
      case '<':
        output->append("&lt;");
        break;
      case '>':
        output->append("&gt;");
        break;
      default:
        output->push_back(*c);
    }
  }
}

TrackingHooks* SetTrackingHooks(TrackingHooks* hooks) {
  return g_tracking_hooks.exchange(hooks, std::memory_order_acq_rel);
}

TrackedBirth::TrackedBirth() : birth_time_(base::Time::Now()) {
  if (ActiveHooks())
    RecordBirthPlace(Location("NoFunctionName", "NeedToSetBirthPlace", -1));
}

TrackedBirth::~TrackedBirth() {
  TrackingHooks* const hooks = ActiveHooks();
  if (!hooks || !birth_record_)
    return;
  ThreadData* const thread_data = hooks->CurrentThreadData();
  if (!thread_data)
    return;
  hooks->CountDeath(thread_data, *birth_record_,
                    base::Time::Now() - birth_time_);
}

void TrackedBirth::RecordBirthPlace(const Location& from_here) {
  TrackingHooks* const hooks = ActiveHooks();
  if (!hooks)
    return;
  // The record is looked up before the old birth is forgotten: a thread
  // without one leaves the birth counted where it was, instead of counting
  // it nowhere (and forgetting it a second time at the next posting).
  ThreadData* const thread_data = hooks->CurrentThreadData();
  if (!thread_data)
    return;
  if (birth_record_)
    hooks->UncountBirth(birth_record_);
  birth_record_ = hooks->BirthRecordFor(thread_data, from_here);
  if (birth_record_)
    hooks->CountBirth(birth_record_);
}

void TrackedBirth::RestartBirthClock() {
  birth_time_ = base::Time::Now();
}

bool TrackedBirth::HasNoBirthPlace() const {
  if (!birth_record_)
    return true;
  TrackingHooks* const hooks = g_tracking_hooks.load(std::memory_order_acquire);
  return !hooks || hooks->BirthPlace(*birth_record_).line_number() == -1;
}

}  // namespace tracked_objects
