#include "platform/ddc/tdm.h"

#include <cfloat>
#include <charconv>
#include <cstring>
#include <pugixml.hpp>
#include <unordered_map>

#include "platform/ddc/timestamp.h"
#include "platform/ddc/values.h"

namespace ddc {
namespace {

// Element names without their namespace prefix ("usi:tdm" -> "tdm").
std::string_view LocalName(const pugi::xml_node& node) {
  std::string_view name = node.name();
  const size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node Child(const pugi::xml_node& node, std::string_view local_name) {
  for (pugi::xml_node c : node.children())
    if (c.type() == pugi::node_element && LocalName(c) == local_name) return c;
  return {};
}

std::string_view Trim(std::string_view s) {
  const char* ws = " \t\r\n";
  const size_t b = s.find_first_not_of(ws);
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(ws) - b + 1);
}

// A number text in the C locale's form. Writers put the largest double as
// "1.79769313486232e+308", which lies above it: a text beyond the range reads
// as the largest double of its sign, one below it as 0.
bool ParseDouble(std::string_view text, double& out) {
  text = Trim(text);
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  if (text.empty() || end != text.data() + text.size()) return false;
  if (ec == std::errc::result_out_of_range) {
    const size_t e = text.find_first_of("eE");
    const bool overflow = e != std::string_view::npos && e + 1 < text.size() && text[e + 1] != '-';
    const bool negative = text[0] == '-';
    out = overflow ? (negative ? -DBL_MAX : DBL_MAX) : (negative ? -0.0 : 0.0);
    return true;
  }
  return ec == std::errc();
}

bool ParseU64(std::string_view text, uint64_t& out) {
  text = Trim(text);
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// The ids of a link text: #xpointer(id("usi2") id("usi3")).
std::vector<std::string_view> LinkIds(std::string_view text) {
  std::vector<std::string_view> ids;
  constexpr std::string_view kOpen = "id(\"";
  for (size_t pos = text.find(kOpen); pos != std::string_view::npos; pos = text.find(kOpen, pos)) {
    pos += kOpen.size();
    const size_t end = text.find('"', pos);
    if (end == std::string_view::npos) break;
    ids.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  return ids;
}

DDCDataType ValueTypeCode(std::string_view value_type) {
  static const std::pair<std::string_view, DDCDataType> kTypes[] = {
      {"eInt8Usi", DDC_TypeInt8},     {"eInt16Usi", DDC_TypeInt16},
      {"eInt32Usi", DDC_TypeInt32},   {"eInt64Usi", DDC_TypeInt64},
      {"eUInt8Usi", DDC_TypeUInt8},   {"eUInt16Usi", DDC_TypeUInt16},
      {"eUInt32Usi", DDC_TypeUInt32}, {"eUInt64Usi", DDC_TypeUInt64},
      {"eFloat32Usi", DDC_TypeFloat}, {"eFloat64Usi", DDC_TypeDouble},
      {"eTimeUsi", DDC_TypeChannelTimestamp}, {"eStringUsi", DDC_TypeChannelString}};
  for (const auto& [name, code] : kTypes)
    if (name == value_type) return code;
  return DDC_TypeUnsupported;
}

DDCDataType SequenceTypeCode(std::string_view sequence) {
  static const std::pair<std::string_view, DDCDataType> kTypes[] = {
      {"double_sequence", DDC_TypeDouble}, {"float_sequence", DDC_TypeFloat},
      {"long_sequence", DDC_TypeInt32},    {"short_sequence", DDC_TypeInt16},
      {"byte_sequence", DDC_TypeUInt8},    {"longlong_sequence", DDC_TypeInt64},
      {"string_sequence", DDC_TypeChannelString}, {"time_sequence", DDC_TypeChannelTimestamp}};
  for (const auto& [name, code] : kTypes)
    if (name == sequence) return code;
  return DDC_TypeUnsupported;
}

DDCDataType DeclaredTypeCode(std::string_view datatype) {
  static const std::pair<std::string_view, DDCDataType> kTypes[] = {
      {"DT_DOUBLE", DDC_TypeDouble}, {"DT_FLOAT", DDC_TypeFloat},
      {"DT_SHORT", DDC_TypeInt16},   {"DT_LONG", DDC_TypeInt32},
      {"DT_BYTE", DDC_TypeUInt8},    {"DT_LONGLONG", DDC_TypeInt64},
      {"DT_STRING", DDC_TypeChannelString}, {"DT_DATE", DDC_TypeChannelTimestamp},
      {"DT_BOOLEAN", DDC_TypeBoolean}};
  for (const auto& [name, code] : kTypes)
    if (name == Trim(datatype)) return code;
  return DDC_TypeUnsupported;
}

// A value block of an included .tdx file.
struct Block {
  size_t data_file = 0;
  uint64_t offset = 0;
  uint64_t length = 0;
  DDCDataType type = DDC_TypeUnsupported;  // unsupported also for block_bm storage
  bool big_endian = false;
};

template <typename T>
void StoreValue(std::vector<uint8_t>& bytes, T v) {
  const size_t at = bytes.size();
  bytes.resize(at + sizeof v);
  std::memcpy(bytes.data() + at, &v, sizeof v);
}

// Appends one number text as a value of `type`; false when it is no such number.
bool StoreNumber(std::vector<uint8_t>& bytes, DDCDataType type, std::string_view token) {
  if (type == DDC_TypeFloat || type == DDC_TypeDouble) {
    double d = 0;
    if (!ParseDouble(token, d)) return false;
    if (type == DDC_TypeFloat) StoreValue(bytes, static_cast<float>(d));
    else StoreValue(bytes, d);
    return true;
  }
  int64_t i = 0;
  const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), i);
  if (ec != std::errc() || end != token.data() + token.size()) {
    double d = 0;  // integers written as "12.0" or "1e3"
    if (!ParseDouble(token, d) || d != static_cast<double>(static_cast<int64_t>(d))) return false;
    i = static_cast<int64_t>(d);
  }
  const auto fits = [i](auto lo, auto hi) {
    return i >= static_cast<int64_t>(lo) && i <= static_cast<int64_t>(hi);
  };
  switch (type) {
    case DDC_TypeInt16:
      if (!fits(INT16_MIN, INT16_MAX)) return false;
      StoreValue(bytes, static_cast<int16_t>(i));
      return true;
    case DDC_TypeInt32:
      if (!fits(INT32_MIN, INT32_MAX)) return false;
      StoreValue(bytes, static_cast<int32_t>(i));
      return true;
    case DDC_TypeUInt8:
      if (!fits(0, UINT8_MAX)) return false;
      StoreValue(bytes, static_cast<uint8_t>(i));
      return true;
    case DDC_TypeInt64:
      StoreValue(bytes, i);
      return true;
    default:
      return false;
  }
}

// The texts of every text node below an element, in document order.
struct NumberTexts : pugi::xml_tree_walker {
  std::vector<std::string_view> parts;
  bool for_each(pugi::xml_node& node) override {
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) parts.emplace_back(node.value());
    return true;
  }
};

class TdmLoader {
 public:
  TdmLoader(File& file, std::string folder) : file_(file), folder_(std::move(folder)) {}
  Status Load(pugi::xml_node root, const std::string& base_name);

