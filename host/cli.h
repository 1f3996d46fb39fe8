// The command line of zphost, runnable in-process for tests.
#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace host {

struct CliEnvironment {
  explicit CliEnvironment(bool stderrIsTerminal = false, bool gui = false, std::string moduleFolder = {})
      : stderrIsTerminal(stderrIsTerminal), gui(gui), moduleFolder(std::move(moduleFolder)) {}

  bool stderrIsTerminal;     // progress windows are drawn as a line only on a terminal
  bool gui;                  // a GUI backend shows boxes and dialogs: nothing is answered here
  std::string moduleFolder;  // where the installed import modules lie (register --all)
};

// Runs `zphost <args...>` (args without the program name) and returns its exit code.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const CliEnvironment& env);

}  // namespace host
