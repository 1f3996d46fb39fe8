#include "tests/support/tdms_writer.h"

#include <cmath>
#include <cstring>

namespace testsupport::tdms {
namespace {

class Out {
 public:
  explicit Out(bool big_endian) : big_endian_(big_endian) {}
  template <typename T>
  void Put(T v) {
    unsigned char b[sizeof v];
    std::memcpy(b, &v, sizeof v);
    if (big_endian_)
      for (size_t i = 0; i < sizeof v / 2; ++i) std::swap(b[i], b[sizeof v - 1 - i]);
    bytes.append(reinterpret_cast<const char*>(b), sizeof v);
  }
  void String(const std::string& s) {
    Put(static_cast<uint32_t>(s.size()));
    bytes += s;
  }
  void Stamp(Timestamp t) {
    if (big_endian_) {
      Put(t.seconds1904);
      Put(t.fraction);
    } else {
      Put(t.fraction);
      Put(t.seconds1904);
    }
  }
  std::string bytes;

 private:
  bool big_endian_;
};

void PutProperty(Out& out, const Property& p) {
  out.String(p.name);
  out.Put(p.type);
  switch (p.type) {
    case kString: out.String(std::get<std::string>(p.value)); break;
    case kTimestamp: out.Stamp(std::get<Timestamp>(p.value)); break;
    case kBool: out.Put(static_cast<uint8_t>(std::get<uint64_t>(p.value))); break;
    case kI32: out.Put(static_cast<int32_t>(std::get<int64_t>(p.value))); break;
    case kU32: out.Put(static_cast<uint32_t>(std::get<uint64_t>(p.value))); break;
    case kF64: out.Put(std::get<double>(p.value)); break;
    default: break;
  }
}

}  // namespace

std::string Path(const std::string& group) {
  std::string out = "/'";
  for (char c : group) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}
std::string Path(const std::string& group, const std::string& channel) {
  return Path(group) + Path(channel);
}

Timestamp FromUnix(int64_t unix_seconds, double fraction) {
  return {unix_seconds + kUnixEpochSince1904, static_cast<uint64_t>(std::ldexp(fraction, 64))};
}

Property String(std::string name, std::string value) { return {std::move(name), kString, std::move(value)}; }
Property F64(std::string name, double value) { return {std::move(name), kF64, value}; }
Property I32(std::string name, int32_t value) { return {std::move(name), kI32, int64_t{value}}; }
Property U32(std::string name, uint32_t value) { return {std::move(name), kU32, uint64_t{value}}; }
Property Bool(std::string name, bool value) { return {std::move(name), kBool, uint64_t{value}}; }
Property Time(std::string name, Timestamp value) { return {std::move(name), kTimestamp, value}; }

Object WithData(std::string path, uint32_t type, uint64_t count, std::vector<Property> props) {
  Object o;
  o.path = std::move(path);
  o.index = Object::Index::Full;
  o.type = type;
  o.count = count;
  o.properties = std::move(props);
  return o;
}
Object NoData(std::string path, std::vector<Property> props) {
  Object o;
  o.path = std::move(path);
  o.properties = std::move(props);
  return o;
}
Object SameIndex(std::string path) {
  Object o;
  o.path = std::move(path);
  o.index = Object::Index::SameAsBefore;
  return o;
}
Object WithStrings(std::string path, const std::vector<std::string>& values) {
  Object o = WithData(std::move(path), kString, values.size());
  o.header = 28;
  o.string_bytes = 4 * values.size();
  for (const std::string& v : values) o.string_bytes += v.size();
  return o;
}

Object Daqmx(std::string path, uint64_t count, std::vector<uint32_t> widths, std::vector<DaqmxScaler> scalers,
             std::vector<Property> props) {
  Object o;
  o.path = std::move(path);
  o.index = Object::Index::Daqmx;
  o.count = count;
  o.daqmx_widths = std::move(widths);
  o.daqmx_scalers = std::move(scalers);
  o.properties = std::move(props);
  return o;
}

template <typename T>
RawData& RawData::Value(T v) {
  Out out(big_endian_);
  out.Put(v);
  bytes_ += out.bytes;
  return *this;
}
template RawData& RawData::Value(int8_t);
template RawData& RawData::Value(int16_t);
template RawData& RawData::Value(int32_t);
template RawData& RawData::Value(int64_t);
template RawData& RawData::Value(uint8_t);
template RawData& RawData::Value(uint16_t);
template RawData& RawData::Value(uint32_t);
template RawData& RawData::Value(uint64_t);
template RawData& RawData::Value(float);
template RawData& RawData::Value(double);

RawData& RawData::Strings(const std::vector<std::string>& values) {
  uint32_t end = 0;
  for (const std::string& v : values) Value(end += static_cast<uint32_t>(v.size()));
  for (const std::string& v : values) bytes_ += v;
  return *this;
}

RawData& RawData::Stamp(Timestamp t) {
  Out out(big_endian_);
  out.Stamp(t);
  bytes_ += out.bytes;
  return *this;
}

std::string EncodeSegment(const Segment& segment) {
  const bool big_endian = (segment.toc & kTocBigEndian) != 0;
  Out meta(big_endian);
  if (segment.toc & kTocMetaData) {
    meta.Put(static_cast<uint32_t>(segment.objects.size()));
    for (const Object& o : segment.objects) {
      meta.String(o.path);
      switch (o.index) {
        case Object::Index::NoData: meta.Put(uint32_t{0xFFFFFFFF}); break;
        case Object::Index::SameAsBefore: meta.Put(uint32_t{0}); break;
        case Object::Index::Full:
          meta.Put(o.header);
          meta.Put(o.type);
          meta.Put(o.dimension);
          meta.Put(o.count);
          if (o.type == kString) meta.Put(o.string_bytes);
          break;
        case Object::Index::Daqmx: {
          meta.Put(uint32_t{o.daqmx_digital ? 0x126Au : 0x1269u});
          meta.Put(o.daqmx_type);
          meta.Put(o.dimension);
          meta.Put(o.count);
          const std::vector<DaqmxScaler> scalers =
              o.daqmx_scalers.empty() ? std::vector<DaqmxScaler>{DaqmxScaler{}} : o.daqmx_scalers;
          meta.Put(static_cast<uint32_t>(scalers.size()));
          for (const DaqmxScaler& sc : scalers) {
            meta.Put(sc.type);
            meta.Put(sc.buffer);
            meta.Put(sc.offset);
            if (o.daqmx_digital)
              meta.Put(uint8_t{0});  // sample-format bitmap
            else
              meta.Put(uint32_t{0});
            meta.Put(sc.scale_id);
          }
          meta.Put(static_cast<uint32_t>(o.daqmx_widths.size()));
          for (uint32_t w : o.daqmx_widths) meta.Put(w);
          break;
        }
      }
      meta.Put(static_cast<uint32_t>(o.properties.size()));
      for (const Property& p : o.properties) PutProperty(meta, p);
    }
  }
  Out lead(big_endian);
  lead.bytes = segment.tag.substr(0, 4);
  lead.bytes.resize(4, ' ');
  Out toc(false);
  toc.Put(segment.toc);
  lead.bytes += toc.bytes;
  lead.Put(segment.version);
  lead.Put(segment.next_offset.value_or(meta.bytes.size() + segment.raw.size()));
  lead.Put(segment.raw_offset.value_or(meta.bytes.size()));
  return lead.bytes + meta.bytes + segment.raw;
}

std::string Encode(const std::vector<Segment>& segments) {
  std::string out;
  for (const Segment& s : segments) out += EncodeSegment(s);
  return out;
}

}  // namespace testsupport::tdms
