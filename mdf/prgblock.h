// The program block (PR): data private to the program that wrote the file,
// including this system's own cache of time information.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mdf/blocks.h"

namespace mdf {

class CPrgBlock : public CMdfBlock {
 public:
  static constexpr uint16_t kEscapeLength = 0xFFFF;
  static constexpr size_t kTimeInfoHeadSize = 50;  // head + signature + version text
  // Time-stamp descriptors within the data: version text and the first record.
  static constexpr size_t kVersionOffset = 32, kVersionSize = 14, kRecordsOffset = 46;
  static constexpr const char* kTimeStampSignature = "Zephanor time-stamp descriptors";
  static constexpr const char* kSpecialJobSignature = "SpecialJobData";
  static constexpr const char* kNuvestoSignature = "Nuvesto 4.0";

  explicit CPrgBlock(CMdf* mdf = nullptr);
  bool Read(winport::File& file);
  void Display(IListControl& list) override;

  bool HasData() const { return !m_data.empty(); }
  // The data after the 4-byte head (the block length minus 4 bytes).
  const std::vector<uint8_t>& GetData() const { return m_data; }
  // The data as a text up to its first NUL (empty without data).
  std::string GetDataText() const;
  bool IsSpecialJobData() const;
  // The special-job payload from the scalar count on (data + 18), with its length.
  const uint8_t* GetSpecialJobData() const;
  size_t GetSpecialJobDataSize() const;
  bool IsNuvesto() const { return m_nuvesto; }
  double GetVersion() const { return m_version; }
  // Length of the block (head included), as the head says or the escape gives it.
  uint32_t GetDataLength() const { return m_dataLength; }
  uint16_t GetHeadLength() const { return LoadU16(m_head + 2); }
  void SetHead(uint16_t length) { StoreU16(m_head + 2, length); }
  void SetData(std::vector<uint8_t> data) { m_data = std::move(data); }
  void DropData() { m_data.clear(); }
  void SetBlockLength(uint32_t length) { m_blockLength = length; m_dataLength = length; }

 private:
  void AddTimeStampRows(IListControl& list) const;
  void AddNuvestoRows(IListControl& list) const;

  bool m_nuvesto = false;
  uint8_t m_head[4] = {'P', 'R', 4, 0};
  std::vector<uint8_t> m_data;
  uint32_t m_dataLength = 4;
  double m_version = 0;
};

}  // namespace mdf
