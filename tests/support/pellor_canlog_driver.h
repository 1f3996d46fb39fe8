// The CAN-log road alone, in place of the MDF import driver: ImportFile opens
// the file model and runs the CAN-log import, without the driver's question
// and MDF steps, so that the CAN-log import is tested on its own; and helpers
// to read what it made.
#pragma once

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mdf/mdf.h"
#include "pellor/canlog.h"
#include "pellor/dialogs/can_settings.h"
#include "pellor/file_import.h"
#include "pellor/options.h"
#include "platform/win32/profile.h"
#include "tests/support/canlog_writer.h"
#include "tests/support/host_variables.h"
#include "tests/support/temp_dir.h"

namespace pellor::canlogtest {

// Runs the CAN-log import where ImportFile would run the driver.
inline int CanLogDriver(FileImport& import, const std::string& path, const std::string& user) {
  if (!import.m_parametersSet) ReadOptionVariables(import.m_params);
  import.m_mdf = std::make_unique<mdf::CMdf>(mdf::MdfProfile::Import);
  import.m_mdf->SetReaderVersion(FileImport::kVersion);
  if (user == "ZSP") import.m_mdf->SetShowMessages(false);
  if (!import.m_mdf->Open(path)) return 0;
  import.m_name = path.substr(path.find_last_of('/') + 1);
  import.m_dataSize = 0;
  return ImportCanLog(import, nullptr, user) ? 1 : 0;
}

class ScopedCanLogDriver {
 public:
  ScopedCanLogDriver() : before_(SetImportDriver(&CanLogDriver)) {}
  ~ScopedCanLogDriver() { SetImportDriver(before_); }
  ScopedCanLogDriver(const ScopedCanLogDriver&) = delete;
  ScopedCanLogDriver& operator=(const ScopedCanLogDriver&) = delete;

 private:
  ImportDriver before_;
};

// A settings file: the DBC paths per CAN channel.
inline void WriteSettings(const std::string& path, const std::map<int, std::vector<std::string>>& channels) {
  for (const auto& [channel, paths] : channels) WriteCanIniSection(paths, channel, path);
}

// A signal's values as the host reads them: NoOfValues values of its DTyp, as doubles.
inline std::vector<double> ReadValues(FileImport& import, const SignalRecord& r) {
  std::vector<uint8_t> bytes(size_t{r.NoOfValues} * static_cast<uint32_t>(r.Demux));
  std::vector<double> values;
  if (import.Open() != S_OK) return values;
  import.Seek(static_cast<int32_t>(r.Block0 * FileImport::kBlockSize), 0);
  import.Read(bytes.data(), static_cast<uint32_t>(bytes.size()));
  import.Close();
  for (uint32_t i = 0; i < r.NoOfValues; ++i) {
    if (r.DTyp == 13) {
      double d;
      std::memcpy(&d, bytes.data() + 8 * i, 8);
      values.push_back(d);
    } else {
      float f;
      std::memcpy(&f, bytes.data() + 4 * i, 4);
      values.push_back(f);
    }
  }
  return values;
}

inline const SignalRecord* FindSignal(FileImport& import, const std::string& name) {
  for (const SignalRecord& r : import.Lists().signals)
    if (r.Name.str() == name) return &r;
  return nullptr;
}

inline std::vector<std::string> SignalNames(FileImport& import) {
  std::vector<std::string> names;
  for (const SignalRecord& r : import.Lists().signals) names.push_back(r.Name.str());
  return names;
}

}  // namespace pellor::canlogtest
