// The scalars of the program block's special-job data: a count at data
// offset 18 and entries of 373 bytes from offset 20, each with its name text
// at 14, its unit text at 214 and its value (a double) at 365.
#include <algorithm>
#include <memory>
#include <span>
#include <vector>

#include "importcore/le.h"
#include "importcore/support.h"
#include "mdf/bytes.h"
#include "mdf/mdf.h"
#include "mdf/prgblock.h"
#include "pellor/driver.h"
#include "pellor/file_import.h"
#include "platform/win32/file.h"

namespace pellor {
namespace {

constexpr size_t kCountOffset = 18, kFirstEntry = 20, kEntrySize = 373;
constexpr size_t kName = 14, kNameRoom = 200, kUnit = 214, kUnitRoom = 151, kValue = 365;

// The special-job data that a block of this program's time information
// replaced in a file of the KESTRAVO writer: kept where the block's header
// record says. Empty when there is none.
std::vector<uint8_t> ReplacedSpecialJobData(const mdf::CMdf& mdf) {
  const int64_t at = mdf.GetOldPrDataPosition(), size = mdf.GetOldPrDataSize();
  if (at <= 0 || size <= 0) return {};
  winport::File file;
  if (!file.Open(mdf.GetPath(), winport::FileAccess::Read, winport::FileShare::ReadWrite)) return {};
  const int64_t fileSize = file.Size();
  if (fileSize <= at || !file.Seek(at)) return {};
  // No more than the largest table the count field can describe.
  constexpr int64_t kMaxTable = kFirstEntry + int64_t{UINT16_MAX} * kEntrySize;
  std::vector<uint8_t> data(static_cast<size_t>(std::min({size, fileSize - at, kMaxTable})));
  data.resize(file.Read(data.data(), data.size()));
  if (mdf::FixedText(data.data(), std::min<size_t>(data.size(), 16)) != mdf::CPrgBlock::kSpecialJobSignature)
    return {};
  return data;
}

}  // namespace

void ReadPrScalars(FileImport& import) {
  const mdf::CPrgBlock* pr = import.m_mdf ? import.m_mdf->GetPrgBlock() : nullptr;
  if (!pr) return;
  std::vector<uint8_t> replaced;
  std::span<const uint8_t> data;
  if (pr->IsSpecialJobData()) {
    data = pr->GetData();
  } else {
    replaced = ReplacedSpecialJobData(*import.m_mdf);
    data = replaced;
  }
  if (data.size() < kFirstEntry) return;
  const uint16_t count = importcore::LoadLE<uint16_t>(data.data() + kCountOffset);
  ScalarList& scalars = import.Lists().scalars;
  for (size_t i = 0; i < count; ++i) {
    const size_t at = kFirstEntry + i * kEntrySize;
    if (at > data.size() || data.size() - at < kEntrySize) break;  // the entry must lie whole in the data
    const uint8_t* entry = data.data() + at;
    const std::string name = importcore::CopyTextN(mdf::FixedText(entry + kName, kNameRoom), kMaxChosenName + 1);
    try {
      auto scalar = std::make_unique<ScalarRecord>();
      scalar->keep = 1;
      std::string identifier = name;
      importcore::MakeIdentifier(identifier);
      scalar->Name = identifier;
      scalar->DisplayName = name;
      scalar->Unit = mdf::FixedText(entry + kUnit, kUnitRoom);
      scalar->Value = importcore::LoadLE<double>(entry + kValue);
      scalars.Append(std::move(scalar));
    } catch (const std::bad_alloc&) {
      // a scalar that cannot be had is left out
    }
  }
  scalars.Renumber();
  import.m_nScalars = static_cast<int32_t>(scalars.Count());
}

}  // namespace pellor
