#include "base/path_service.h"

#include <atomic>
#include <unordered_map>
#include <unordered_set>

#include "base/file_util.h"
#include "base/lock_impl.h"
#include "base/logging.h"
#include "base/path_providers.h"
#include "base/singleton.h"

namespace base {
namespace {

// One provider in the chain.
struct ProviderRecord {
  ProviderFunction function;
  ProviderRecord* next;  // Asked after this one; null at the end.
  int key_start;         // The range served, for the overlap check.
  int key_end;           // Exclusive.
  bool is_static;        // The built-in records are never freed.
};

ProviderRecord g_base_provider = {&BasePathProvider, nullptr, PATH_BASE_FIRST,
                                  PATH_BASE_LAST, true};
ProviderRecord g_platform_provider = {&PlatformPathProvider, &g_base_provider,
                                      PATH_PLATFORM_FIRST, PATH_PLATFORM_LAST,
                                      true};

// The service's state, one per process.
struct PathServiceData {
  PathServiceData() : providers(&g_platform_provider) {}
  PathServiceData(const PathServiceData&) = delete;
  PathServiceData& operator=(const PathServiceData&) = delete;
  ~PathServiceData() {
    ProviderRecord* record = providers.load(std::memory_order_acquire);
    while (record) {
      ProviderRecord* const next = record->next;
      if (!record->is_static)
        delete record;
      record = next;
    }
  }

  Lock lock;
  std::unordered_map<int, FilePath> cache;  // Guarded by `lock`.
  std::unordered_set<int> overrides;        // Guarded by `lock`.
  // The head of the chain. Records are only ever added at the head, fully
  // made before they are published, so a walk without the lock sees a
  // consistent chain; insertion takes the lock.
  std::atomic<ProviderRecord*> providers;
};

PathServiceData* GetPathData() {
  return Singleton<PathServiceData>::get();
}

}  // namespace

// static
bool PathKeyService::Get(int key, FilePath* result) {
  PathServiceData* const path_data = GetPathData();
  CHECK_OR_RETURN(result, false);
  CHECK_OR_RETURN(key >= base::DIR_CURRENT, false);

  if (key == DIR_CURRENT)
    return GetWorkingFolder(result);

  {
    LockGuard guard(path_data->lock);
    const auto cached = path_data->cache.find(key);
    if (cached != path_data->cache.end()) {
      *result = cached->second;
      return true;
    }
  }

  FilePath path;
  for (const ProviderRecord* provider =
           path_data->providers.load(std::memory_order_acquire);
       provider; provider = provider->next) {
    if (provider->function(key, &path))
      break;
    CHECK(path.empty()) << "provider should not have modified path";
    path = FilePath();
  }
  // Nothing known, or a provider that answered with nothing: no answer, and
  // nothing cached, so the next call asks again.
  if (path.empty())
    return false;

  {
    LockGuard guard(path_data->lock);
    path_data->cache[key] = path;
  }
  *result = path;
  return true;
}

// static
bool PathKeyService::Get(int key, std::wstring* result) {
  FilePath path;
  if (!Get(key, &path))
    return false;
  *result = path.ToWideString();
  return true;
}

// static
bool PathKeyService::Override(int key, const std::wstring& path) {
  PathServiceData* const path_data = GetPathData();
  CHECK_OR_RETURN(key > base::DIR_CURRENT, false, "invalid path key");

  FilePath file_path = FilePath::FromWideString(path);
  if (!MakeAbsolute(&file_path) || !MakeDirectory(file_path))
    return false;
  std::wstring text = file_path.ToWideString();
  DropTrailingSeparators(&text);

  LockGuard guard(path_data->lock);
  path_data->cache[key] = FilePath(text);
  path_data->overrides.insert(key);
  return true;
}

// static
bool PathKeyService::IsOverridden(int key) {
  PathServiceData* const path_data = GetPathData();
  LockGuard guard(path_data->lock);
  return path_data->overrides.count(key) != 0;
}

// static
void PathKeyService::RegisterProvider(ProviderFunction provider,
                                      int key_start,
                                      int key_end) {
  PathServiceData* const path_data = GetPathData();
  CHECK_OR_RETURN(provider, );
  CHECK_OR_RETURN(key_end > key_start, );

  LockGuard guard(path_data->lock);
  ProviderRecord* const head =
      path_data->providers.load(std::memory_order_relaxed);
  for (const ProviderRecord* p = head; p; p = p->next) {
    CHECK_OR_RETURN(key_start >= p->key_end || key_end <= p->key_start, ,
                    "path provider collision");
  }
  path_data->providers.store(
      new ProviderRecord{provider, head, key_start, key_end, false},
      std::memory_order_release);
}

// static
bool PathKeyService::SetWorkingDirectory(const std::wstring& path) {
  return SetWorkingFolder(path);
}

}  // namespace base
