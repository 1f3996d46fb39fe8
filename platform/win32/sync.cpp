#include "platform/win32/sync.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

namespace winport {
namespace {

struct SyncObject {
  bool isEvent = true;
  bool manualReset = true;  // threads stay signalled once ended
  bool signalled = false;
};

// All objects share one lock and one condition: every change of a signal
// state wakes every waiter, which then re-checks its own objects. Waits on
// several objects are thereby atomic without lock ordering.
struct Objects {
  std::mutex mutex;
  std::condition_variable changed;
  std::unordered_map<uintptr_t, std::shared_ptr<SyncObject>> handles;
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
      if (!o->signalled) return std::nullopt;
    for (const auto& o : objects)
      if (!o->manualReset) o->signalled = false;
    return 0;
  }
  for (size_t i = 0; i < objects.size(); ++i) {
    if (!objects[i]->signalled) continue;
    if (!objects[i]->manualReset) objects[i]->signalled = false;
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
  return all.handles.erase(reinterpret_cast<uintptr_t>(handle)) == 1 ? TRUE : FALSE;
}
