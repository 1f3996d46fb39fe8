#include "smallimports/filmor/filmor_schema.h"

#include <algorithm>

#include "smallimports/support/text.h"

namespace filmor {

namespace {

struct BuiltinType {
  uint8_t flags = 0;  // 0: no such code
  uint8_t elementSize = 0;
};

BuiltinType BuiltinTypeOf(uint32_t code) {
  switch (code) {
    case 1: return {kFlagComposite, 0};
    case 2: case 3: case 4: case 5: return {kFlagDimensionForm, 0};
    case 8: case 9: case 10: case 11: return {kFlagTagged | kFlagComposite, 0};
    case 12: return {kFlagTagged | kFlagChoice | kFlagComposite, 0};
    case 16: case 17: case 18: case 19: return {kFlagImpliedTags | kFlagTagged | kFlagComposite, 0};
    case 20: return {kFlagImpliedTags | kFlagTagged | kFlagChoice | kFlagComposite, 0};
    case 29: return {kFlagFixed, 0};
    case 30: return {kFlagVariable, 1};
    case 31: return {kFlagVariable, 0};
    case 32: return {kFlagFixed, 4};
    case 33: return {kFlagFixed, 8};
    case 34: return {kFlagFixed, 10};
    case 40: return {kFlagFixed, 1};
    case 41: return {kFlagFixed, 2};
    case 46: return {kFlagFixed, 8};
    case 48: case 49: return {kFlagFixed, 1};
    case 50: case 51: return {kFlagFixed, 2};
    case 52: case 53: return {kFlagFixed, 4};
    case 54: case 55: return {kFlagFixed, 8};
    default: return {};
  }
}

// The dimension forms that precede an element code.
constexpr uint32_t kFormCountInData = 2;   // one dimension, its count in the data
constexpr uint32_t kFormOneDim = 3;
constexpr uint32_t kFormTwoDims = 4;
constexpr uint32_t kFormDims = 5;

}  // namespace

const TypeNode* TypeNode::MemberByTag(uint64_t tag) const {
  if (tag == 0) return nullptr;
  if (flags & kFlagImpliedTags) return tag <= members.size() ? members[tag - 1] : nullptr;
  const auto it = std::lower_bound(members.begin(), members.end(), tag,
                                   [](const TypeNode* m, uint64_t t) { return m->number < t; });
  return it != members.end() && (*it)->number == tag ? *it : nullptr;
}

const char* SchemaStatusText(SchemaStatus status) {
  switch (status) {
    case SchemaStatus::Ok: return "schema read";
    case SchemaStatus::TooShort: return "schema of 2 bytes or fewer";
    case SchemaStatus::BadChecksum: return "schema checksum wrong";
    case SchemaStatus::BadNode: return "malformed type node";
    case SchemaStatus::BadReference: return "reference to itself, a later or an unknown own type";
    case SchemaStatus::TooDeep: return "types nested too deeply";
    case SchemaStatus::LeftOver: return "bytes left over after the root type";
  }
  return "?";
}

uint32_t ReadVarUInt(std::span<const uint8_t> bytes, size_t& pos) {
  auto take = [&](size_t n, uint32_t& value) {
    if (n > bytes.size() - pos) {
      pos = bytes.size();
      return false;
    }
    value = 0;
    for (size_t i = 0; i < n; ++i) value |= static_cast<uint32_t>(bytes[pos + i]) << (8 * i);
    pos += n;
    return true;
  };
  uint32_t v;
  if (!take(1, v)) return 0;
  if (v != 0xFF) return v;
  if (!take(2, v)) return 0;
  if (v != 0xFFFF) return v;
  if (!take(4, v)) return 0;
  return v == 0xFFFFFFFFu ? 0 : v;
}

class SchemaParser {
 public:
  SchemaParser(std::span<const uint8_t> nodes, Schema& schema) : bytes_(nodes), schema_(schema) {}

  SchemaStatus Parse() {
    first_ = ReadVarUInt(bytes_, pos_);
    if (first_ != 0) {
      const uint32_t count = ReadVarUInt(bytes_, pos_);
      for (uint32_t i = 1; i <= count; ++i) {
        if (AtEnd()) return SchemaStatus::BadNode;
        const TypeNode* node = ParseTypeNode(i, 1);
        if (!node) return status_;
        schema_.ownTypes_.push_back(node);
      }
    }
    schema_.root_ = ParseTypeNode(0, 1);
    if (!schema_.root_) return status_;
    return pos_ == bytes_.size() ? SchemaStatus::Ok : SchemaStatus::LeftOver;
  }
  size_t Position() const { return pos_; }

 private:
  bool AtEnd() const { return pos_ >= bytes_.size(); }
  const TypeNode* Fail(SchemaStatus status) {
    status_ = status;
    return nullptr;
  }
  uint32_t Varint() { return ReadVarUInt(bytes_, pos_); }

  // elementSize × the product of the dimensions, 0 when a dimension is 0;
  // false when it does not fit 64 bits.
  static bool FixedProduct(uint64_t elementSize, const std::vector<uint32_t>& dims, uint64_t& out) {
    uint64_t size = elementSize;
    for (uint32_t d : dims) {
      const auto next = smallimports::CheckedMul(size, d);
      if (!next) return false;
      size = *next;
    }
    out = size;
    return true;
  }

