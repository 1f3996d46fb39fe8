#include "smallimports/filmor/filmor_value.h"

#include <algorithm>

#include "smallimports/support/text.h"

namespace filmor {

ValueReader::ValueReader(smallimports::FileCursor& file)
    : file_(file),
      stepsLeft_(smallimports::CheckedMul(file.Size(), kStepsPerFileByte).value_or(UINT64_MAX / 2) +
                 kBaseSteps) {}

bool ValueReader::Fail(ValueError error) {
  if (error_ == ValueError::None) {
    error_ = error;
    errorOffset_ = file_.Tell();
  }
  return false;
}

bool ValueReader::Step() {
  if (Failed()) return false;
  if (stepsLeft_ == 0) return Fail(ValueError::TooManySteps);
  --stepsLeft_;
  return true;
}

bool ValueReader::ReadVarint(uint32_t& value) {
  uint8_t b[4];
  if (!file_.Read(b, 1)) return Fail(ValueError::Truncated);
  if (b[0] != 0xFF) {
    value = b[0];
    return true;
  }
  if (!file_.Read(b, 2)) return Fail(ValueError::Truncated);
  value = static_cast<uint32_t>(b[0] | (b[1] << 8));
  if (value != 0xFFFF) return true;
  if (!file_.Read(b, 4)) return Fail(ValueError::Truncated);
  value = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
          (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
  if (value == 0xFFFFFFFFu) value = 0;
  return true;
}

bool ValueReader::ReadCount(const TypeNode& node, uint64_t& count) {
  count = 1;
  for (uint32_t d : node.dims) {
    uint32_t n = d;
    if (n == 0 && !ReadVarint(n)) return false;
    const auto product = smallimports::CheckedMul(count, n);
    if (!product) return Fail(ValueError::CountOverflow);
    count = *product;
  }
  return true;
}

bool ValueReader::Take(uint64_t bytes, std::string* out) {
  if (bytes > file_.Left()) return Fail(ValueError::Truncated);
  uint64_t keep = 0;
  if (out && out->size() < kMaxValueBytes) keep = std::min(bytes, kMaxValueBytes - out->size());
  if (keep > 0) {
    const size_t at = out->size();
    out->resize(at + keep);
    if (!file_.Read(out->data() + at, keep)) return Fail(ValueError::Truncated);
  }
  if (!file_.Skip(bytes - keep)) return Fail(ValueError::Truncated);
  return true;
}

bool ValueReader::Walk(const TypeNode& node, std::string* out) {
  if (!Step()) return false;
  if (node.fixedSize != 0) return Take(node.fixedSize, out);
  uint64_t count = 0;
  if (node.IsElementary()) {
    if (!ReadCount(node, count)) return false;
    const auto bytes = smallimports::CheckedMul(count, node.elementSize);
    if (!bytes) return Fail(ValueError::Truncated);
    return Take(*bytes, out);
  }
  if (node.IsReference()) {
    if (!ReadCount(node, count)) return false;
    if (node.ref->fixedSize != 0) {
      const auto bytes = smallimports::CheckedMul(count, node.ref->fixedSize);
      if (!bytes) return Fail(ValueError::Truncated);
      return Take(*bytes, out);
    }
    for (uint64_t i = 0; i < count; ++i)
      if (!Walk(*node.ref, out)) return false;
    return true;
  }
  if (node.IsRecord() && node.dims.empty()) {
    for (const TypeNode* member : node.members)
      if (!Walk(*member, out)) return false;
    return true;
  }
  if (node.IsTaggedSet() && !node.IsChoice()) {
    if (!ReadCount(node, count)) return false;
    for (uint64_t i = 0; i < count; ++i) {
      if (!Step()) return false;
      for (;;) {
        uint32_t tag;
        if (!ReadVarint(tag)) return false;
        if (tag == 0) break;
        const TypeNode* member = node.MemberByTag(tag);
        if (!member) return Fail(ValueError::UnknownTag);
        if (!Walk(*member, out)) return false;
      }
    }
    return true;
  }
  return Fail(ValueError::Unreadable);
}

bool SetElement::NextTag(uint32_t& tag) {
  if (pending_ != 0) {
    tag = pending_;
    pending_ = 0;
    return true;
  }
  if (!reader_.ReadVarint(tag)) {
    ended_ = true;
    return false;
  }
  return true;
}

const TypeNode* SetElement::FindMember(uint32_t wanted) {
  while (!ended_) {
    uint32_t tag;
    if (!NextTag(tag)) return nullptr;
    if (tag == 0) {
      ended_ = true;
      return nullptr;
    }
    const TypeNode* member = set_.MemberByTag(tag);
    if (!member) {
      ended_ = true;
      reader_.Fail(ValueError::UnknownTag);
      return nullptr;
    }
    if (tag == wanted) return member;
    if (wanted < tag) {
      pending_ = tag;
      return nullptr;
    }
    if (!reader_.SkipValue(*member)) {
      ended_ = true;
      return nullptr;
    }
  }
  return nullptr;
}

bool SetElement::Leave() {
  while (!ended_) {
    uint32_t tag;
    if (!NextTag(tag)) break;
    if (tag == 0) {
      ended_ = true;
      break;
    }
    const TypeNode* member = set_.MemberByTag(tag);
    if (!member) {
      ended_ = true;
      return reader_.Fail(ValueError::UnknownTag);
    }
    if (!reader_.SkipValue(*member)) ended_ = true;
  }
  return !reader_.Failed();
}

}  // namespace filmor
