// Named and unnamed mutexes with Win32's ownership rules.
#include <gtest/gtest.h>

#include <thread>

#include "platform/win32/error.h"
#include "platform/win32/sync.h"

namespace {

// Runs `work` on another thread and waits for it.
template <typename F>
void OnOtherThread(F work) {
  std::thread(work).join();
}

TEST(MutexTest, OwnerTakesItAgainOthersWait) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
  ASSERT_NE(mutex, nullptr);
  ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);  // recursively
  OnOtherThread([&] {
    EXPECT_EQ(WaitForSingleObject(mutex, 20), WAIT_TIMEOUT);
    EXPECT_FALSE(ReleaseMutex(mutex));  // not the owner
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
  });
  EXPECT_TRUE(ReleaseMutex(mutex));
  OnOtherThread([&] { EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_TIMEOUT); });  // still taken once
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_FALSE(ReleaseMutex(mutex));  // released as often as taken
  OnOtherThread([&] {
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
  });
  EXPECT_FALSE(SetEvent(mutex));  // no event
  EXPECT_TRUE(CloseHandle(mutex));
}

TEST(MutexTest, NamesShareOneMutexWhileAHandleIsOpen) {
  HANDLE first = CreateMutexA(nullptr, TRUE, "ddc-loader");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  HANDLE second = CreateMutexA(nullptr, TRUE, "ddc-loader");  // opens it; does not take it
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_NE(first, second);
  OnOtherThread([&] { EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_TIMEOUT); });
  EXPECT_TRUE(ReleaseMutex(second));  // the same mutex, owned by this thread since the first create
  EXPECT_FALSE(ReleaseMutex(first));
  HANDLE other = CreateMutexA(nullptr, FALSE, "DDC-LOADER");  // names compare exactly
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(CloseHandle(other));

  // Waiting on both handles of one mutex is one object taken twice.
  HANDLE both[] = {first, second};
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(first));
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_TRUE(CloseHandle(second));
  // With every handle closed the name is free again.
  HANDLE fresh = CreateMutexA(nullptr, FALSE, "ddc-loader");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(CloseHandle(fresh));
}

}  // namespace
