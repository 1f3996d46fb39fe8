// An MDF file written into a temporary folder and opened, with messages off,
// for tests that look at what the open made of it.
#pragma once

#include <cstdint>
#include <string>

#include "mdf/mdf.h"
#include "tests/support/temp_dir.h"

namespace testsupport {

struct OpenedMdf {
  TempDir dir;
  std::string path;
  mdf::CMdf mdf;
  int result = 0;  // of CMdf::Open
  explicit OpenedMdf(const std::string& bytes, mdf::MdfProfile profile = mdf::MdfProfile::Import,
                     uint16_t readerVersion = mdf::CMdf::kViewerReaderVersion)
      : path(dir.File("f.mdf")), mdf(profile) {
    WriteFileBytes(path, bytes);
    mdf.SetReaderVersion(readerVersion);
    mdf.SetShowMessages(false);
    result = mdf.Open(path);
  }
  std::string Bytes() const { return ReadFileBytes(path); }
};

}  // namespace testsupport
