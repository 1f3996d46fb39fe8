#include "host/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace host {

const Value* Find(const PropertyList& list, std::string_view name) {
  for (const auto& [key, value] : list)
    if (key == name) return &value;
  return nullptr;
}

double NumberOf(const PropertyList& list, std::string_view name, double otherwise) {
  const Value* v = Find(list, name);
  if (!v) return otherwise;
  if (const auto* i = std::get_if<int64_t>(v)) return static_cast<double>(*i);
  if (const auto* d = std::get_if<double>(v)) return *d;
  return otherwise;
}

std::string TextOf(const PropertyList& list, std::string_view name) {
  const Value* v = Find(list, name);
  const auto* text = v ? std::get_if<std::string>(v) : nullptr;
  return text ? *text : std::string();
}

std::string FormatNumber(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, r.ptr);
}

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", c);
          out += escape;
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}

std::string JsonValue(const Value& value) {
  if (const auto* i = std::get_if<int64_t>(&value)) return std::to_string(*i);
  if (const auto* d = std::get_if<double>(&value)) {
    if (std::isnan(*d)) return "\"NaN\"";
    if (std::isinf(*d)) return *d < 0 ? "\"-Infinity\"" : "\"Infinity\"";
    return FormatNumber(*d);
  }
  if (const auto* s = std::get_if<std::string>(&value)) return JsonString(*s);
  if (const auto* list = std::get_if<TextList>(&value)) {
    std::string out = "[";
    for (size_t i = 0; i < list->size(); ++i) out += (i ? ", " : "") + JsonString((*list)[i]);
    return out + "]";
  }
  return "null";
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace host
