// The tokenizer of DBC text: splits the file into ends of line, single
// characters, numbers, strings and identifiers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pellor {

enum class DbcToken : int {
  kEndOfFile = 0,
  kEndOfLine = 1,
  kChar = 2,
  kNumber = 3,
  kString = 4,
  kIdentifier = 5,
};

class DbcScanner {
 public:
  // Takes the whole file. A UTF-8 byte-order mark is dropped (and marks the
  // file's strings as UTF-8, which are then handed out in Windows-1252), a
  // carriage return before a line feed is dropped, and a last line without a
  // line feed ends as if it had one.
  explicit DbcScanner(std::string text);

  // The next token; after a pushback the same token again. At the end of the
  // text, or after an error, kEndOfFile.
  DbcToken NextToken();
  // Makes the current token the next one again (one token deep).
  void PushBack() { m_pushedBack = true; }

  DbcToken Kind() const { return m_kind; }
  // The token's text: the identifier, the number's characters, the string
  // without quotes, the character.
  const std::string& Text() const { return m_text; }
  double Number() const { return m_number; }
  bool Is(DbcToken kind, std::string_view text) const { return m_kind == kind && m_text == text; }
  // The 1-based line on which the current token began.
  int Line() const { return m_tokenLine; }

  // Whether the character right after the current token is `c`.
  bool NextCharIs(char c) const { return m_pos < m_data.size() && m_data[m_pos] == c; }
  // Drops the rest of the current line, line feed included, without reading tokens.
  void SkipRawLine();
  // Drops whole lines up to and including the next one that holds only blanks;
  // false when the text ends first.
  bool SkipToEmptyLine();
  // Whether the next line begins with a blank or tab and holds more than blanks.
  bool NextLineContinues() const;

  // Set when the text cannot be tokenized (a string that never ends), with
  // the line where the fault begins.
  const std::string& Error() const { return m_error; }
  int ErrorLine() const { return m_errorLine; }

 private:
  void ReadNumber();
  void ReadString(char quote);
  size_t LineEnd(size_t from) const;
  bool BlankRange(size_t from, size_t to) const;

  std::string m_data;
  size_t m_pos = 0;
  int m_line = 1;
  bool m_utf8 = false;

  DbcToken m_kind = DbcToken::kEndOfFile;
  std::string m_text;
  double m_number = 0;
  int m_tokenLine = 1;
  bool m_pushedBack = false;
  std::string m_error;
  int m_errorLine = 0;
};

}  // namespace pellor
