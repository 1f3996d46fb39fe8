#include "smallimports/filmor/filmor_document.h"

#include <bit>
#include <cmath>

namespace filmor {

namespace {

// Members of the root, the header, a group and its information, a channel.
constexpr uint32_t kRootHeader = 1;
constexpr uint32_t kRootGroups = 3;
constexpr uint32_t kHeaderText_ = 1;
constexpr uint32_t kHeaderVersion = 2;
constexpr uint32_t kGroupInformation = 1;
constexpr uint32_t kGroupChannels = 2;
constexpr uint32_t kGroupData = 3;
constexpr uint32_t kInfoComment = 2;
constexpr uint32_t kInfoUnscaled = 7;
constexpr uint32_t kInfoInterval = 8;
constexpr uint32_t kInfoRecordCount = 11;
constexpr uint32_t kChannelName = 1;
constexpr uint32_t kChannelLabel = 2;
constexpr uint32_t kChannelPoints = 3;
constexpr uint32_t kChannelUnit = 4;
constexpr uint32_t kChannelRange = 5;
constexpr uint32_t kChannelRawScaling = 9;
constexpr uint32_t kChannelType = 10;
constexpr uint32_t kChannelWidth = 11;

// A field of `size` bytes from a value's bytes, little-endian; a shorter value
// reads zero-extended.
uint64_t LoadUnsigned(const std::string& bytes, size_t offset, size_t size) {
  uint64_t v = 0;
  for (size_t i = 0; i < size && offset + i < bytes.size(); ++i)
    v |= static_cast<uint64_t>(static_cast<uint8_t>(bytes[offset + i])) << (8 * i);
  return v;
}
double LoadDouble(const std::string& bytes, size_t index) {
  return std::bit_cast<double>(LoadUnsigned(bytes, index * 8, 8));
}
std::string LoadText(const std::string& bytes) { return std::string(bytes.c_str()); }

class DocumentReader {
 public:
  explicit DocumentReader(smallimports::FileCursor& file) : file_(file), values_(file) {}

  DocumentResult Read(std::vector<ChannelGroupRecord>& groups) {
    if (!CheckFileMagic() || !LoadSchema()) return result_;
    const TypeNode* root = schema_.Root();
    if (!root->IsTaggedSet() || root->IsChoice() || !root->dims.empty()) return Fail(DocumentStatus::BadRoot);
    SetElement element(values_, *root);
    if (const TypeNode* header = element.FindMember(kRootHeader)) {
      if (!ReadHeader(*header)) return Finish();
    }
    if (const TypeNode* list = element.FindMember(kRootGroups)) {
      values_.ForEachElement(*list, [&](const TypeNode& set) { return ReadChannelGroup(set, groups); });
    }
    return Finish();
  }

 private:
  DocumentResult Fail(DocumentStatus status) {
    if (result_.status == DocumentStatus::Ok) {
      result_.status = status;
      result_.offset = file_.Tell();
    }
    return result_;
  }
  DocumentResult Finish() {
    if (values_.Failed() && result_.status == DocumentStatus::Ok) {
      result_.status = DocumentStatus::BadValue;
      result_.value = values_.Error();
      result_.offset = values_.ErrorOffset();
    }
    return result_;
  }
  bool FailGroup(DocumentStatus status) {
    if (!values_.Failed()) Fail(status);
    return false;
  }

  bool CheckFileMagic() {
    uint8_t b[4];
    if (!file_.Read(b, 4) || (static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                              (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24)) != kFileMagic) {
      result_.status = DocumentStatus::BadMagic;
      result_.offset = 0;
      return false;
    }
    return true;
  }

  bool LoadSchema() {
    uint32_t length = 0;
    if (!values_.ReadVarint(length)) length = 0;  // a short read gives 0: too short
    const uint64_t start = file_.Tell();
    if (length > file_.Left()) {
      Fail(DocumentStatus::SchemaTruncated);
      return false;
    }
    std::vector<uint8_t> bytes(length);
    if (!file_.Read(bytes.data(), length)) {
      Fail(DocumentStatus::SchemaTruncated);
      return false;
    }
    const SchemaResult parsed = ParseTypeSchema(bytes, schema_);
    if (parsed.status != SchemaStatus::Ok) {
      result_.status = DocumentStatus::BadSchema;
      result_.schema = parsed.status;
      result_.offset = start + parsed.offset;
      return false;
    }
    return true;
  }

