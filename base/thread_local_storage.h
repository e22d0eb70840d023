#ifndef BASE_THREAD_LOCAL_STORAGE_H_
#define BASE_THREAD_LOCAL_STORAGE_H_

#include <atomic>

namespace base {

// The number of slots in each thread's table, slot 0 included.
inline constexpr int kThreadLocalStorageSize = 64;

struct ThreadStorageExitHook;

// Per-thread slots whose values are handed to a destructor when the thread
// ends; the platform's own thread-local storage has no such destructors.
//
// All slots share one platform TLS index (`tls_key_`, allocated on first
// use), whose value in each thread is that thread's table of
// kThreadLocalStorageSize pointers, created zero-filled on the thread's first
// slot access. Slot numbers run from 1 to kThreadLocalStorageSize - 1 and are
// never handed out twice. When a thread ends (or the process, for the thread
// that ends it) the image's TLS callback calls the destructor of every slot
// allocated so far, by increasing slot number, with the thread's value in
// that slot, null values included, and then frees the thread's table.
//
// The destructors run in one pass. Each slot is cleared just before its
// destructor is called, and the table stays readable and writable until the
// pass ends. A value that a destructor stores into its own slot or an
// earlier one is not destroyed; one stored into a later slot is handed to
// that slot's destructor when its turn comes.
class ThreadStorage {
 public:
  // Receives the ending thread's value in a slot, which may be null.
  using Destructor = void (*)(void* value);

  // One slot. Any thread may Get and Set its own value in any initialised
  // slot; Initialize and Free belong to the slot's owner. The Key does not
  // own the values: the slot's destructor (if any) disposes of them.
  class Key {
   public:
    // Allocates a slot at once; check initialized() for the result.
    explicit Key(Destructor destructor);
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    // Allocates the next slot number and records `destructor` (null for
    // none) for it. False, with a failed check, when all slot numbers are
    // used up; the Key then stays uninitialised.
    bool Initialize(Destructor destructor);
    bool initialized() const { return initialized_; }
    // The slot number; meaningful while initialized().
    int slot() const { return slot_; }

    // Forgets the slot's destructor and marks the Key uninitialised. The
    // slot number is not handed out again.
    void Free();

    // The calling thread's value; null until this thread sets one.
    void* Get() const;
    void Set(void* value);

   private:
    bool initialized_ = false;
    int slot_ = -1;
  };

  ThreadStorage() = delete;

 private:
  friend struct ThreadStorageExitHook;

  // The calling thread's table, created when it has none; null when the
  // platform TLS index cannot be had.
  static void** Table();
  // Creates and installs the calling thread's table.
  static void** CreateTable();
  // Runs the calling thread's destructors and frees its table.
  static void RunDestructors();

  // The one platform TLS index; all bits set until it is first allocated,
  // never freed.
  static std::atomic<unsigned long> tls_key_;
  // The high-water mark of handed-out slot numbers; starts at 1, so that
  // slot 0 is never handed out.
  static std::atomic<int> tls_max_;
  // Each slot's destructor, or null. Written when a slot is allocated or
  // freed, read by ending threads without a lock.
  static std::atomic<Destructor> destructors_[kThreadLocalStorageSize];
};

}  // namespace base

#endif  // BASE_THREAD_LOCAL_STORAGE_H_
