#include "mdf/block_tree.h"

#include "mdf/ccblock.h"
#include "mdf/datablock.h"
#include "mdf/format.h"
#include "mdf/mdf.h"
#include "mdf/prgblock.h"

namespace mdf {
namespace {

void Add(std::vector<BlockTreeItem>& items, std::string label, CMdfBase* block) {
  if (block) items.push_back(BlockTreeItem{std::move(label), block, {}});
}

BlockTreeItem ChannelItem(CCNBlock* cn) {
  BlockTreeItem item{cn->GetSignalName(), cn, {}};
  Add(item.children, "Comment", cn->GetComment());
  Add(item.children, "ASAM name", cn->GetLongName());
  Add(item.children, "Display name", cn->GetDisplayNameBlock());
  Add(item.children, "Conversion", cn->GetConversion());
  Add(item.children, "Kanalspezifischer Block", cn->GetExtension());
  return item;
}

BlockTreeItem GroupItem(CDGBlock* dg, const BlockTreeOptions& options) {
  std::string label = StrFormat("Data group %d", dg->GetIndex());
  if (options.storageGroupLabels && dg->GetFirstCG() && dg->GetFirstCG()->GetComment())
    if (const std::string name = StorageGroupName(dg->GetFirstCG()->GetComment()->GetText()); !name.empty())
      label += " - " + name;
  BlockTreeItem item{std::move(label), dg, {}};
  for (CCGBlock* cg = dg->GetFirstCG(); cg; cg = cg->GetNext()) {
    BlockTreeItem cgItem{StrFormat("Channel group %d", cg->GetIndex()), cg, {}};
    Add(cgItem.children, "Comment", cg->GetComment());
    for (CCNBlock* cn = cg->GetFirstCN(); cn; cn = cn->GetNext()) cgItem.children.push_back(ChannelItem(cn));
    item.children.push_back(std::move(cgItem));
  }
  Add(item.children, "Data", dg->GetDataBlock());
  return item;
}

}  // namespace

std::vector<BlockTreeItem> BlockTreeItems(CMdf& file, const BlockTreeOptions& options) {
  std::vector<BlockTreeItem> items;
  Add(items, "ID Block", file.GetIDBlock());
  CHeaderBlock* header = file.GetHeaderBlock();
  if (!header) return items;
  Add(items, "Header", header);
  Add(items, "Text block", file.GetTextBlock());
  // Without a link the file object keeps an empty program block only for writing one later.
  if (header->GetPrLink() != 0) Add(items, "Program specific", file.GetPrgBlock());
  for (CDGBlock* dg = file.GetFirstDG(); dg; dg = dg->GetNext()) items.push_back(GroupItem(dg, options));
  return items;
}

std::string StorageGroupName(const std::string& comment) {
  const size_t group = comment.find("Storage group");
  if (group == std::string::npos) return {};
  const size_t tab = comment.find('\t', group);
  if (tab == std::string::npos) return {};
  const size_t end = comment.find_first_of("\r\n", tab + 1);
  return comment.substr(tab + 1, end == std::string::npos ? std::string::npos : end - tab - 1);
}

std::string FileTitle(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

}  // namespace mdf
