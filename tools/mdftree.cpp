// mdftree <file>: prints the block tree of an MDF file, one block per line.
#include <cstdio>
#include <string>

#include "mdf/ccblock.h"
#include "mdf/mdf.h"
#include "mdf/prgblock.h"
#include "platform/win32/codepage.h"

using namespace mdf;

namespace {

void Line(int depth, const std::string& label, const CMdfBlock* block) {
  std::printf("%*s%s", depth * 2, "", winport::AnsiToUtf8(label).c_str());
  if (block) std::printf("  @%lld", static_cast<long long>(block->GetFilePos()));
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mdftree <file.mdf>\n");
    return 2;
  }
  CMdf mdf;
  mdf.SetShowMessages(false);
  if (!mdf.Open(winport::Utf8ToAnsi(argv[1]))) {
    std::fprintf(stderr, "mdftree: %s: %s\n", argv[1], mdf.GetLastError().c_str());
    return 1;
  }
  const CIDBlock* id = mdf.GetIDBlock();
  std::printf("%s  (%s, written by %s)\n", argv[1], id->GetFormatId().c_str(),
              id->GetProgramId().c_str());
  Line(1, "ID Block", id);
  Line(1, "Header", mdf.GetHeaderBlock());
  if (mdf.GetTextBlock()) Line(1, "Text block", mdf.GetTextBlock());
  if (mdf.GetPrgBlock() && mdf.GetPrgBlock()->HasData()) Line(1, "Program specific", mdf.GetPrgBlock());
  for (const CDGBlock* dg = mdf.GetFirstDG(); dg; dg = dg->GetNext()) {
    Line(1, "Data group " + std::to_string(dg->GetIndex()), dg);
    for (const CCGBlock* cg = dg->GetFirstCG(); cg; cg = cg->GetNext()) {
      Line(2, "Channel group " + std::to_string(cg->GetIndex()) + ": " +
                  std::to_string(cg->GetNumberOfRecords()) + " records of " +
                  std::to_string(cg->GetRecordSize()) + " bytes",
           cg);
      for (const CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext()) {
        std::string label = cn->GetSignalName();
        if (cn->GetConversion())
          label += "  [" + cn->GetConversion()->GetTypeName() + ", " + cn->GetConversion()->GetUnit() + "]";
        Line(3, label, cn);
      }
    }
  }
  return 0;
}
