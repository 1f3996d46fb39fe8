// Entry point of every test program: a dialog that a test's script did not
// expect fails the running test, and the tests leave the user's own
// configuration alone: HOME and XDG_CONFIG_HOME point at a folder of this
// run (what the platform's dialogs remember goes there), removed at the end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/ui/headless.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::string home = (std::filesystem::temp_directory_path() / "mdfhome-XXXXXX").string();
  const bool ownHome = mkdtemp(home.data()) != nullptr;
  if (ownHome) {
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
  }
  winport::ui::Headless().SetFailureHandler([](const std::string& failure) {
    ADD_FAILURE() << "dialog: " << failure;
  });
  const int result = RUN_ALL_TESTS();
  if (ownHome) {
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
  }
  return result;
}
