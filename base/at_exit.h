#ifndef BASE_AT_EXIT_H_
#define BASE_AT_EXIT_H_

#include <deque>

#include "base/lock_impl.h"

namespace base {

// A process-wide stack of callbacks that run, last registered first, when
// the manager is destroyed or when asked explicitly.
//
// The launcher creates the process's manager on the stack of its entry
// function before anything can register, and destroys it after the
// application returns; lazily created process-wide objects (`Singleton`)
// register their destruction here. A shadow manager (tests) stacks on top of
// the current one and collects the registrations made while it is on top.
// Managers are made and destroyed on one thread; any thread may register.
class AtExitManager {
 public:
  using AtExitCallbackType = void (*)(void* param);

  AtExitManager();
  // Stacks a shadow manager on top of the current one (`shadow` true).
  explicit AtExitManager(bool shadow);
  AtExitManager(const AtExitManager&) = delete;
  AtExitManager& operator=(const AtExitManager&) = delete;
  // Runs every callback still registered with this manager, then restores
  // the manager it shadowed.
  ~AtExitManager();

  // Registers `func` to be called with `param` on the top manager. A null
  // `func` is reported and not registered.
  static void RegisterCallback(AtExitCallbackType func, void* param);

  // Runs and removes the top manager's callbacks, last registered first.
  // Callbacks run with the manager's lock held.
  static void ProcessCallbacksNow();

 private:
  struct CallbackAndParam {
    AtExitCallbackType func;
    void* param;
  };

  Lock lock_;
  std::deque<CallbackAndParam> stack_;  // Guarded by `lock_`.
  AtExitManager* outer_manager_;        // Shadowed manager, or null.
};

}  // namespace base

#endif  // BASE_AT_EXIT_H_
