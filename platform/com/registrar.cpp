#include "platform/com/registrar.h"

#include <cctype>
#include <charconv>
#include <optional>

#include "platform/win32/codepage.h"
#include "platform/win32/registry.h"

namespace winport {
namespace {

// Deepest nesting of key blocks a script may use.
constexpr int kMaxDepth = 64;

struct ValueNode {
  std::string name;  // empty: the key's default value
  DWORD type = REG_SZ;
  std::string text;    // REG_SZ
  DWORD number = 0;    // REG_DWORD
};

enum class KeyFlag { Plain, NoRemove, ForceRemove };

struct KeyNode {
  std::string name;
  KeyFlag flag = KeyFlag::Plain;
  std::vector<ValueNode> values;  // the default value first, when there is one
  std::vector<KeyNode> subkeys;
};

struct RootNode {
  HKEY root = nullptr;
  std::vector<KeyNode> keys;
};

struct ParseError {
  std::string message;
};

enum class TokenKind { Word, Quoted, Open, Close, Equals, End };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;
  int line = 1;
};

class Parser {
 public:
  Parser(std::string_view script, const Replacements& replacements)
      : script_(script), replacements_(replacements) {}

  std::vector<RootNode> Parse() {
    std::vector<RootNode> roots;
    for (Next(); token_.kind != TokenKind::End;) {
      if (token_.kind != TokenKind::Word) Fail("expected a root key");
      RootNode root;
      root.root = RootKey(token_.text);
      Next();
      Expect(TokenKind::Open, "'{' after the root key");
      while (token_.kind != TokenKind::Close) root.keys.push_back(ParseKey(1));
      Next();
      roots.push_back(std::move(root));
    }
    return roots;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw ParseError{"line " + std::to_string(token_.line) + ": " + what};
  }

  HKEY RootKey(const std::string& name) const {
    if (EqualsNoCase(name, "HKCR") || EqualsNoCase(name, "HKEY_CLASSES_ROOT")) return HKEY_CLASSES_ROOT;
    if (EqualsNoCase(name, "HKCU") || EqualsNoCase(name, "HKEY_CURRENT_USER")) return HKEY_CURRENT_USER;
    Fail("root key " + name + " is not available");
  }

  bool IsKeyword(const char* keyword) const {
    return token_.kind == TokenKind::Word && EqualsNoCase(token_.text, keyword);
  }

  void Expect(TokenKind kind, const char* what) {
    if (token_.kind != kind) Fail(std::string("expected ") + what);
    Next();
  }

  std::string TakeName(const char* what) {
    if (token_.kind != TokenKind::Word && token_.kind != TokenKind::Quoted) Fail(std::string("expected ") + what);
    std::string name = token_.text;
    Next();
    return name;
  }

  // `= s 'text'` or `= d 'number'`, after the '='.
  void ParseTypedValue(ValueNode& value) {
    if (IsKeyword("s")) {
      value.type = REG_SZ;
      Next();
      if (token_.kind != TokenKind::Quoted) Fail("expected a quoted text after s");
      value.text = token_.text;
    } else if (IsKeyword("d")) {
      value.type = REG_DWORD;
      Next();
      if (token_.kind != TokenKind::Quoted && token_.kind != TokenKind::Word) Fail("expected a number after d");
      value.number = ParseNumber(token_.text);
    } else {
      Fail("expected the value type s or d");
    }
    Next();
  }

