// Loading the connectivity library on first need. The loaded flag is
// process-wide and never cleared, so each case runs in a process of its own
// (a death test in the "threadsafe" style re-runs the program for it) with
// WINPORT_DLL_PATH naming the folder to load from. A case reports its failed
// checks on stderr and exits with 1.
#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "host/failure.h"
#include "orsand/ddc_loader.h"
#include "tests/support/host_harness.h"
#include "tests/support/tdms_writer.h"
#include "tests/support/temp_dir.h"

namespace {

namespace tdms = testsupport::tdms;

class Checks {
 public:
  void Expect(bool ok, const std::string& what) {
    if (!ok) {
      std::cerr << "failed: " << what << "\n";
      failed_ = true;
    }
  }
  [[noreturn]] void Exit() const { std::exit(failed_ ? 1 : 0); }

 private:
  bool failed_ = false;
};

void InOwnProcess(const std::string& dllPath, const std::function<void(Checks&)>& body) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("WINPORT_DLL_PATH", dllPath.c_str(), 1);
        Checks checks;
        body(checks);
        checks.Exit();
      },
      ::testing::ExitedWithCode(0), "");
}

// Calls a stub with every argument zero, null or empty; one with a result
// must answer `status`.
template <typename R, typename... A>
void ExpectStubFails(Checks& checks, R (*stub)(A...), int status, const char* name) {
  if constexpr (std::is_same_v<R, int>)
    checks.Expect(stub(A{}...) == status, std::string(name) + " answers the status");
  else
    stub(A{}...);
}

// Every stub with a result answers `status` without reaching the library;
// those without one return; the error text is the loader's own.
void ExpectEveryStubFails(Checks& checks, int status) {
  using orsand::kDdcLoadFailureText;
#define CHECK_STUB(name) ExpectStubFails(checks, orsand::name, status, #name);
  DDC_ENTRY_POINTS(CHECK_STUB)
#undef CHECK_STUB
  checks.Expect(std::string(orsand::DDC_GetLibraryErrorDescription(-6212)) == kDdcLoadFailureText,
                "the error text tells that loading failed");
  checks.Expect(orsand::DDC_SetFileProperty(nullptr, "name", "x") == status, "DDC_SetFileProperty");
  checks.Expect(orsand::DDC_CreateChannelProperty(nullptr, "p", DDC_TypeDouble, 1.0) == status,
                "DDC_CreateChannelProperty");
  checks.Expect(!orsand::DdcLibraryLoaded(), "the library does not count as loaded");
}

// A small TDMS file opens and reads through the stubs.
void ExpectLibraryWorks(Checks& checks) {
  testsupport::TempDir dir;
  const std::string path = dir.File("one.tdms");
  tdms::Segment segment;
  segment.objects = {tdms::NoData("/", {tdms::String("name", "one")}),
                     tdms::WithData(tdms::Path("G", "c"), tdms::kF64, 2)};
  segment.raw = tdms::RawData().Values<double>({1.5, 2.5}).Bytes();
  testsupport::WriteFileBytes(path, tdms::Encode({segment}));

  DDCFileHandle file = nullptr;
  checks.Expect(orsand::DDC_OpenFileEx(path.c_str(), "TDMs", 1, &file) == 0, "the file opens");
  unsigned int groups = 0;
  checks.Expect(orsand::DDC_GetNumChannelGroups(file, &groups) == 0 && groups == 1, "one group");
  // The property setters pass their arguments on to the V entry points, which refuse.
  checks.Expect(orsand::DDC_SetFileProperty(file, "name", "x") == DDC_ErrNotSupported, "DDC_SetFileProperty");
  checks.Expect(orsand::DDC_CreateFileProperty(file, "p", DDC_TypeDouble, 1.0) == DDC_ErrNotSupported,
                "DDC_CreateFileProperty");
  orsand::DDC_CloseFile(file);
  checks.Expect(std::string(orsand::DDC_GetLibraryErrorDescription(DDC_ErrDamaged)) != orsand::kDdcLoadFailureText,
                "the library describes its own statuses");
}

