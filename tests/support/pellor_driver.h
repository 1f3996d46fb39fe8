// A stand-in for Pellor's MDF import driver, for tests of the file-import
// object before the driver exists: ImportFile then opens the file with the
// file model and appends a signal record for each chosen channel as the
// driver lays them out (time signal first per group, blocks of 1024 bytes
// in signal order, host value types as the driver chooses them, channels
// without values left out).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pellor/file_import.h"

namespace mdf {
class CCNBlock;
}

namespace testsupport {

struct PellorDriverOptions {
  // Short names of the data channels to take; empty takes every channel.
  std::vector<std::string> channels;
  // Runs after the records are appended (a test adds scalars or comments).
  std::function<void(pellor::FileImport&)> after;
  // The driver's result.
  int result = 1;
  // Throws after the file model is opened (the exception path of ImportFile).
  bool fail = false;
  // Composes the channels (a KESTRAVO file): a time record and a value record
  // per composed channel, both served from the composition's array.
  bool compose = false;
};

// Installs the test driver while it lives; the driver before comes back after.
class ScopedPellorDriver {
 public:
  explicit ScopedPellorDriver(PellorDriverOptions options = {});
  ~ScopedPellorDriver();
  ScopedPellorDriver(const ScopedPellorDriver&) = delete;
  ScopedPellorDriver& operator=(const ScopedPellorDriver&) = delete;

 private:
  pellor::ImportDriver before_;
};

}  // namespace testsupport