 private:
  Status IncludeFiles(pugi::xml_node include);
  void ReadAttributes(pugi::xml_node owner, PropertyList& properties) const;
  void ReadChannel(pugi::xml_node node, Channel& channel) const;
  void ReadValues(pugi::xml_node column, Channel& channel) const;
  pugi::xml_node Linked(pugi::xml_node owner, std::string_view element) const;

  File& file_;
  std::string folder_;  // UTF-8, with a trailing '/' or empty
  std::unordered_map<std::string, Block> blocks_;
  std::unordered_map<std::string_view, pugi::xml_node> elements_;
};

// The element that the first link of `owner`'s child `element` points at.
pugi::xml_node TdmLoader::Linked(pugi::xml_node owner, std::string_view element) const {
  const std::vector<std::string_view> ids = LinkIds(Child(owner, element).text().get());
  if (ids.empty()) return {};
  auto it = elements_.find(ids.front());
  return it == elements_.end() ? pugi::xml_node() : it->second;
}

Status TdmLoader::IncludeFiles(pugi::xml_node include) {
  for (pugi::xml_node f : include.children()) {
    if (f.type() != pugi::node_element || LocalName(f) != "file") continue;
    std::string url = f.attribute("url").value();
    for (char& c : url)
      if (c == '\\') c = '/';
    // Only files in the header's folder or below it.
    if (url.empty() || url[0] == '/' || url == ".." || url.rfind("../", 0) == 0 ||
        url.find("/../") != std::string::npos ||
        (url.size() >= 3 && url.compare(url.size() - 3, 3, "/..") == 0))
      return DDC_ErrDamaged;
    const std::string_view order = f.attribute("byteOrder").value();
    if (!order.empty() && order != "littleEndian" && order != "bigEndian") return DDC_ErrDamaged;
    auto data = std::make_unique<DataFile>();
    if (Status s = data->Open(folder_ + url); s != DDC_NoError) return s;
    const size_t index = file_.data_files.size();
    file_.data_files.push_back(std::move(data));
    for (pugi::xml_node b : f.children()) {
      if (b.type() != pugi::node_element) continue;
      const std::string_view kind = LocalName(b);
      if (kind != "block" && kind != "block_bm") continue;
      Block block;
      block.data_file = index;
      block.big_endian = order == "bigEndian";
      if (kind == "block" && ParseU64(b.attribute("byteOffset").value(), block.offset) &&
          ParseU64(b.attribute("length").value(), block.length))
        block.type = ValueTypeCode(b.attribute("valueType").value());
      blocks_.emplace(b.attribute("id").value(), block);
    }
  }
  return DDC_NoError;
}

void TdmLoader::ReadAttributes(pugi::xml_node owner, PropertyList& properties) const {
  for (pugi::xml_node a : Child(owner, "instance_attributes").children()) {
    if (a.type() != pugi::node_element) continue;
    const std::string_view kind = LocalName(a);
    Property p;
    p.name = FromUtf8(a.attribute("name").value());
    const pugi::xml_node s = Child(a, "s");
    const std::string_view text = s ? s.text().get() : a.text().get();
    double d = 0;
    if (kind == "string_attribute") {
      p = TextProperty(std::move(p.name), FromUtf8(text));
    } else if (kind == "time_attribute") {
      Timestamp t;
      if (!ParseIsoTimestamp(Trim(text), t)) continue;
      p = TimestampProperty(std::move(p.name), t);
    } else if (ParseDouble(text, d)) {
      if (kind == "double_attribute") { p.type = DDC_TypeDouble; p.value = d; }
      else if (kind == "float_attribute") { p.type = DDC_TypeFloat; p.value = d; }
      else if (kind == "long_attribute" && d >= INT32_MIN && d <= INT32_MAX) {
        p.type = DDC_TypeInt32; p.value = static_cast<int64_t>(d);
      } else if (kind == "short_attribute" && d >= INT16_MIN && d <= INT16_MAX) {
        p.type = DDC_TypeInt16; p.value = static_cast<int64_t>(d);
      } else if (kind == "byte_attribute" && d >= 0 && d <= UINT8_MAX) {
        p.type = DDC_TypeUInt8; p.value = static_cast<uint64_t>(d);
      } else if (kind == "longlong_attribute" && d >= -9.2e18 && d <= 9.2e18) {
        p.type = DDC_TypeInt64; p.value = static_cast<int64_t>(d);
      } else {
        continue;
      }
    } else {
      continue;
    }
    properties.Set(std::move(p));
  }
}

void TdmLoader::ReadValues(pugi::xml_node column, Channel& channel) const {
  const pugi::xml_node sequence = Linked(column, "values");
  if (!sequence) return;
  uint64_t rows = 0;
  const bool have_rows = ParseU64(Child(Linked(column, "submatrix"), "number_of_rows").text().get(), rows);
  const std::string_view representation = Trim(Child(column, "sequence_representation").text().get());
  const pugi::xml_node values = Child(sequence, "values");
  const std::string_view external = values.attribute("external").value();

  DDCDataType type = SequenceTypeCode(LocalName(sequence));
  const Block* block = nullptr;
  if (!external.empty()) {
    auto it = blocks_.find(std::string(external));
    if (it == blocks_.end()) return;
    block = &it->second;
    type = block->type;
  }
  const bool explicit_values = representation.empty() || representation == "explicit";
  const bool implicit_linear = representation == "implicit_linear";
  const bool raw_linear = representation == "raw_linear";
  if ((!explicit_values && !implicit_linear && !raw_linear) || type == DDC_TypeUnsupported ||
      (type == DDC_TypeChannelString && (block || !explicit_values)) ||
      (type == DDC_TypeChannelTimestamp && (!block || !explicit_values))) {
    channel.type = DDC_TypeUnsupported;
    channel.count = rows;
    return;
  }

  // The stored values: a block of the .tdx, or written out in the header.
  uint64_t stored = 0;
  InlineValues inline_values;
  if (block) {
    const uint64_t size = ValueSize(type);
    const uint64_t tdx_size = file_.data_files[block->data_file]->Size();
    const uint64_t available = block->offset <= tdx_size ? (tdx_size - block->offset) / size : 0;
    stored = std::min(block->length, available);
  } else if (type == DDC_TypeChannelString) {
    for (pugi::xml_node s : values.children())
      if (s.type() == pugi::node_element && LocalName(s) == "s")
        inline_values.texts.push_back(FromUtf8(s.text().get()));
    stored = inline_values.texts.size();
  } else {
    // The numbers stand in the text of <values> and of the elements inside it
    // (some writers wrap them: <values><A>0 0.01</A></values>), in document order.
    NumberTexts texts;
    pugi::xml_node(values).traverse(texts);
    bool more = true;
    for (size_t t = 0; more && t < texts.parts.size(); ++t) {
      const std::string_view text = texts.parts[t];
      for (size_t pos = 0; pos < text.size();) {
        const size_t b = text.find_first_not_of(" \t\r\n", pos);
        if (b == std::string_view::npos) break;
        const size_t e = std::min(text.find_first_of(" \t\r\n", b), text.size());
        more = (implicit_linear || !have_rows || stored < rows) &&
               StoreNumber(inline_values.bytes, type, text.substr(b, e - b));
        if (!more) break;
        ++stored;
        pos = e;
      }
    }
  }

  const uint32_t size = ValueSize(type);
  if (implicit_linear) {
    // Two stored values: the start and the increment.
    uint8_t two_stored[16];
    double two[2];
    const uint8_t* src = inline_values.bytes.data();
    if (stored < 2) return;
    if (block) {
      if (!file_.data_files[block->data_file]->ReadAt(two_stored, 2 * size, block->offset)) return;
      src = two_stored;
    }
    if (!ToLinearDoubles(type, src, block && block->big_endian, 2, 0, 1,
                         reinterpret_cast<uint8_t*>(two)))
      return;
    channel.type = DDC_TypeDouble;
    channel.count = have_rows ? rows : 0;
    channel.source = GeneratedValues{two[0], two[1]};
    return;
  }
  const uint64_t count = have_rows ? std::min(rows, stored) : stored;
  if (raw_linear) {
    // value = p0 + p1 * stored
    double p[2];
    const std::string_view parameters = Child(column, "generation_parameters").text().get();
    size_t found = 0;
    for (size_t pos = 0; found < 2 && pos < parameters.size();) {
      const size_t b = parameters.find_first_not_of(" \t\r\n", pos);
      if (b == std::string_view::npos) break;
      const size_t e = std::min(parameters.find_first_of(" \t\r\n", b), parameters.size());
      if (!ParseDouble(parameters.substr(b, e - b), p[found])) break;
      ++found;
      pos = e;
    }
    if (found < 2) {
      channel.type = DDC_TypeUnsupported;
      channel.count = count;
      return;
    }
    channel.type = DDC_TypeDouble;
    channel.count = count;
    if (block) {
      channel.source = TdxValues{block->data_file, block->offset, type, block->big_endian, true, p[0], p[1]};
    } else {
      InlineValues doubles;
      doubles.bytes.resize(count * sizeof(double));
      ToLinearDoubles(type, inline_values.bytes.data(), false, count, p[0], p[1], doubles.bytes.data());
      channel.source = std::move(doubles);
    }
    return;
  }
  channel.type = type;
  channel.count = count;
  if (block) {
    channel.source = TdxValues{block->data_file, block->offset, type, block->big_endian, false, 0, 1};
  } else {
    channel.source = std::move(inline_values);
  }
}

void TdmLoader::ReadChannel(pugi::xml_node node, Channel& channel) const {
  PropertyList& p = channel.properties;
  p.Set(TextProperty("name", FromUtf8(Child(node, "name").text().get())));
  for (const char* text : {"description", "unit_string"})
    if (pugi::xml_node e = Child(node, text)) p.Set(TextProperty(text, FromUtf8(e.text().get())));
  for (const char* number : {"minimum", "maximum"}) {
    double d = 0;
    if (ParseDouble(Child(node, number).text().get(), d)) p.Set(DoubleProperty(number, d));
  }
  ReadAttributes(node, p);
  p.OrderFirst({"name", "description", "unit_string", "minimum", "maximum"});
  channel.type = DeclaredTypeCode(Child(node, "datatype").text().get());
  if (const pugi::xml_node column = Linked(node, "local_columns")) ReadValues(column, channel);
}

Status TdmLoader::Load(pugi::xml_node root, const std::string& base_name) {
  if (pugi::xml_node include = Child(root, "include"))
    if (Status s = IncludeFiles(include); s != DDC_NoError) return s;
  for (pugi::xml_node e : Child(root, "data").children())
    if (e.type() == pugi::node_element && !e.attribute("id").empty())
      elements_.emplace(e.attribute("id").value(), e);
  const pugi::xml_node tdm_root = Child(Child(root, "data"), "tdm_root");
  if (!tdm_root) return DDC_ErrDamaged;

  PropertyList& fp = file_.properties;
  const std::string stored_name = FromUtf8(Child(tdm_root, "name").text().get());
  fp.Set(TextProperty("name", stored_name.empty() ? base_name : stored_name));
  for (const char* text : {"description", "title", "author"})
    if (pugi::xml_node e = Child(tdm_root, text)) fp.Set(TextProperty(text, FromUtf8(e.text().get())));
  Timestamp when;
  if (ParseIsoTimestamp(Trim(Child(tdm_root, "datetime").text().get()), when))
    fp.Set(TimestampProperty("datetime", when));
  ReadAttributes(tdm_root, fp);
  fp.OrderFirst({"name", "description", "title", "author", "datetime"});

  for (std::string_view group_id : LinkIds(Child(tdm_root, "channelgroups").text().get())) {
    auto g = elements_.find(group_id);
    if (g == elements_.end() || LocalName(g->second) != "tdm_channelgroup") continue;
    file_.groups.push_back(std::make_unique<Group>());
    Group& group = *file_.groups.back();
    group.properties.Set(TextProperty("name", FromUtf8(Child(g->second, "name").text().get())));
    if (pugi::xml_node e = Child(g->second, "description"))
      group.properties.Set(TextProperty("description", FromUtf8(e.text().get())));
    ReadAttributes(g->second, group.properties);
    group.properties.OrderFirst({"name", "description"});
    for (std::string_view channel_id : LinkIds(Child(g->second, "channels").text().get())) {
      auto c = elements_.find(channel_id);
      if (c == elements_.end() || LocalName(c->second) != "tdm_channel") continue;
      group.channels.push_back(std::make_unique<Channel>());
      ReadChannel(c->second, *group.channels.back());
    }
  }
  return DDC_NoError;
}

}  // namespace

Status LoadTdm(const std::string& utf8_path, const std::string& base_name, File& file) {
  DataFile header;
  if (Status s = header.Open(utf8_path); s != DDC_NoError) return s;
  std::vector<char> text(static_cast<size_t>(header.Size()));
  if (!header.ReadAt(text.data(), text.size(), 0)) return DDC_ErrReadFailed;
  pugi::xml_document doc;
  if (!doc.load_buffer_inplace(text.data(), text.size())) return DDC_ErrDamaged;
  const pugi::xml_node root = doc.document_element();
  if (LocalName(root) != "tdm") return DDC_ErrWrongFileKind;
  const size_t slash = utf8_path.rfind('/');
  TdmLoader loader(file, slash == std::string::npos ? "" : utf8_path.substr(0, slash + 1));
  return loader.Load(root, base_name);
}

}  // namespace ddc
