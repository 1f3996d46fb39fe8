#include "mdf/composition.h"

namespace mdf {

// Composition is not available yet: a file that asks for it fails to open.
CDataComposition::CDataComposition(CMdf* mdf) : m_pMDF(mdf) {}
CDataComposition::~CDataComposition() = default;
int CDataComposition::AddChannel(const std::string&, int32_t, int32_t, uint32_t, CCNBlock*) { return 0; }
void CDataComposition::SetTimeChannelRate(CCGBlock*, double, int32_t, int32_t) {}
int CDataComposition::Calculate() { return 0; }
bool CDataComposition::LookupChannel(const std::string&, CChannelInfo*&) const { return false; }

}  // namespace mdf
