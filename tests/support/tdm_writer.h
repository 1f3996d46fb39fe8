// Writes TDM files (XML header and .tdx data) for tests.
//
// A File describes the root, its groups and channels; Build() returns the
// XML text and the .tdx bytes. Channels keep their values in a .tdx block
// (the bytes a test gives, appended to the .tdx) or written out in the XML.
// Nothing is checked, so tests can write blocks past the end of the .tdx,
// bad links or unknown types.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace testsupport::tdm {

struct Channel {
  std::string name;
  std::optional<std::string> description, unit, minimum, maximum;
  std::string datatype = "DT_DOUBLE";
  std::string sequence = "double_sequence";
  std::string representation = "explicit";
  std::string generation_parameters;  // raw_linear: "p0 p1"
  std::optional<uint64_t> rows;       // number_of_rows; none: no submatrix
  // Values in a block of the .tdx: `length` values of `value_type`, the
  // bytes `tdx` placed at `byte_offset` (default: the end of the .tdx so far).
  bool external = true;
  std::string value_type = "eFloat64Usi";
  uint64_t length = 0;
  std::string tdx;
  std::optional<uint64_t> byte_offset;
  std::string block_element = "block";
  // Values written out: the inner XML of <values>.
  std::string inline_values;
  std::string attributes;  // inner XML of <instance_attributes>
};

struct Group {
  std::string name;
  std::optional<std::string> description;
  std::string attributes;
  std::vector<Channel> channels;
};

struct File {
  std::optional<std::string> name, description, title, author, datetime;
  std::string attributes;
  std::vector<Group> groups;
  bool big_endian = false;
  std::string tdx_url = "data.tdx";
  bool include = true;  // the <usi:include> naming the .tdx
};

struct Written {
  std::string xml;
  std::string tdx;
};
Written Build(const File& file);

// Values as the .tdx holds them.
template <typename T>
std::string Bytes(const std::vector<T>& values, bool big_endian = false) {
  std::string out;
  for (T v : values) {
    char b[sizeof v];
    std::memcpy(b, &v, sizeof v);
    if (big_endian)
      for (size_t i = 0; i < sizeof v / 2; ++i) std::swap(b[i], b[sizeof v - 1 - i]);
    out.append(b, sizeof v);
  }
  return out;
}

}  // namespace testsupport::tdm
