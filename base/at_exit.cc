#include "base/at_exit.h"

#include "base/logging.h"

namespace base {
namespace {

// The manager that receives registrations; managers chain through
// `outer_manager_`. Only the thread that makes and destroys managers writes it.
AtExitManager* g_top_manager = nullptr;

}  // namespace

AtExitManager::AtExitManager() : outer_manager_(nullptr) {
  CHECK(!g_top_manager);
  g_top_manager = this;
}

AtExitManager::AtExitManager(bool shadow) : outer_manager_(g_top_manager) {
  CHECK(shadow || !g_top_manager);
  g_top_manager = this;
}

AtExitManager::~AtExitManager() {
  if (!g_top_manager) {
    NOTREACHED() << "Tried to ~AtExitManager without an AtExitManager";
    return;
  }
  CHECK(g_top_manager == this);
  ProcessCallbacksNow();
  g_top_manager = outer_manager_;
}

// static
void AtExitManager::RegisterCallback(AtExitCallbackType func, void* param) {
  if (!g_top_manager) {
    NOTREACHED() << "Tried to RegisterCallback without an AtExitManager";
    return;
  }
  // A null callback would be called at exit: it is reported and dropped.
  CHECK_OR_RETURN(func, );
  LockGuard guard(g_top_manager->lock_);
  g_top_manager->stack_.push_back({func, param});
}

// static
void AtExitManager::ProcessCallbacksNow() {
  if (!g_top_manager) {
    NOTREACHED() << "Tried to ProcessCallbacksNow without an AtExitManager";
    return;
  }
  LockGuard guard(g_top_manager->lock_);
  while (!g_top_manager->stack_.empty()) {
    // Popped before the call, so each callback runs exactly once.
    const CallbackAndParam callback_and_param = g_top_manager->stack_.back();
    g_top_manager->stack_.pop_back();
    callback_and_param.func(callback_and_param.param);
  }
}

}  // namespace base
