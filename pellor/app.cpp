// The module's application object: made when the module is loaded, ended when
// it is unloaded. It remembers where the module lies, so that the options
// file is found beside it, starts with the host's 6.0 Variables key and
// gives the file model's message boxes the module's caption.
#include "importcore/support.h"
#include "mdf/messages.h"
#include "pellor/file_import.h"
#include "pellor/options.h"
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

  void InitInstance() {
    SetModuleFilePath(comserver::ModulePath());
    mdf::SetMessageCaption(kModuleName);  // the file model's boxes are the module's
  }
  // The class factories and objects belong to the COM framework, which keeps no state to end.
  void ExitInstance() {}
};

CPellorApp theApp;

}  // namespace
}  // namespace pellor