  DWORD ParseNumber(const std::string& text) const {
    std::string_view digits = text;
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
      digits.remove_prefix(2);
      base = 16;
    }
    DWORD n = 0;
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), n, base);
    if (digits.empty() || r.ec != std::errc() || r.ptr != digits.data() + digits.size())
      Fail("'" + text + "' is not a 32-bit number");
    return n;
  }

  KeyNode ParseKey(int depth) {
    if (depth > kMaxDepth) Fail("keys nested too deeply");
    if (token_.kind == TokenKind::End) Fail("expected '}'");
    KeyNode key;
    if (IsKeyword("NoRemove")) {
      key.flag = KeyFlag::NoRemove;
      Next();
    } else if (IsKeyword("ForceRemove")) {
      key.flag = KeyFlag::ForceRemove;
      Next();
    } else if (IsKeyword("val")) {
      Fail("a value belongs inside a key's block");
    }
    key.name = TakeName("a key name");
    if (key.name.empty() || key.name.find('\\') != std::string::npos)
      Fail("key name '" + key.name + "' is empty or holds a backslash");
    if (token_.kind == TokenKind::Equals) {
      Next();
      ValueNode value;
      ParseTypedValue(value);
      key.values.push_back(std::move(value));
    }
    if (token_.kind != TokenKind::Open) return key;
    Next();
    while (token_.kind != TokenKind::Close) {
      if (IsKeyword("val")) {
        Next();
        ValueNode value;
        value.name = TakeName("a value name");
        if (value.name.empty()) Fail("a value needs a name");
        Expect(TokenKind::Equals, "'=' after the value name");
        ParseTypedValue(value);
        key.values.push_back(std::move(value));
      } else {
        key.subkeys.push_back(ParseKey(depth + 1));
      }
    }
    Next();
    return key;
  }

  // Replaces %NAME% and %% in a name or text.
  std::string Substitute(const std::string& raw) const {
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != '%') {
        out += raw[i];
        continue;
      }
      const size_t end = raw.find('%', i + 1);
      if (end == std::string::npos) Fail("unmatched '%' in '" + raw + "'");
      const std::string name = raw.substr(i + 1, end - i - 1);
      if (name.empty()) {
        out += '%';
      } else {
        const std::string* value = nullptr;
        for (const auto& [key, replacement] : replacements_)
          if (EqualsNoCase(key, name)) value = &replacement;
        if (!value) Fail("no replacement for %" + name + "%");
        out += *value;
      }
      i = end;
    }
    return out;
  }

  void Next() {
    while (pos_ < script_.size()) {
      const char c = script_[pos_];
      if (c == '\n') ++line_;
      if (!std::isspace(static_cast<unsigned char>(c))) break;
      ++pos_;
    }
    token_ = Token{};
    token_.line = line_;
    if (pos_ >= script_.size()) return;
    const char c = script_[pos_];
    // A '{' that something other than a blank follows starts a braced name, "{GUID}".
    if (c == '{' && pos_ + 1 < script_.size() && !std::isspace(static_cast<unsigned char>(script_[pos_ + 1])) &&
        script_[pos_ + 1] != '}') {
      const size_t close = script_.find('}', pos_);
      if (close == std::string_view::npos) Fail("unterminated braced name");
      token_.kind = TokenKind::Word;
      token_.text = Substitute(std::string(script_.substr(pos_, close + 1 - pos_)));
      for (size_t i = pos_; i <= close; ++i)
        if (script_[i] == '\n') ++line_;
      pos_ = close + 1;
      return;
    }
    if (c == '{' || c == '}' || c == '=') {
      token_.kind = c == '{' ? TokenKind::Open : c == '}' ? TokenKind::Close : TokenKind::Equals;
      ++pos_;
      return;
    }
    std::string raw;
    if (c == '\'') {
      token_.kind = TokenKind::Quoted;
      for (++pos_;; ++pos_) {
        if (pos_ >= script_.size()) Fail("unterminated quoted text");
        if (script_[pos_] == '\n') ++line_;
        if (script_[pos_] != '\'') {
          raw += script_[pos_];
        } else if (pos_ + 1 < script_.size() && script_[pos_ + 1] == '\'') {
          raw += '\'';
          ++pos_;
        } else {
          ++pos_;
          break;
        }
      }
    } else {
      token_.kind = TokenKind::Word;
      while (pos_ < script_.size()) {
        const char w = script_[pos_];
        if (std::isspace(static_cast<unsigned char>(w)) || w == '{' || w == '}' || w == '=' || w == '\'') break;
        raw += w;
        ++pos_;
      }
    }
    token_.text = Substitute(raw);
  }

  std::string_view script_;
  const Replacements& replacements_;
  size_t pos_ = 0;
  int line_ = 1;
  Token token_;
};

