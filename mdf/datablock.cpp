#include "mdf/datablock.h"

#include "mdf/rows.h"

namespace mdf {

CDataBlock::CDataBlock(CDGBlock* dg, CMdf* mdf) : CMdfBlock("CDataBlock"), m_pDG(dg), m_pFile(mdf) {
  m_pMdf = mdf;
}

CDataBlock::~CDataBlock() = default;

// Rows not yet written: the grid of records comes with the record decoder.
void CDataBlock::Display(IListControl& list) {
  list.DeleteAllItems();
  ResetInfoColumns(list);
}

}  // namespace mdf