  bool ReadDimensions(uint32_t form, std::vector<uint32_t>& dims) {
    switch (form) {
      case kFormCountInData: dims = {0}; return true;
      case kFormOneDim: dims = {Varint()}; return true;
      case kFormTwoDims: {
        const uint32_t a = Varint();
        dims = {a, Varint()};
        return true;
      }
      default: {  // kFormDims
        const uint32_t d = Varint();
        if (d < 1) return false;
        for (uint32_t i = 0; i < d; ++i) {
          if (AtEnd()) return false;
          dims.push_back(Varint());
        }
        return true;
      }
    }
  }

  const TypeNode* ParseTypeNode(uint32_t number, uint32_t level) {
    if (level > kMaxNesting) return Fail(SchemaStatus::TooDeep);
    TypeNode& node = schema_.nodes_.emplace_back();
    node.number = number;
    uint32_t code = Varint();
    if (code >= kFormCountInData && code <= kFormDims) {
      if (!ReadDimensions(code, node.dims)) return Fail(SchemaStatus::BadNode);
      code = Varint();
    }
    node.code = code;
    if (code >= kCodeReference) return ResolveReference(node);

    const BuiltinType builtin = BuiltinTypeOf(code);
    node.flags = builtin.flags;
    node.elementSize = builtin.elementSize;
    if (node.flags == kFlagComposite) {  // ordered record
      if (!node.dims.empty()) return Fail(SchemaStatus::BadNode);
      const uint32_t count = Varint();
      if (count < 1) return Fail(SchemaStatus::BadNode);
      bool allFixed = true;
      uint64_t sum = 0;
      for (uint32_t i = 0; i < count; ++i) {
        if (AtEnd()) return Fail(SchemaStatus::BadNode);
        const TypeNode* member = ParseTypeNode(0, level + 1);
        if (!member) return nullptr;
        node.members.push_back(member);
        if (member->fixedSize == 0 || __builtin_add_overflow(sum, member->fixedSize, &sum)) allFixed = false;
      }
      node.fixedSize = allFixed ? sum : 0;
    } else if (node.flags & kFlagTagged) {
      if (node.dims.size() > 1) return Fail(SchemaStatus::BadNode);
      const uint32_t count = Varint();
      if (count < 1) return Fail(SchemaStatus::BadNode);
      const bool implied = (node.flags & kFlagImpliedTags) != 0;
      uint32_t previous = 0;
      for (uint32_t i = 1; i <= count; ++i) {
        if (AtEnd()) return Fail(SchemaStatus::BadNode);
        const uint32_t tag = implied ? i : Varint();
        if (!implied && tag <= previous) return Fail(SchemaStatus::BadNode);
        previous = tag;
        const TypeNode* member = ParseTypeNode(tag, level + 1);
        if (!member) return nullptr;
        node.members.push_back(member);
      }
    } else if (node.flags & kFlagFixed) {
      if (!FixedProduct(node.elementSize, node.dims, node.fixedSize)) return Fail(SchemaStatus::BadNode);
    } else if (!(node.flags & kFlagVariable)) {
      return Fail(SchemaStatus::BadNode);  // unknown codes and the dimension forms
    }
    for (const TypeNode* member : node.members) node.depth = std::max(node.depth, member->depth + 1);
    if (node.depth > kMaxNesting) return Fail(SchemaStatus::TooDeep);
    return &node;
  }

  // A code of an own type: F <= code < F + the own types parsed so far.
  const TypeNode* ResolveReference(TypeNode& node) {
    const uint64_t known = schema_.ownTypes_.size();
    if (first_ == 0 || node.code < first_ || node.code - first_ >= known)
      return Fail(SchemaStatus::BadReference);
    const TypeNode* target = schema_.ownTypes_[node.code - first_];
    if (node.dims.empty() && target->code > kLastCompositeCode) {
      // A plain alias: the node becomes what the own type is.
      node.code = target->code;
      node.flags = target->flags;
      node.elementSize = target->elementSize;
      node.dims = target->dims;
      node.fixedSize = target->fixedSize;
      node.ref = target->ref;
      node.depth = target->depth;
      return &node;
    }
    node.code = kCodeReference;
    node.ref = target;
    if (!node.dims.empty() && target->fixedSize != 0 &&
        !FixedProduct(target->fixedSize, node.dims, node.fixedSize))
      return Fail(SchemaStatus::BadNode);
    node.depth = target->depth + 1;
    if (node.depth > kMaxNesting) return Fail(SchemaStatus::TooDeep);
    return &node;
  }

  std::span<const uint8_t> bytes_;
  Schema& schema_;
  size_t pos_ = 0;
  uint32_t first_ = 0;
  SchemaStatus status_ = SchemaStatus::BadNode;
};

SchemaResult ParseTypeSchema(std::span<const uint8_t> bytes, Schema& schema) {
  if (bytes.size() <= 2) return {SchemaStatus::TooShort, 0};
  const size_t body = bytes.size() - 2;
  uint16_t sum = 0;
  for (size_t i = 0; i < body; ++i) sum = static_cast<uint16_t>(sum + bytes[i]);
  const uint16_t stored = static_cast<uint16_t>(bytes[body] | (bytes[body + 1] << 8));
  if (sum != stored) return {SchemaStatus::BadChecksum, body};
  SchemaParser parser(bytes.first(body), schema);
  const SchemaStatus status = parser.Parse();
  return {status, parser.Position()};
}

}  // namespace filmor
