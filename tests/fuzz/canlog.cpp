// Imports arbitrary bytes as a CAN-frame log stored in MDF, with a database of
// assorted signals (Intel and Motorola fields, floats, wide integers, simple
// and extended multiplexing, extended ids) on CAN channels 0-9, in "ZSP" mode, and
// reads every signal back through the contract: each must lie within the data
// space and deliver exactly its bytes.
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/pellor_canlog_driver.h"
#include "tests/support/fuzz_input.h"

namespace {

using namespace testsupport;

constexpr const char* kDbc = R"(VERSION ""

BU_: ECU

BO_ 256 EngineData: 8 ECU
 SG_ EngineSpeed : 0|16@1+ (0.25,0) [0|16383.75] "rpm" ECU
 SG_ Throttle : 24|10@1+ (0.1,0) [0|102.3] "%" ECU
 SG_ Torque : 48|16@1- (0.5,0) [-16384|16383.5] "Nm" ECU

BO_ 512 BrakeData: 8 ECU
 SG_ BrakePressure : 5|12@0+ (0.1,0) [0|409.5] "bar" ECU
 SG_ YawRate : 39|16@0- (0.01,0) [-327.68|327.67] "deg/s" ECU
 SG_ Wide : 7|64@0- (1,0) [0|0] "" ECU

BO_ 768 MuxMessage: 8 ECU
 SG_ MuxSel M : 0|8@1+ (1,0) [0|255] "" ECU
 SG_ SigA m0 : 8|16@1+ (0.5,0) [0|32767.5] "V" ECU
 SG_ SigB m1 : 8|16@1- (1,0) [-32768|32767] "A" ECU
 SG_ Alive : 60|4@1+ (1,0) [0|15] "" ECU

BO_ 2566844672 CruiseControl: 8 ECU
 SG_ WheelBasedSpeed : 8|16@1+ (0.00390625,0) [0|250.996] "km/h" ECU
 SG_ Past : 60|8@1+ (1,0) [0|0] "" ECU

BO_ 1024 FloatMessage: 8 ECU
 SG_ FloatValue : 0|32@1- (1,0) [0|0] "m" ECU
 SG_ DoubleValue : 0|64@1- (1,0) [0|0] "m" ECU
 SG_ Counter40 : 8|40@1+ (1,0) [0|0] "" ECU

BO_ 1280 Cascade: 8 ECU // extended multiplexing
 SG_ MuxA M : 0|4@1+ (1,0) [0|15] "" ECU
 SG_ MuxB m2M : 4|4@1+ (1,0) [0|15] "" ECU
 SG_ Deep m0 : 8|8@1+ (1,0) [0|255] "" ECU
 SG_ Ranged m1 : 16|16@0- (0.5,0) [0|0] "" ECU
 SG_ Second M : 32|4@1+ (1,0) [0|0] "" ECU
 SG_ BySecond m1 : 40|8@1+ (1,0) [0|0] "" ECU
 SG_ Loop1 m1M : 48|4@1+ (1,0) [0|0] "" ECU
 SG_ Loop2 m1M : 52|4@1+ (1,0) [0|0] "" ECU
 SG_ Bare m : 56|8@1+ (1,0) [0|0] "" ECU

BO_ 1296 Nested: 8 ECU
 SG_ Top M : 0|4@1+ (1,0) [0|0] "" ECU
 SG_ Sub m1M : 4|4@1+ (1,0) [0|0] "" ECU
 SG_ Leaf m0 : 8|8@1+ (1,0) [0|0] "" ECU
 SG_ Orphan m3 : 16|8@1+ (1,0) [0|0] "" ECU

SIG_VALTYPE_ 1024 FloatValue : 1;
SIG_VALTYPE_ 1024 DoubleValue : 2;
SG_MUL_VAL_ 1280 MuxB MuxA 2-2;
SG_MUL_VAL_ 1280 Deep MuxB 0-0;
SG_MUL_VAL_ 1280 Ranged MuxA 1-1, 3-3, 5-6;
SG_MUL_VAL_ 1280 BySecond Second 1-1;
SG_MUL_VAL_ 1280 Loop1 Loop2 1-1;
SG_MUL_VAL_ 1280 Loop2 Loop1 1-1;
SG_MUL_VAL_ 1296 Orphan Sub 0-3;
)";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A folder of this process's own as the folder of temporary files, where
  // "ZSP" finds the default settings file; it goes when the process ends.
  static std::string dir = FuzzInputPath("fuzz_canlog", "_XXXXXX");
  if (!mkdtemp(dir.data())) std::abort();
  std::atexit([] { std::filesystem::remove_all(dir); });
  setenv("TEMP", dir.c_str(), 1);
  setenv("WINPORT_REGISTRY", (dir + "/registry").c_str(), 1);
  const std::string dbc = dir + "/fuzz.dbc";
  WriteFileBytes(dbc, kDbc);
  std::string settings;
  for (int channel = 0; channel < 10; ++channel) settings += "[CAN" + std::to_string(channel) + "]\nDB1=" + dbc + "\n";
  WriteFileBytes(pellor::CanSettingsPath(), settings);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = WriteFuzzInput("fuzz_canlog", ".mdf", data, size);
  pellor::canlogtest::ScopedCanLogDriver driver;
  pellor::FileImport import;
  if (import.ImportFile(path, "ZSP") != S_OK) return 0;
  std::vector<uint8_t> buffer;
  for (const pellor::SignalRecord& r : import.Lists().signals) {
    const uint64_t bytes = uint64_t{r.NoOfValues} * static_cast<uint32_t>(r.Demux);
    FuzzCheck(r.rangeEnd - r.rangeStart == bytes || r.Ignore == pellor::ignore::kHidden);
    FuzzCheck(r.rangeEnd <= import.m_dataSize);
    buffer.assign(static_cast<size_t>(bytes) + 16, 0xA5);
    import.Open();
    import.Seek(static_cast<int32_t>(r.rangeStart), 0);
    import.Read(buffer.data(), static_cast<uint32_t>(r.rangeEnd - r.rangeStart));
    import.Close();
    FuzzCheck(buffer[bytes] == 0xA5);  // nothing past the request
  }
  return 0;
}
