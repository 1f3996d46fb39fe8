// Values of properties as the host reads them, and how it writes them out:
// numbers locale-free (doubles in their shortest form that reads back the
// same), texts as UTF-8, JSON and RFC 4180 fields.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace host {

// Null (a null string, an empty variant), an integer, a double, a text, or a
// list of texts (the value texts of BitState).
using TextList = std::vector<std::string>;
using Value = std::variant<std::monostate, int64_t, double, std::string, TextList>;

// Properties in the order the object's type information gives them.
using PropertyList = std::vector<std::pair<std::string, Value>>;

// The property's value, nullptr when the list lacks it.
const Value* Find(const PropertyList& list, std::string_view name);
// The property as a number (0 when missing or not a number) or a text ("" likewise).
double NumberOf(const PropertyList& list, std::string_view name, double otherwise = 0);
std::string TextOf(const PropertyList& list, std::string_view name);

// "0.1", "1e+308", "-3", "nan", "inf".
std::string FormatNumber(double value);
// A JSON string literal.
std::string JsonString(std::string_view utf8);
// The value as JSON: null, a number, a string, an array of strings;
// non-finite numbers as the strings "NaN", "Infinity", "-Infinity".
std::string JsonValue(const Value& value);
// An RFC 4180 field: quoted when it holds a comma, a quote, CR or LF.
std::string CsvField(std::string_view text);

}  // namespace host
