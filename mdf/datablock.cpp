#include "mdf/datablock.h"

namespace mdf {

CDataBlock::CDataBlock(CDGBlock* dg, CMdf* mdf) : CMdfBlock("CDataBlock"), m_pDG(dg), m_pFile(mdf) {
  m_pMdf = mdf;
}

CDataBlock::~CDataBlock() = default;

}  // namespace mdf
