// Entry point of every test program: a dialog that a test's script did not
// expect fails the running test.
#include <gtest/gtest.h>

#include "platform/ui/headless.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  winport::ui::Headless().SetFailureHandler([](const std::string& failure) {
    ADD_FAILURE() << "dialog: " << failure;
  });
  return RUN_ALL_TESTS();
}
