// The command line of zphost, runnable in-process for tests.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace host {

struct CliEnvironment {
  bool stderrIsTerminal = false;  // progress windows are drawn as a line only on a terminal
  bool gui = false;               // a GUI backend shows boxes and dialogs: nothing is answered here
};

// Runs `zphost <args...>` (args without the program name) and returns its exit code.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const CliEnvironment& env);

}  // namespace host