class KeyHandle {
 public:
  KeyHandle() = default;
  ~KeyHandle() {
    if (key_) RegCloseKey(key_);
  }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  HKEY* Out() { return &key_; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

struct WriteError {
  std::string message;
};

void SetValue(HKEY key, const ValueNode& value, const std::string& where) {
  LSTATUS rc;
  if (value.type == REG_DWORD)
    rc = RegSetValueExA(key, value.name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.number),
                        sizeof value.number);
  else
    rc = RegSetValueExA(key, value.name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()),
                        static_cast<DWORD>(value.text.size() + 1));
  if (rc != ERROR_SUCCESS) throw WriteError{"cannot write value '" + value.name + "' of " + where};
}

void RegisterKey(HKEY parent, const KeyNode& node, const std::string& where) {
  const std::string path = where + "\\" + node.name;
  if (node.flag == KeyFlag::ForceRemove) RegDeleteTreeA(parent, node.name.c_str());
  KeyHandle key;
  if (RegCreateKeyA(parent, node.name.c_str(), key.Out()) != ERROR_SUCCESS)
    throw WriteError{"cannot create key " + path};
  for (const ValueNode& value : node.values) SetValue(key.Get(), value, path);
  for (const KeyNode& sub : node.subkeys) RegisterKey(key.Get(), sub, path);
}

// Removes what the script wrote below `parent`; false when a removal failed.
bool UnregisterKey(HKEY parent, const KeyNode& node) {
  if (node.flag == KeyFlag::ForceRemove) {
    const LSTATUS rc = RegDeleteTreeA(parent, node.name.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
  }
  bool ok = true;
  {
    KeyHandle key;
    if (RegOpenKeyExA(parent, node.name.c_str(), 0, KEY_ALL_ACCESS, key.Out()) != ERROR_SUCCESS) return true;
    for (const KeyNode& sub : node.subkeys) ok = UnregisterKey(key.Get(), sub) && ok;
    for (const ValueNode& value : node.values) {
      const LSTATUS rc = RegDeleteValueA(key.Get(), value.name.c_str());
      ok = ok && (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND);
    }
    if (node.flag == KeyFlag::NoRemove) return ok;
    DWORD subkeys = 0, values = 0;
    if (RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
        subkeys != 0 || values != 0)
      return ok;
  }
  const LSTATUS rc = RegDeleteKeyA(parent, node.name.c_str());
  return ok && (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND);
}

bool UnregisterAll(const std::vector<RootNode>& roots) {
  bool ok = true;
  for (const RootNode& root : roots)
    for (const KeyNode& key : root.keys) ok = UnregisterKey(root.root, key) && ok;
  return ok;
}

}  // namespace

HRESULT UpdateRegistryFromScript(std::string_view script, const Replacements& replacements, bool doRegister,
                                 std::string* error) {
  std::vector<RootNode> roots;
  try {
    roots = Parser(script, replacements).Parse();
  } catch (const ParseError& e) {
    if (error) *error = e.message;
    return E_INVALIDARG;
  }
  if (!doRegister) {
    if (UnregisterAll(roots)) return S_OK;
    if (error) *error = "some keys could not be removed";
    return REGDB_E_WRITEREGDB;
  }
  try {
    for (const RootNode& root : roots)
      for (const KeyNode& key : root.keys)
        RegisterKey(root.root, key, root.root == HKEY_CLASSES_ROOT ? "HKCR" : "HKCU");
  } catch (const WriteError& e) {
    UnregisterAll(roots);
    if (error) *error = e.message;
    return REGDB_E_WRITEREGDB;
  }
  return S_OK;
}

}  // namespace winport
