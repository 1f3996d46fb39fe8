// Opens arbitrary bytes as an MDF file and lists every block's property rows.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "mdf/mdf.h"
#include "mdf/prgblock.h"

namespace {

std::string TempPath() {
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/fuzz_mdf_open_" + std::to_string(getpid()) + ".mdf";
}

void Show(mdf::CMdfBase* block, mdf::CMemoryList& list) {
  if (block) block->Display(list);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = TempPath();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  for (mdf::MdfProfile profile : {mdf::MdfProfile::Import, mdf::MdfProfile::Viewer}) {
    mdf::CMdf file(profile);
    file.SetShowMessages(false);
    file.SetReaderVersion(mdf::CMdf::kViewerReaderVersion);
    file.SetCompose(profile == mdf::MdfProfile::Import);
    const int opened = file.Open(path);
    mdf::CMemoryList list;
    Show(&file, list);
    Show(file.GetIDBlock(), list);
    Show(file.GetHeaderBlock(), list);
    Show(file.GetTextBlock(), list);
    Show(file.GetPrgBlock(), list);
    if (!opened) continue;
    for (mdf::CDGBlock* dg = file.GetFirstDG(); dg; dg = dg->GetNext()) {
      Show(dg, list);
      Show(dg->GetDataBlock(), list);
      for (mdf::CCGBlock* cg = dg->GetFirstCG(); cg; cg = cg->GetNext()) {
        Show(cg, list);
        Show(cg->GetComment(), list);
        for (mdf::CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext()) {
          Show(cn, list);
          Show(cn->GetComment(), list);
          Show(cn->GetConversion(), list);
          Show(cn->GetExtension(), list);
          double max = 0;
          const double min = cn->GetPhysicalRange(max);
          if (min > max) __builtin_trap();
          mdf::ApplyConversion(cn->GetConversion(), 1.5);
        }
      }
    }
  }
  return 0;
}
