#include "mdf/prgblock.h"

#include <cstring>

#include "mdf/format.h"
#include "mdf/mdf.h"
#include "mdf/rows.h"
#include "platform/win32/file.h"

namespace mdf {

CPrgBlock::CPrgBlock(CMdf* mdf) : CMdfBlock("CPrgBlock") {
  m_pMdf = mdf;
  m_blockLength = 4;
}

bool CPrgBlock::Read(winport::File& file) {
  m_data.clear();
  m_nuvesto = false;
  m_version = 0;
  if (!TakePosition(file) || !file.ReadExact(m_head, 4)) return false;
  uint32_t length = LoadU16(m_head + 2);
  const int64_t afterHead = file.Tell();

  // Peek at what follows the head: the 32-bit length of the escape and the
  // writer's signature.
  uint8_t peek[20] = {};
  const size_t peeked = file.Read(peek, sizeof peek);
  file.Seek(afterHead);
  if (length == kEscapeLength) {
    const bool special = peeked >= 20 && FixedText(peek + 4, 16) == kSpecialJobSignature;
    const bool nuvesto = peeked >= 15 && std::memcmp(peek + 4, kNuvestoSignature, 11) == 0;
    if (special || nuvesto) length = LoadU32(peek);
    m_nuvesto = nuvesto;
  } else if (peeked >= 15 && std::memcmp(peek + 4, kNuvestoSignature, 11) == 0) {
    m_nuvesto = true;
  }

  // The data must lie within the file.
  if (length < 4) length = 4;
  const int64_t available = file.Size() - afterHead;
  if (static_cast<int64_t>(length) - 4 > available) {
    m_dataLength = length;
    m_blockLength = length;
    return false;
  }
  m_dataLength = length;
  m_blockLength = length;
  m_data.resize(length - 4);
  if (!file.ReadExact(m_data.data(), m_data.size())) {
    m_data.clear();
    return false;
  }

  if (GetDataText() == kTimeStampSignature && m_data.size() >= 42 &&
      std::memcmp(m_data.data() + 32, "Version  3", 10) == 0) {
    const std::string number = FixedText(m_data.data() + 41, m_data.size() - 41);
    m_version = StrToDouble(number.c_str(), nullptr);
  }
  return true;
}

std::string CPrgBlock::GetDataText() const { return FixedText(m_data.data(), m_data.size()); }

bool CPrgBlock::IsSpecialJobData() const {
  return !m_data.empty() && GetDataText() == kSpecialJobSignature;
}

const uint8_t* CPrgBlock::GetSpecialJobData() const {
  return m_data.size() > 18 ? m_data.data() + 18 : nullptr;
}

size_t CPrgBlock::GetSpecialJobDataSize() const { return m_data.size() > 18 ? m_data.size() - 18 : 0; }

// Rows not yet written: the block's position and length only.
void CPrgBlock::Display(IListControl& list) {
  list.DeleteAllItems();
  ResetInfoColumns(list);
  AddRow(list, "File Pos.", DecHex(static_cast<uint32_t>(m_filePos)));
  AddRow(list, "Block length", DecHex(m_blockLength));
}

}  // namespace mdf