  // Reads the member with this tag, if the element holds it, and hands its bytes on.
  template <class Assign>
  bool Field(SetElement& element, uint32_t tag, Assign&& assign) {
    const TypeNode* member = element.FindMember(tag);
    if (!member) return !values_.Failed();
    if (!values_.ReadValue(*member, bytes_)) return false;
    assign(bytes_);
    return true;
  }

  bool ReadHeader(const TypeNode& node) {
    return values_.ForEachElement(node, [&](const TypeNode& set) {
      SetElement element(values_, set);
      std::string text, version;
      if (!Field(element, kHeaderText_, [&](const std::string& b) { text = LoadText(b); }) ||
          !Field(element, kHeaderVersion, [&](const std::string& b) { version = b; }))
        return false;
      if (text != kHeaderText) return FailGroup(DocumentStatus::BadHeaderText);
      const uint64_t major = LoadUnsigned(version, 0, 1), minor = LoadUnsigned(version, 1, 1),
                     build = LoadUnsigned(version, 2, 2);
      if (major > 1 || minor != 0 || build < 1) return FailGroup(DocumentStatus::BadVersion);
      return element.Leave();
    });
  }

  bool ReadGroupInformation(const TypeNode& set, ChannelGroupRecord& group) {
    SetElement element(values_, set);
    return Field(element, kInfoComment, [&](const std::string& b) { group.comment = LoadText(b); }) &&
           Field(element, kInfoUnscaled, [&](const std::string& b) { group.unscaled = LoadUnsigned(b, 0, 1) != 0; }) &&
           Field(element, kInfoInterval, [&](const std::string& b) {
             group.interval.mantissa = LoadDouble(b, 0);
             group.interval.exponent = static_cast<int16_t>(LoadUnsigned(b, 8, 2));
           }) &&
           Field(element, kInfoRecordCount,
                 [&](const std::string& b) { group.recordCount = static_cast<int32_t>(LoadUnsigned(b, 0, 4)); }) &&
           element.Leave();
  }

  bool ReadChannel(const TypeNode& set, ChannelRecord& channel) {
    SetElement element(values_, set);
    return Field(element, kChannelName, [&](const std::string& b) { channel.name = LoadText(b); }) &&
           Field(element, kChannelLabel, [&](const std::string& b) { channel.label = LoadText(b); }) &&
           Field(element, kChannelPoints,
                 [&](const std::string& b) {
                   for (size_t i = 0; i < 4; ++i) channel.points[i] = LoadDouble(b, i);
                 }) &&
           Field(element, kChannelUnit, [&](const std::string& b) { channel.unit = LoadText(b); }) &&
           Field(element, kChannelRange,
                 [&](const std::string& b) {
                   channel.range[0] = LoadDouble(b, 0);
                   channel.range[1] = LoadDouble(b, 1);
                 }) &&
           Field(element, kChannelRawScaling,
                 [&](const std::string& b) {
                   channel.rawScaling[0] = LoadDouble(b, 0);
                   channel.rawScaling[1] = LoadDouble(b, 1);
                 }) &&
           Field(element, kChannelType, [&](const std::string& b) { channel.type = static_cast<uint8_t>(LoadUnsigned(b, 0, 1)); }) &&
           Field(element, kChannelWidth, [&](const std::string& b) { channel.width = static_cast<uint8_t>(LoadUnsigned(b, 0, 1)); }) &&
           element.Leave();
  }

