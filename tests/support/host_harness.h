// The integration harness: registers modules and imports files through the
// host library, as zphost does, in a registry and profile folder of the
// test's own.
//
//   testsupport::HostHarness host;
//   host.Register(MODULE_PATH);
//   const auto imported = host.Import("Pellor.ZPFileImport", file, {.user = "me", .answers = {IDYES}});
//   EXPECT_EQ(host::TextOf(imported.signals[0], "Name"), "Speed");
//   const auto samples = host.Samples("Speed");
//
// Failures of the host's steps are thrown as host::Failure (TryImport returns them).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/answers.h"
#include "host/failure.h"
#include "host/session.h"
#include "tests/support/temp_dir.h"

namespace testsupport {

struct ImportOptions {
  std::string user;
  std::vector<std::pair<std::string, std::string>> vars;
  std::optional<int32_t> zpVersion;
  std::optional<std::vector<uint8_t>> parameters;
  std::vector<int> answers;  // IDOK, IDYES, ... for the boxes in turn; default buttons beyond
  // The file dialogs in turn: the path chosen, or none for Cancel.
  std::vector<std::optional<std::string>> fileDialogs;
};

struct ImportResult {
  host::PropertyList file;
  std::vector<host::PropertyList> signals;
  std::vector<host::PropertyList> scalars;
  std::vector<host::Comment> comments;
  std::vector<host::BoxRecord> boxes;     // boxes and dialogs so far, as answered
  std::optional<std::string> errnoValue;  // ERRNO and ERRMSG after the import
  std::optional<std::string> errmsg;
};

struct SampleSet {
  std::string bytes;                          // each sample's stored bytes as delivered
  std::vector<std::optional<double>> values;  // physical; none for a gap
  std::vector<std::optional<double>> times;
};

class HostHarness {
 public:
  HostHarness();
  ~HostHarness();
  HostHarness(const HostHarness&) = delete;
  HostHarness& operator=(const HostHarness&) = delete;

  const TempDir& Dir() const { return dir_; }
  void Register(const std::string& module);
  void Unregister(const std::string& module);
  // Imports `file` with a new file object of `progId` (the one before is released).
  ImportResult Import(const std::string& progId, const std::string& file, const ImportOptions& options = {});
  // Import's failure, or none when it succeeded (its result then in *result).
  std::optional<host::Failure> TryImport(const std::string& progId, const std::string& file,
                                         const ImportOptions& options = {}, ImportResult* result = nullptr);
  // The samples of a signal of the last import (by name or 1-based number).
  SampleSet Samples(const std::string& signal, host::ReadOptions options = {});
  // The boxes and dialogs of the last import so far.
  std::vector<host::BoxRecord> Boxes() const;

 private:
  TempDir dir_;
  std::unique_ptr<host::AnsweringBackend> backend_;
  std::unique_ptr<host::BackendScope> scope_;
  std::unique_ptr<host::Session> session_;  // released before the backend goes
};

}  // namespace testsupport
