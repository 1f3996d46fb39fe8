#include "platform/win32/sync.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

HANDLE AutoEvent(bool signalled = false) { return CreateEventA(nullptr, FALSE, signalled, nullptr); }
HANDLE ManualEvent(bool signalled = false) { return CreateEventA(nullptr, TRUE, signalled, nullptr); }

TEST(EventTest, AutoResetReleasesOneWaitManualResetStays) {
  HANDLE autoEvent = AutoEvent(true);
  HANDLE manual = ManualEvent(true);
  ASSERT_NE(autoEvent, nullptr);
  EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ResetEvent(manual));
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(SetEvent(autoEvent));
  EXPECT_EQ(WaitForSingleObject(autoEvent, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(autoEvent));
  EXPECT_TRUE(CloseHandle(manual));
}

TEST(EventTest, TimeOutAfterTheTimeAsked) {
  HANDLE event = AutoEvent();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(event, 30), WAIT_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
  CloseHandle(event);
}

TEST(EventTest, WaitAnyTakesTheLowestSignalledAndOnlyIt) {
  HANDLE events[3] = {AutoEvent(), AutoEvent(true), AutoEvent(true)};
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 2);
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 10), WAIT_TIMEOUT);
  for (HANDLE h : events) CloseHandle(h);
}

TEST(EventTest, WaitAllTakesAllOrNothing) {
  HANDLE events[2] = {AutoEvent(true), AutoEvent()};
  EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, 10), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(events[0], 0), WAIT_OBJECT_0);  // not consumed by the failed wait
  SetEvent(events[0]);
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    SetEvent(events[1]);
  });
  EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, INFINITE), WAIT_OBJECT_0);
  setter.join();
  EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, 0), WAIT_TIMEOUT);  // both consumed
  for (HANDLE h : events) CloseHandle(h);
}

DWORD WaitThenReport(void* p) {
  auto* handles = static_cast<HANDLE*>(p);  // {event to wait for, event to set}
  if (WaitForSingleObject(handles[0], INFINITE) == WAIT_OBJECT_0) SetEvent(handles[1]);
  return 0;
}

TEST(EventTest, AutoResetSignalWakesOneOfTwoWaiters) {
  HANDLE go = AutoEvent();
  HANDLE done[2] = {AutoEvent(), AutoEvent()};
  HANDLE args[2][2] = {{go, done[0]}, {go, done[1]}};
  HANDLE threads[2] = {CreateThread(nullptr, 0, WaitThenReport, args[0], 0, nullptr),
                       CreateThread(nullptr, 0, WaitThenReport, args[1], 0, nullptr)};
  SetEvent(go);
  const DWORD first = WaitForMultipleObjects(2, done, FALSE, INFINITE);
  ASSERT_LT(first, 2u);
  EXPECT_EQ(WaitForMultipleObjects(2, done, FALSE, 50), WAIT_TIMEOUT);  // the other still waits
  SetEvent(go);
  EXPECT_EQ(WaitForSingleObject(done[1 - first], INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(2, threads, TRUE, INFINITE), WAIT_OBJECT_0);
  for (HANDLE h : {go, done[0], done[1], threads[0], threads[1]}) CloseHandle(h);
}

struct Worker {
  HANDLE go, quit, done;
  int processed = 0;
};

// A worker loop of go, quit and done events, as the data-group loader runs it.
DWORD WorkerLoop(void* p) {
  auto* w = static_cast<Worker*>(p);
  for (;;) {
    HANDLE wait[2] = {w->go, w->quit};
    const DWORD r = WaitForMultipleObjects(2, wait, FALSE, INFINITE);
    if (r == WAIT_OBJECT_0) {
      ++w->processed;
      SetEvent(w->done);
    } else {
      if (r == WAIT_OBJECT_0 + 1) SetEvent(w->done);
      return 0;
    }
  }
}

TEST(ThreadTest, HandleIsSignalledWhenTheThreadEnds) {
  Worker w{AutoEvent(), AutoEvent(), AutoEvent()};
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, WorkerLoop, &w, 0, &id);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, 0u);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
  for (int i = 0; i < 100; ++i) {
    SetEvent(w.go);
    ASSERT_EQ(WaitForSingleObject(w.done, INFINITE), WAIT_OBJECT_0);
  }
  SetEvent(w.quit);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);  // stays signalled
  EXPECT_EQ(w.processed, 100);
  EXPECT_EQ(WaitForSingleObject(w.done, 0), WAIT_OBJECT_0);
  for (HANDLE h : {w.go, w.quit, w.done}) CloseHandle(h);
  EXPECT_TRUE(CloseHandle(thread));
}

TEST(ThreadTest, ClosingTheHandleLetsTheThreadRunOn) {
  HANDLE args[2] = {ManualEvent(), ManualEvent()};  // release, finished
  HANDLE thread = CreateThread(nullptr, 0, WaitThenReport, args, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(CloseHandle(thread));
  SetEvent(args[0]);
  EXPECT_EQ(WaitForSingleObject(args[1], INFINITE), WAIT_OBJECT_0);
  for (HANDLE h : args) CloseHandle(h);
}

TEST(SyncTest, InvalidUseFails) {
  HANDLE e = AutoEvent();
  HANDLE twice[2] = {e, e};
  EXPECT_EQ(WaitForMultipleObjects(2, twice, TRUE, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForMultipleObjects(0, twice, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, twice, FALSE, 0), WAIT_FAILED);
  EXPECT_TRUE(CloseHandle(e));
  EXPECT_FALSE(CloseHandle(e));
  EXPECT_FALSE(SetEvent(e));
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_FAILED);
  EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, "named"), nullptr);
  EXPECT_EQ(CreateThread(nullptr, 0, WorkerLoop, nullptr, 4 /* suspended */, nullptr), nullptr);
  HANDLE thread = CreateThread(nullptr, 0, [](void*) -> DWORD { return 0; }, nullptr, 0, nullptr);
  EXPECT_FALSE(SetEvent(thread));
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  CloseHandle(thread);
}

}  // namespace
