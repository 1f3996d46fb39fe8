// Property rows not yet written: each lists only the block's position.
#include "mdf/blocks.h"
#include "mdf/rows.h"

namespace mdf {
namespace {
void PositionOnly(IListControl& list, int64_t pos) {
  list.DeleteAllItems();
  ResetInfoColumns(list);
  AddRow(list, "File Pos.", DecHex(static_cast<uint32_t>(pos)));
}
}  // namespace
void CIDBlock::Display(IListControl& list) { PositionOnly(list, m_filePos); }
void CHeaderBlock::Display(IListControl& list) { PositionOnly(list, m_filePos); }
void CTextBlock::Display(IListControl& list) { PositionOnly(list, m_filePos); }
void CDGBlock::Display(IListControl& list) { PositionOnly(list, m_filePos); }
void CCGBlock::Display(IListControl& list) { PositionOnly(list, m_filePos); }
void CCNBlock::Display(IListControl& list) { PositionOnly(list, m_filePos); }
void CCEBlock::Display(IListControl& list) { PositionOnly(list, m_filePos); }
}  // namespace mdf
