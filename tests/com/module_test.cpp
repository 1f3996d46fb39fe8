// Run-time loading: LoadLibraryA, GetProcAddress, FreeLibrary, GetModuleFileNameA.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/win32/module.h"
#include "tests/support/temp_dir.h"

namespace {

std::string Real(const char* path) {
  char real[4096];
  return realpath(path, real) ? real : path;
}

std::string FileOf(HMODULE module) {
  char path[4096];
  const DWORD n = GetModuleFileNameA(module, path, sizeof path);
  return std::string(path, n);
}

TEST(ModuleTest, DllNamesStandForSharedLibraries) {
  EXPECT_EQ(winport::SharedLibraryName("nilibddc.dll"), "libnilibddc.so");
  EXPECT_EQ(winport::SharedLibraryName("Pellor.DLL"), "libPellor.so");
  EXPECT_EQ(winport::SharedLibraryName("plain"), "libplain.so");
}

TEST(ModuleTest, LoadsBesideTheCallerAndFromTheSearchPath) {
  // The test modules lie beside this program.
  HMODULE beside = LoadLibraryA("ComTestA.dll");
  ASSERT_NE(beside, nullptr) << winport::LastLoadError();
  EXPECT_EQ(FileOf(beside), Real(COMTEST_A_PATH));
  EXPECT_NE(GetProcAddress(beside, "DllGetClassObject"), nullptr);
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(beside, "NoSuchExport"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  // Loading twice gives the same module; each load is freed on its own.
  HMODULE again = LoadLibraryA(COMTEST_A_PATH);
  EXPECT_EQ(again, beside);
  EXPECT_TRUE(FreeLibrary(again));

  // WINPORT_DLL_PATH comes first.
  testsupport::TempDir dir;
  std::filesystem::copy_file(COMTEST_B_PATH, dir.File("libComTestA.so"));
  setenv("WINPORT_DLL_PATH", ("/nonexistent:" + dir.Path()).c_str(), 1);
  HMODULE searched = LoadLibraryA("ComTestA.dll");
  unsetenv("WINPORT_DLL_PATH");
  ASSERT_NE(searched, nullptr) << winport::LastLoadError();
  EXPECT_NE(searched, beside);
  EXPECT_EQ(FileOf(searched), Real(dir.File("libComTestA.so").c_str()));
  EXPECT_TRUE(FreeLibrary(searched));
  EXPECT_TRUE(FreeLibrary(beside));
}

TEST(ModuleTest, FailuresKeepTheLoadersMessage) {
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA("NoSuchModule.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_NE(winport::LastLoadError().find("libNoSuchModule.so"), std::string::npos) << winport::LastLoadError();
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);

  int notAModule = 0;
  auto bogus = reinterpret_cast<HMODULE>(&notAModule);
  EXPECT_FALSE(FreeLibrary(bogus));
  EXPECT_EQ(GetProcAddress(bogus, "DllGetClassObject"), nullptr);
  char path[16];
  EXPECT_EQ(GetModuleFileNameA(bogus, path, sizeof path), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(ModuleTest, FileNamesOfTheProgramAndOfModules) {
  EXPECT_EQ(FileOf(nullptr), std::filesystem::canonical("/proc/self/exe").string());
  HMODULE module = nullptr;
  ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<const char*>(&LoadLibraryA), &module));
  const std::string winport = FileOf(module);
  EXPECT_NE(winport.find("libwinport"), std::string::npos) << winport;
  EXPECT_EQ(winport, winport::ModulePathOf(reinterpret_cast<const void*>(&LoadLibraryA)));
  // A buffer too small gets the path's start and the size; nothing fits none.
  char small[8];
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameA(module, small, sizeof small), sizeof small);
  EXPECT_EQ(std::string(small), winport.substr(0, 7));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(GetModuleFileNameA(module, small, 0), 0u);
  EXPECT_FALSE(GetModuleHandleExA(0, "libwinport.so", &module));  // only by address
}

}  // namespace
