// The host's Variables keys for a test: a registry store of the test's own in
// a temporary folder, with the values a host would put there.
#pragma once

#include <optional>
#include <string>

#include "tests/support/temp_dir.h"

namespace testsupport {

class HostVariables {
 public:
  // Points the registry at a new store in a temporary folder.
  HostVariables();
  // Points the registry back at its default store.
  ~HostVariables();
  HostVariables(const HostVariables&) = delete;
  HostVariables& operator=(const HostVariables&) = delete;

  // Sets a text value (REG_SZ) in `key` (default: the 6.0 Variables key).
  void Set(const std::string& name, const std::string& value, const std::string& key = kKey6);
  // Sets a value of any bytes (REG_BINARY).
  void SetBinary(const std::string& name, const std::string& bytes, const std::string& key = kKey6);
  void Remove(const std::string& name, const std::string& key = kKey6);
  // The value as stored (its bytes, a text without its NUL); none when missing.
  std::optional<std::string> Get(const std::string& name, const std::string& key = kKey6) const;

  const TempDir& Dir() const { return dir_; }

  static constexpr const char* kKey6 = "Software\\Zephanor\\6.0\\Variables";
  static constexpr const char* kKey7 = "Software\\Zephanor\\7.0\\Variables";

 private:
  TempDir dir_;
};

}  // namespace testsupport
