// The tree of an opened file's blocks as the viewer and the information
// dialog show it: one item per block, labelled and in file order.
#pragma once

#include <string>
#include <vector>

namespace mdf {

class CMdf;
class CMdfBase;

struct BlockTreeItem {
  std::string label;
  CMdfBase* block = nullptr;  // what the item stands for
  std::vector<BlockTreeItem> children;
};

struct BlockTreeOptions {
  // A data group whose first channel group's comment names a "Storage group"
  // is labelled "Data group %d - " and the group's name (StorageGroupName).
  bool storageGroupLabels = false;
};

// The items below the root: "ID Block", "Header" and, only with a header,
// "Text block", "Program specific" (a linked program block) and the data
// groups ("Data group %d", under each its channel groups and, when it has
// records, "Data"); under a channel group its "Comment" and its channels
// (short names), under a channel "Comment", "ASAM name", "Display name",
// "Conversion" and "Kanalspezifischer Block", each only where the block exists.
std::vector<BlockTreeItem> BlockTreeItems(CMdf& file, const BlockTreeOptions& options = {});

// The storage group named in a channel-group comment: the text after the
// first TAB that follows "Storage group", up to the next CR or LF; empty
// without "Storage group" or without such a TAB.
std::string StorageGroupName(const std::string& comment);

// A path's file name without its folder and extension: the root's label.
std::string FileTitle(const std::string& path);

}  // namespace mdf
