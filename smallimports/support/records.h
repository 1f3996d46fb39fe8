// Signal and scalar records of the small import modules and the numbered list
// that holds them.
//
// A record's fields follow the signal object's properties in order. Texts are
// bounded fields: each module gives its own widths (terminator included, as the
// fixed character arrays of the stored form had), and an assignment keeps at
// most width - 1 characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "smallimports/support/text.h"

namespace smallimports {

// A text field of `Width` bytes including its terminator: it holds at most
// Width - 1 characters and never a NUL (a text stops at its first NUL).
template <size_t Width>
class TextField {
  static_assert(Width >= 2, "a text field holds at least one character");

 public:
  static constexpr size_t kWidth = Width;
  static constexpr size_t kCapacity = Width - 1;

  TextField() = default;
  TextField& operator=(std::string_view text) {
    Assign(text);
    return *this;
  }
  // Copies up to `maxChars` characters (and never more than the field holds).
  void Assign(std::string_view text, size_t maxChars = kCapacity) {
    CopyTextN(text_, text, maxChars < kCapacity ? maxChars : kCapacity);
  }
  const std::string& str() const { return text_; }
  std::string& mutable_str() { return text_; }
  bool empty() const { return text_.empty(); }
  size_t size() const { return text_.size(); }
  bool operator==(std::string_view other) const { return text_ == other; }

 private:
  std::string text_;
};

// The identifier rule applied in place to a field; the result stays within the field.
template <size_t Width>
void MakeIdentifier(TextField<Width>& name, IdentifierRule rule) {
  MakeIdentifier(name.mutable_str(), rule, TextField<Width>::kCapacity);
}

// Text widths of a module's signal records.
struct FilmorWidths {
  static constexpr size_t kName = 256, kAlias = 256, kLabel = 256, kUnit = 40, kXGrid = 256,
                          kYGrid = 256, kYMUnit = 256, kTag = 256;
};
// Brevan's name field holds 64 characters: the identifier rule keeps a
// 64-character name whole.
struct BrevanWidths {
  static constexpr size_t kName = 65, kAlias = 64, kLabel = 256, kUnit = 64, kXGrid = 64,
                          kYGrid = 64, kYMUnit = 64, kTag = 256;
};
struct HestorWidths {
  static constexpr size_t kName = 32, kAlias = 32, kLabel = 256, kUnit = 32, kXGrid = 32,
                          kYGrid = 32, kYMUnit = 32, kTag = 256;
};
struct JorvelWidths {
  static constexpr size_t kName = 255, kAlias = 255, kLabel = 258, kUnit = 40, kXGrid = 255,
                          kYGrid = 257, kYMUnit = 256, kTag = 256;
};

// One signal as the signal object serves it. Every field starts at zero or
// empty, as the original's zeroed allocation left it.
template <class W>
struct SignalRecordT {
  int32_t number = 0;
  TextField<W::kName> Name;
  TextField<W::kAlias> Alias;
  TextField<W::kLabel> Label;
  int32_t STyp = 0;
  int32_t DTyp = 0;
  int32_t Ignore = 0;
  int32_t ValuesPerBlock = 0;
  int32_t BlockOffset = 0;
  int32_t Demux = 0;
  double XMin = 0, XMax = 0, XFactor = 0, XOffset = 0;
  TextField<W::kUnit> XUnit;
  double YMin = 0, YMax = 0, YFactor = 0, YOffset = 0;
  TextField<W::kUnit> YUnit;
  double Sweep = 0;
  int32_t NoOfValues = 0;
  int32_t Block0 = 0;
  TextField<W::kXGrid> XGrid;
  TextField<W::kYGrid> YGrid;
  double YStep = 0, YOrigin = 0;
  TextField<W::kYMUnit> YMUnit;
  double NoValue = 0;
  double tag_DM_PSEC = 0;
  TextField<W::kTag> tag_DM_DATYP;
  TextField<W::kTag> tag_DM_UNIT;
  TextField<W::kTag> tag_DM_SCMNT;
  TextField<W::kTag> tag_DM_CMNT;
  TextField<W::kTag> tag_GL_SHINT;
};

// A single value shown to the host as a scalar (Brevan).
struct ScalarRecord {
  int32_t number = 0;
  TextField<65> Name;
  TextField<68> DisplayName;
  TextField<64> Alias;
  TextField<256> Label;
  TextField<64> Unit;
  double Value = 0;
  double XOffset = 0;
  int32_t STyp = 0;
  int32_t DTyp = 0;
  int32_t Ignore = 0;
};

// Records numbered from 1 in list order; the list owns them. Records keep
// their addresses for as long as they are in the list.
template <class Record>
class RecordList {
 public:
  // Appends a zeroed record numbered on from the count and returns it.
  Record& AppendNew() {
    items_.push_back(std::make_unique<Record>());
    items_.back()->number = static_cast<int32_t>(items_.size());
    return *items_.back();
  }
  // Numbers the records 1 to n in list order.
  void Renumber() {
    int32_t n = 0;
    for (auto& item : items_) item->number = ++n;
  }
  size_t Count() const { return items_.size(); }
  bool Empty() const { return items_.empty(); }
  void Clear() { items_.clear(); }

  // The first record whose number equals `number`, or none (records are
  // numbered from 1, so 0 finds none). Answers at once while the list is
  // numbered in order, as it is after every append and renumbering.
  Record* FindNodeByIndex(int64_t number) const {
    if (number >= 1 && static_cast<uint64_t>(number) <= items_.size() &&
        items_[static_cast<size_t>(number - 1)]->number == number)
      return items_[static_cast<size_t>(number - 1)].get();
    for (const auto& item : items_)
      if (item->number == number) return item.get();
    return nullptr;
  }
  // The first record whose Name equals `name` without regard to case.
  Record* FindNodeByName(std::string_view name) const {
    for (const auto& item : items_)
      if (EqualNoCase(item->Name.str(), name)) return item.get();
    return nullptr;
  }

  Record& operator[](size_t i) { return *items_[i]; }
  const Record& operator[](size_t i) const { return *items_[i]; }
  Record& Back() { return *items_.back(); }

  class Iterator {
   public:
    using Inner = typename std::vector<std::unique_ptr<Record>>::const_iterator;
    explicit Iterator(Inner it) : it_(it) {}
    Record& operator*() const { return **it_; }
    Record* operator->() const { return it_->get(); }
    Iterator& operator++() {
      ++it_;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return it_ != other.it_; }

   private:
    Inner it_;
  };
  Iterator begin() const { return Iterator(items_.begin()); }
  Iterator end() const { return Iterator(items_.end()); }

 private:
  std::vector<std::unique_ptr<Record>> items_;
};

}  // namespace smallimports
