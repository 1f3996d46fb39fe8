// Texts of a fixed capacity. The contract's records hold their texts in
// fields of a fixed width that includes the terminating NUL, and the host
// relies on those limits: a FixedText<W> keeps at most W - 1 characters and
// ends at the first NUL of what it is given.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace importcore {

// The text as a field of `width` bytes holds it: up to its first NUL, at most width - 1 characters.
inline std::string_view CapText(std::string_view text, size_t width) {
  text = text.substr(0, text.find('\0'));
  return text.substr(0, width == 0 ? 0 : width - 1);
}

template <size_t Width>
class FixedText {
  static_assert(Width > 0, "a text field holds at least its NUL");

 public:
  static constexpr size_t kWidth = Width;
  static constexpr size_t kMaxLength = Width - 1;

  FixedText() = default;
  FixedText(std::string_view text) : text_(CapText(text, Width)) {}  // NOLINT: texts convert implicitly
  FixedText(const char* text) : FixedText(std::string_view(text ? text : "")) {}
  FixedText(const std::string& text) : FixedText(std::string_view(text)) {}
  FixedText& operator=(std::string_view text) {
    text_ = CapText(text, Width);
    return *this;
  }
  FixedText& operator=(const char* text) { return *this = std::string_view(text ? text : ""); }
  FixedText& operator=(const std::string& text) { return *this = std::string_view(text); }

  const std::string& str() const { return text_; }
  const char* c_str() const { return text_.c_str(); }
  bool empty() const { return text_.empty(); }
  size_t size() const { return text_.size(); }
  operator std::string_view() const { return text_; }

  friend bool operator==(const FixedText& a, std::string_view b) { return a.text_ == b; }

 private:
  std::string text_;
};

// Field widths of the newest contract's records (capacity including the NUL).
namespace width {
inline constexpr size_t kName = 255;      // Name, Alias, DisplayName, the grids, links and labels
inline constexpr size_t kLabel = 256;     // Label and the five tag_ texts
inline constexpr size_t kXUnit = 68;
inline constexpr size_t kYUnit = 64;      // YUnit and YMUnit
inline constexpr size_t kScalarUnit = 20;
}  // namespace width

}  // namespace importcore