TEST(DdcLoader, WithoutTheLibraryEveryStubFails) {
  testsupport::TempDir empty;
  InOwnProcess(empty.Path(), [](Checks& checks) {
    ExpectEveryStubFails(checks, orsand::kDdcLibraryNotLoaded);
    checks.Expect(orsand::LoadDdcLibrary() == orsand::kDdcLibraryNotLoaded, "loading fails again");
    // A failed attempt leaves nothing behind: once the library is there, the next call loads it.
    setenv("WINPORT_DLL_PATH", DDC_DIR, 1);
    ExpectLibraryWorks(checks);
    checks.Expect(orsand::DdcLibraryLoaded(), "loaded");
  });
}

TEST(DdcLoader, WithoutTheLibraryTheModuleReportsIt) {
  testsupport::TempDir empty;
  InOwnProcess(empty.Path(), [](Checks& checks) {
    testsupport::HostHarness host;
    host.Register(ORSAND_MODULE_PATH);
    const std::string path = host.Dir().File("f.tdms");
    testsupport::WriteFileBytes(path, "TDSm");
    bool failed = false;
    try {
      host.Import("Orsand.ZPFileImport", path);
    } catch (const host::Failure&) {
      failed = true;
    }
    checks.Expect(failed, "the import fails");
    const auto boxes = host.Boxes();
    checks.Expect(boxes.size() == 1 && boxes[0].caption == "TDMs Import" &&
                      boxes[0].text == std::string("Error reading file: ") + orsand::kDdcLoadFailureText,
                  "one box tells that the library could not be loaded");
  });
}

TEST(DdcLoader, ALibraryLackingOneEntryPointCountsAsMissingAndIsUnloaded) {
  InOwnProcess(DDC_LACKING_DIR, [](Checks& checks) {
    checks.Expect(orsand::LoadDdcLibrary() == orsand::kDdcLibraryNotLoaded, "loading fails");
    checks.Expect(orsand::DDC_GetNumChannelGroups(nullptr, nullptr) == orsand::kDdcLibraryNotLoaded,
                  "a stub answers the loader's status");
    const std::string lacking = std::string(DDC_LACKING_DIR) + "/libnilibddc.so";
    checks.Expect(dlopen(lacking.c_str(), RTLD_NOW | RTLD_NOLOAD) == nullptr, "the library is unloaded");
    // The complete library, found later under the same name, loads.
    setenv("WINPORT_DLL_PATH", DDC_DIR, 1);
    checks.Expect(orsand::LoadDdcLibrary() == 0, "the complete library loads");
    ExpectLibraryWorks(checks);
  });
}

TEST(DdcLoader, ThePresentLibraryLoadsOnceOnFirstNeed) {
  InOwnProcess(DDC_DIR, [](Checks& checks) {
    checks.Expect(!orsand::DdcLibraryLoaded(), "nothing is loaded before the first call");
    // Threads that need the library at once: each finds it loaded, by itself or another.
    std::vector<std::thread> threads;
    std::atomic<int> loaded{0};
    for (int i = 0; i < 8; ++i)
      threads.emplace_back([&] { loaded += orsand::DDC_GetNumChannelGroups(nullptr, nullptr) == DDC_ErrInvalidArgument; });
    for (std::thread& t : threads) t.join();
    checks.Expect(loaded == 8, "every thread reaches the library");
    ExpectLibraryWorks(checks);
    checks.Expect(orsand::DdcLibraryLoaded(), "loaded by the first stub");
    // Loaded for good: a later change of the search path does not matter.
    setenv("WINPORT_DLL_PATH", "/nonexistent", 1);
    checks.Expect(orsand::LoadDdcLibrary() == 0, "stays loaded");
    ExpectLibraryWorks(checks);
  });
}

}  // namespace
