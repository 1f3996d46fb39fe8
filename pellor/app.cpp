// The module's application object: made when the module is loaded, ended when
// it is unloaded. It remembers where the module lies, so that the options
// file is found beside it, and starts with the host's 6.0 Variables key.
#include "importcore/support.h"
#include "pellor/file_import.h"
#include "platform/com/server/server.h"

namespace pellor {
namespace {

class CPellorApp {
 public:
  CPellorApp() {
    importcore::SetVariablesKey();
    InitInstance();
  }
  ~CPellorApp() { ExitInstance(); }
  CPellorApp(const CPellorApp&) = delete;
  CPellorApp& operator=(const CPellorApp&) = delete;

  void InitInstance() { SetModuleFilePath(comserver::ModulePath()); }
  // The class factories and objects belong to the COM framework, which keeps no state to end.
  void ExitInstance() {}
};

CPellorApp theApp;

}  // namespace
}  // namespace pellor
