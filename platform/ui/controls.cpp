#include "platform/ui/controls.h"

#include <algorithm>

namespace winport::ui {

int TreeModel::Index(HTREEITEM item) const {
  const uintptr_t v = reinterpret_cast<uintptr_t>(item);
  if (v == 0 || v > nodes_.size()) return -1;
  return static_cast<int>(v - 1);
}

bool TreeModel::Valid(HTREEITEM item) const { return Index(item) >= 0; }

HTREEITEM TreeModel::Insert(const std::string& text, LPARAM data, HTREEITEM parent, HTREEITEM after) {
  const int p = parent == TVI_ROOT || parent == nullptr ? -1 : Index(parent);
  if (p < 0 && parent != TVI_ROOT && parent != nullptr) return nullptr;
  const int first = p < 0 ? firstRoot_ : nodes_[static_cast<size_t>(p)].first;
  const int last = p < 0 ? lastRoot_ : nodes_[static_cast<size_t>(p)].last;
  // The sibling the new item follows: none for TVI_FIRST, the last for TVI_LAST
  // or an item that is not a child of `parent`.
  int previous = last;
  if (after == TVI_FIRST)
    previous = -1;
  else if (const int a = Index(after); a >= 0 && nodes_[static_cast<size_t>(a)].parent == p)
    previous = a;
  const int index = static_cast<int>(nodes_.size());
  Node node;
  node.text = text;
  node.data = data;
  node.parent = p;
  node.previous = previous;
  node.next = previous < 0 ? first : nodes_[static_cast<size_t>(previous)].next;
  nodes_.push_back(std::move(node));
  const Node& n = nodes_.back();
  if (n.previous < 0)
    (p < 0 ? firstRoot_ : nodes_[static_cast<size_t>(p)].first) = index;
  else
    nodes_[static_cast<size_t>(n.previous)].next = index;
  if (n.next < 0)
    (p < 0 ? lastRoot_ : nodes_[static_cast<size_t>(p)].last) = index;
  else
    nodes_[static_cast<size_t>(n.next)].previous = index;
  return Handle(index);
}

void TreeModel::Clear() {
  nodes_.clear();
  firstRoot_ = lastRoot_ = selected_ = -1;
  top = 0;
}

HTREEITEM TreeModel::Child(HTREEITEM item) const {
  const int i = Index(item);
  return i < 0 ? nullptr : Handle(nodes_[static_cast<size_t>(i)].first);
}

HTREEITEM TreeModel::Next(HTREEITEM item) const {
  const int i = Index(item);
  return i < 0 ? nullptr : Handle(nodes_[static_cast<size_t>(i)].next);
}

HTREEITEM TreeModel::Previous(HTREEITEM item) const {
  const int i = Index(item);
  return i < 0 ? nullptr : Handle(nodes_[static_cast<size_t>(i)].previous);
}

HTREEITEM TreeModel::Parent(HTREEITEM item) const {
  const int i = Index(item);
  return i < 0 ? nullptr : Handle(nodes_[static_cast<size_t>(i)].parent);
}

std::string TreeModel::Text(HTREEITEM item) const {
  const int i = Index(item);
  return i < 0 ? std::string() : nodes_[static_cast<size_t>(i)].text;
}

bool TreeModel::SetText(HTREEITEM item, const std::string& text) {
  const int i = Index(item);
  if (i < 0) return false;
  nodes_[static_cast<size_t>(i)].text = text;
  return true;
}

LPARAM TreeModel::Data(HTREEITEM item) const {
  const int i = Index(item);
  return i < 0 ? 0 : nodes_[static_cast<size_t>(i)].data;
}

bool TreeModel::SetData(HTREEITEM item, LPARAM data) {
  const int i = Index(item);
  if (i < 0) return false;
  nodes_[static_cast<size_t>(i)].data = data;
  return true;
}

bool TreeModel::Expanded(HTREEITEM item) const {
  const int i = Index(item);
  return i >= 0 && nodes_[static_cast<size_t>(i)].expanded;
}

bool TreeModel::SetExpanded(HTREEITEM item, bool expanded) {
  const int i = Index(item);
  if (i < 0) return false;
  nodes_[static_cast<size_t>(i)].expanded = expanded;
  return true;
}

HTREEITEM TreeModel::Find(const std::vector<std::string>& labels) const {
  HTREEITEM item = nullptr;
  HTREEITEM level = Root();
  for (const std::string& label : labels) {
    item = nullptr;
    for (HTREEITEM h = level; h; h = Next(h))
      if (Text(h) == label) {
        item = h;
        break;
      }
    if (!item) return nullptr;
    level = Child(item);
  }
  return item;
}

std::vector<HTREEITEM> TreeModel::VisibleItems() const {
  std::vector<HTREEITEM> rows;
  // Depth-first: an item, its children when expanded, then its next sibling.
  int i = firstRoot_;
  while (i >= 0) {
    rows.push_back(Handle(i));
    const Node& n = nodes_[static_cast<size_t>(i)];
    if (n.expanded && n.first >= 0) {
      i = n.first;
      continue;
    }
    // Up until an ancestor (or the item itself) has a next sibling.
    int up = i;
    while (up >= 0 && nodes_[static_cast<size_t>(up)].next < 0) up = nodes_[static_cast<size_t>(up)].parent;
    i = up < 0 ? -1 : nodes_[static_cast<size_t>(up)].next;
  }
  return rows;
}

int TreeModel::RowOf(HTREEITEM item) const {
  if (!Valid(item)) return -1;
  for (HTREEITEM p = Parent(item); p; p = Parent(p))
    if (!Expanded(p)) return -1;
  const std::vector<HTREEITEM> rows = VisibleItems();
  const auto it = std::find(rows.begin(), rows.end(), item);
  return it == rows.end() ? -1 : static_cast<int>(it - rows.begin());
}

}  // namespace winport::ui