  // The records: a run of bytes (a byte-sized leaf type of one dimension,
  // possibly behind references of count 1). Notes where they lie and skips
  // them; records reaching past the file's end end the document after this group.
  bool ReadGroupData(const TypeNode& member, ChannelGroupRecord& group) {
    const TypeNode* node = &member;
    for (uint32_t hops = 0; node->IsReference() && hops < kMaxNesting; ++hops) {
      uint64_t count = 0;
      if (!values_.ReadCount(*node, count)) return false;
      if (count != 1) return values_.Fail(ValueError::Unreadable);
      node = node->ref;
    }
    if (!node->IsElementary() || node->elementSize != 1 || node->dims.size() != 1)
      return values_.Fail(ValueError::Unreadable);
    uint32_t bytes = node->dims[0];
    if (bytes == 0 && !values_.ReadVarint(bytes)) return false;
    group.dataPosition = file_.Tell();
    group.dataBytes = bytes;
    if (!file_.Skip(bytes)) {
      file_.SeekTo(file_.Size());
      values_.Fail(ValueError::Truncated);
    }
    return true;
  }

  bool ReadChannelGroup(const TypeNode& set, std::vector<ChannelGroupRecord>& groups) {
    ChannelGroupRecord group;
    SetElement element(values_, set);
    const TypeNode* info = element.FindMember(kGroupInformation);
    if (!info) return FailGroup(DocumentStatus::GroupWithoutInformation);
    if (!values_.ForEachElement(*info, [&](const TypeNode& s) { return ReadGroupInformation(s, group); }))
      return false;
    const TypeNode* channels = element.FindMember(kGroupChannels);
    if (!channels) return FailGroup(DocumentStatus::GroupWithoutChannels);
    if (!values_.ForEachElement(*channels, [&](const TypeNode& s) {
          return ReadChannel(s, group.channels.emplace_back());
        }))
      return false;
    const TypeNode* data = element.FindMember(kGroupData);
    if (!data) return FailGroup(DocumentStatus::GroupWithoutData);
    if (!ReadGroupData(*data, group)) return false;
    groups.push_back(std::move(group));
    return !values_.Failed() && element.Leave();
  }

  smallimports::FileCursor& file_;
  ValueReader values_;
  Schema schema_;
  DocumentResult result_;
  std::string bytes_;
};

}  // namespace

double ScaledNumberValue(const ScaledNumber& number, int shift) {
  if (number.mantissa >= 0) return number.mantissa * std::pow(10.0, number.exponent - shift);
  return 1.0 / (-number.mantissa * std::pow(10.0, number.exponent + shift));
}

std::string DocumentResultText(const DocumentResult& result) {
  std::string text;
  switch (result.status) {
    case DocumentStatus::Ok: text = "document read"; break;
    case DocumentStatus::OpenFailed: text = "file cannot be opened"; break;
    case DocumentStatus::BadMagic: text = "not a FILMOR file"; break;
    case DocumentStatus::SchemaTruncated: text = "schema runs past the end of the file"; break;
    case DocumentStatus::BadSchema: text = SchemaStatusText(result.schema); break;
    case DocumentStatus::BadRoot: text = "root type is no tagged set"; break;
    case DocumentStatus::BadHeaderText: text = "header text is not FILMOR"; break;
    case DocumentStatus::BadVersion: text = "unsupported version"; break;
    case DocumentStatus::GroupWithoutInformation: text = "channel group without information"; break;
    case DocumentStatus::GroupWithoutChannels: text = "channel group without channels"; break;
    case DocumentStatus::GroupWithoutData: text = "channel group without data"; break;
    case DocumentStatus::BadValue:
      switch (result.value) {
        case ValueError::UnknownTag: text = "tag names no member"; break;
        case ValueError::Unreadable: text = "value form cannot be read"; break;
        case ValueError::Truncated: text = "value runs past the end of the file"; break;
        case ValueError::CountOverflow: text = "count beyond 64 bits"; break;
        case ValueError::TooManySteps: text = "more values than the file can hold"; break;
        case ValueError::None: text = "value error"; break;
      }
      break;
  }
  return text + " at offset " + std::to_string(result.offset);
}

DocumentResult ReadFilmorDocument(smallimports::FileCursor& file, std::vector<ChannelGroupRecord>& groups) {
  if (!file.IsOpen()) return {DocumentStatus::OpenFailed};
  return DocumentReader(file).Read(groups);
}

}  // namespace filmor
