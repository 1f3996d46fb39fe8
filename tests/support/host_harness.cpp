#include "tests/support/host_harness.h"

#include "host/failure.h"
#include "platform/win32/registry.h"

namespace testsupport {

HostHarness::HostHarness() { winport::SetRegistryPath(dir_.File("registry")); }

HostHarness::~HostHarness() {
  session_.reset();
  scope_.reset();
  backend_.reset();
  winport::SetRegistryPath("");
}

void HostHarness::Register(const std::string& module) { host::RegisterModule(module, false); }
void HostHarness::Unregister(const std::string& module) { host::RegisterModule(module, true); }

ImportResult HostHarness::Import(const std::string& progId, const std::string& file, const ImportOptions& options) {
  session_.reset();
  scope_.reset();
  backend_ = std::make_unique<host::AnsweringBackend>(options.answers, nullptr, nullptr);
  for (const std::optional<std::string>& path : options.fileDialogs) {
    winport::ui::ExpectedDialog dialog;
    dialog.kind = winport::ui::DialogKind::FileDialog;
    dialog.path = path;
    backend_->Expect(dialog);
  }
  scope_ = std::make_unique<host::BackendScope>(backend_.get());
  session_ = std::make_unique<host::Session>(progId);
  host::ImportOptions configure;
  configure.user = options.user;
  configure.variables = options.vars;
  configure.zpVersion = options.zpVersion;
  configure.parameters = options.parameters;
  session_->Configure(configure);
  session_->Import(file, options.user);
  ImportResult result;
  result.file = session_->FileProperties(file);
  result.signals = session_->Signals();
  result.scalars = session_->Scalars();
  result.comments = session_->Comments();
  result.boxes = backend_->Boxes();
  result.errnoValue = session_->Variable("ERRNO");
  result.errmsg = session_->Variable("ERRMSG");
  return result;
}

std::optional<host::Failure> HostHarness::TryImport(const std::string& progId, const std::string& file,
                                                    const ImportOptions& options, ImportResult* result) {
  try {
    ImportResult r = Import(progId, file, options);
    if (result) *result = std::move(r);
  } catch (const host::Failure& f) {
    return f;
  }
  return std::nullopt;
}

SampleSet HostHarness::Samples(const std::string& signal, host::ReadOptions options) {
  if (!session_) throw host::Failure(host::Exit::Usage, "read", std::nullopt, "nothing is imported");
  const size_t index = session_->SignalIndex(signal);
  host::Session::ReadScope reading(*session_);
  std::unique_ptr<host::Series> series = session_->OpenSeries(index, options);
  SampleSet set;
  host::Point p;
  while (series->Next(p)) {
    set.bytes.append(reinterpret_cast<const char*>(p.bytes.data()), p.bytes.size());
    set.values.push_back(p.value);
    set.times.push_back(p.time);
  }
  return set;
}

std::vector<host::BoxRecord> HostHarness::Boxes() const {
  return backend_ ? backend_->Boxes() : std::vector<host::BoxRecord>{};
}

}  // namespace testsupport
