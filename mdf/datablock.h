// The data records of one data group and every reader of channel values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mdf/blocks.h"

namespace mdf {

class CDataBlock : public CMdfBlock {
 public:
  CDataBlock(CDGBlock* dg, CMdf* mdf);
  ~CDataBlock() override;
  void Display(IListControl& list) override;

  CDGBlock* GetDataGroup() const { return m_pDG; }

 private:
  CDGBlock* m_pDG;
  CMdf* m_pFile;
  std::vector<uint8_t> m_record;
  int32_t m_recordLength = -1;
  int32_t m_recordIndex = -1;
};

}  // namespace mdf
