// zphost: the host stand-in on the command line (see `zphost --help`).
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "host/cli.h"

#ifdef ZPHOST_WITH_QT
#include <QApplication>

#include "platform/ui/qt/qt_backend.h"
#endif

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  host::CliEnvironment env;
  env.stderrIsTerminal = isatty(STDERR_FILENO) == 1;
  // The installed modules lie in a folder beside the program's, wherever the installation went.
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) env.moduleFolder = (self.parent_path() / ZPHOST_MODULE_FOLDER).lexically_normal().string();
  env.gui = std::find(args.begin(), args.end(), "--gui") != args.end();
  std::ios::sync_with_stdio(false);
#ifdef ZPHOST_WITH_QT
  if (env.gui) {
    QApplication app(argc, argv);
    winport::ui::QtBackend backend;
    winport::ui::SetBackend(&backend);
    return host::RunCli(args, std::cout, std::cerr, env);
  }
#else
  if (env.gui) {
    std::cerr << "zphost: --gui: this zphost was built without Qt\n";
    return 2;
  }
#endif
  const int code = host::RunCli(args, std::cout, std::cerr, env);
  std::cout.flush();
  return code;
}
