#include "platform/win32/sync.h"

#include <chrono>
#include <condition_variable>
#include <string>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/win32/error.h"

namespace winport {
namespace {

struct SyncObject {
  bool isEvent = true;
  bool isMutex = false;
  bool manualReset = true;  // threads stay signalled once ended
  bool signalled = false;   // events and threads
  std::thread::id owner;    // mutexes: the owning thread, none when free
  unsigned takes = 0;       // mutexes: how often the owner took it
};

bool Ready(const SyncObject& o) {
  if (o.isMutex) return o.takes == 0 || o.owner == std::this_thread::get_id();
  return o.signalled;
}

void Consume(SyncObject& o) {
  if (o.isMutex) {
    o.owner = std::this_thread::get_id();
    ++o.takes;
  } else if (!o.manualReset) {
    o.signalled = false;
  }
}

// All objects share one lock and one condition: every change of a signal
// state wakes every waiter, which then re-checks its own objects. Waits on
// several objects are thereby atomic without lock ordering.
struct Objects {
  std::mutex mutex;
  std::condition_variable changed;
  std::unordered_map<uintptr_t, std::shared_ptr<SyncObject>> handles;
  std::unordered_map<std::string, std::weak_ptr<SyncObject>> namedMutexes;
  uintptr_t nextHandle = 4;  // handle values are multiples of 4, never NULL
  DWORD nextThreadId = 1;

  static Objects& Instance() {
    static Objects* objects = new Objects;  // never destroyed: threads may end during exit
    return *objects;
  }

  HANDLE Add(std::shared_ptr<SyncObject> object) {
    const uintptr_t id = nextHandle;
    nextHandle += 4;
    handles.emplace(id, std::move(object));
    return reinterpret_cast<HANDLE>(id);
  }

  std::shared_ptr<SyncObject> Find(HANDLE handle) const {
    const auto it = handles.find(reinterpret_cast<uintptr_t>(handle));
    return it == handles.end() ? nullptr : it->second;
  }
};

// The index of the object that satisfies the wait (count for wait-all), consuming
// auto-reset signals; none when the wait must go on.
std::optional<DWORD> TryWait(const std::vector<std::shared_ptr<SyncObject>>& objects, bool waitAll) {
  if (waitAll) {
    for (const auto& o : objects)
      if (!Ready(*o)) return std::nullopt;
    for (const auto& o : objects) Consume(*o);
    return 0;
  }
  for (size_t i = 0; i < objects.size(); ++i) {
    if (!Ready(*objects[i])) continue;
    Consume(*objects[i]);
    return static_cast<DWORD>(i);
  }
  return std::nullopt;
}

BOOL SetSignal(HANDLE event, bool signalled) {
  Objects& all = Objects::Instance();
  {
    std::lock_guard lock(all.mutex);
    const auto object = all.Find(event);
    if (!object || !object->isEvent) return FALSE;
    object->signalled = signalled;
  }
  if (signalled) all.changed.notify_all();
  return TRUE;
}

}  // namespace
}  // namespace winport

using winport::Objects;
using winport::SyncObject;

HANDLE CreateEventA(const void*, BOOL manualReset, BOOL initialState, const char* name) {
  if (name) return nullptr;
  auto event = std::make_shared<SyncObject>();
  event->manualReset = manualReset != FALSE;
  event->signalled = initialState != FALSE;
  Objects& all = Objects::Instance();
  std::lock_guard lock(all.mutex);
  return all.Add(std::move(event));
}

HANDLE CreateMutexA(const void*, BOOL initialOwner, const char* name) {
  Objects& all = Objects::Instance();
  std::lock_guard lock(all.mutex);
  std::shared_ptr<SyncObject> mutex;
  if (name) {
    auto& slot = all.namedMutexes[name];
    mutex = slot.lock();
    if (mutex) {
      SetLastError(ERROR_ALREADY_EXISTS);  // an existing mutex is opened, never taken
      return all.Add(std::move(mutex));
    }
    mutex = std::make_shared<SyncObject>();
    slot = mutex;
  } else {
    mutex = std::make_shared<SyncObject>();
  }
  mutex->isEvent = false;
  mutex->isMutex = true;
  if (initialOwner) winport::Consume(*mutex);
  SetLastError(ERROR_SUCCESS);
  return all.Add(std::move(mutex));
}

BOOL ReleaseMutex(HANDLE handle) {
  Objects& all = Objects::Instance();
  {
    std::lock_guard lock(all.mutex);
    const auto mutex = all.Find(handle);
    if (!mutex || !mutex->isMutex || mutex->takes == 0 || mutex->owner != std::this_thread::get_id()) {
      SetLastError(ERROR_NOT_OWNER);
      return FALSE;
    }
    if (--mutex->takes > 0) return TRUE;
    mutex->owner = std::thread::id();
  }
  all.changed.notify_all();
  return TRUE;
}

BOOL SetEvent(HANDLE event) { return winport::SetSignal(event, true); }
BOOL ResetEvent(HANDLE event) { return winport::SetSignal(event, false); }

HANDLE CreateThread(const void*, size_t, LPTHREAD_START_ROUTINE start, void* parameter, DWORD creationFlags,
                    DWORD* threadId) {
  if (!start || creationFlags != 0) return nullptr;
  auto thread = std::make_shared<SyncObject>();
  thread->isEvent = false;
  Objects& all = Objects::Instance();
  HANDLE handle;
  {
    std::lock_guard lock(all.mutex);
    handle = all.Add(thread);
    if (threadId) *threadId = all.nextThreadId++;
  }
  try {
    std::thread([thread, start, parameter] {
      start(parameter);
      Objects& objects = Objects::Instance();
      {
        std::lock_guard lock(objects.mutex);
        thread->signalled = true;
      }
      objects.changed.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    std::lock_guard lock(all.mutex);
    all.handles.erase(reinterpret_cast<uintptr_t>(handle));
    return nullptr;
  }
  return handle;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) return WAIT_FAILED;
  Objects& all = Objects::Instance();
  std::unique_lock lock(all.mutex);
  std::vector<std::shared_ptr<SyncObject>> objects;
  for (DWORD i = 0; i < count; ++i) {
    auto object = all.Find(handles[i]);
    if (!object) return WAIT_FAILED;
    if (waitAll)
      for (const auto& earlier : objects)
        if (earlier == object) return WAIT_FAILED;
    objects.push_back(std::move(object));
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    if (const auto index = winport::TryWait(objects, waitAll != FALSE)) return WAIT_OBJECT_0 + *index;
    if (milliseconds == INFINITE)
      all.changed.wait(lock);
    else if (all.changed.wait_until(lock, deadline) == std::cv_status::timeout)
      break;
  }
  const auto index = winport::TryWait(objects, waitAll != FALSE);
  return index ? WAIT_OBJECT_0 + *index : WAIT_TIMEOUT;
}

BOOL CloseHandle(HANDLE handle) {
  Objects& all = Objects::Instance();
  std::lock_guard lock(all.mutex);
  if (all.handles.erase(reinterpret_cast<uintptr_t>(handle)) != 1) return FALSE;
  // Forget the names of mutexes that no handle opens any more.
  std::erase_if(all.namedMutexes, [](const auto& entry) { return entry.second.expired(); });
  return TRUE;
}
