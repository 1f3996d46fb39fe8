// The DBC reader: keeps nodes, messages, signals, comments, value texts and
// the float flag, and passes over the rest of the format line by line.
#include "pellor/candb/dbc_reader.h"

#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "pellor/candb/candb.h"
#include "pellor/candb/dbc_scanner.h"
#include "platform/win32/codepage.h"
#include "platform/win32/file.h"

namespace pellor {

namespace {

constexpr int64_t kMaxStartBit = 511;
constexpr int64_t kMaxLength = 64;

// What a line that begins with a keyword holds.
enum class LineKind {
  kSymbolBlock,  // NS_, BS_: the line and the lines up to the next empty one
  kNodes,
  kMessage,
  kComment,
  kValueTexts,
  kValueType,
  kMuxValues,
  kPassOver,  // a keyword whose line the import does not need
};

const std::unordered_map<std::string_view, LineKind>& Keywords() {
  static const std::unordered_map<std::string_view, LineKind> keywords = {
      {"NS_", LineKind::kSymbolBlock},     {"BS_", LineKind::kSymbolBlock},
      {"BU_", LineKind::kNodes},           {"BO_", LineKind::kMessage},
      {"CM_", LineKind::kComment},         {"VAL_", LineKind::kValueTexts},
      {"SIG_VALTYPE_", LineKind::kValueType},
      {"EV_", LineKind::kPassOver},        {"VAL_TABLE_", LineKind::kPassOver},
      {"BA_DEF_", LineKind::kPassOver},    {"BA_DEF_DEF_", LineKind::kPassOver},
      {"BA_", LineKind::kPassOver},        {"CAT_DEF_", LineKind::kPassOver},
      {"CAT_", LineKind::kPassOver},       {"FILTER", LineKind::kPassOver},
      {"BO_TX_BU_", LineKind::kPassOver},  {"SG_MUL_VAL_", LineKind::kMuxValues},
      {"SIG_GROUP_", LineKind::kPassOver}, {"BA_DEF_REL_", LineKind::kPassOver},
      {"BA_REL_", LineKind::kPassOver},    {"BA_DEF_DEF_REL_", LineKind::kPassOver},
      {"BA_DEF_SGTYPE_", LineKind::kPassOver}, {"BA_SGTYPE_", LineKind::kPassOver},
      {"SGTYPE_", LineKind::kPassOver},    {"SGTYPE_VAL_", LineKind::kPassOver},
      {"SIG_TYPE_REF_", LineKind::kPassOver}, {"SIGTYPE_VALTYPE_", LineKind::kPassOver},
      {"ENVVAR_DATA_", LineKind::kPassOver}, {"EV_DATA_", LineKind::kPassOver},
      {"NS_DESC_", LineKind::kPassOver},   {"BU_SG_REL_", LineKind::kPassOver},
      {"BU_EV_REL_", LineKind::kPassOver}, {"BU_BO_REL_", LineKind::kPassOver},
  };
  return keywords;
}

// The integer that a number token stands for: its digits when it is written as
// an integer, else its value truncated; none outside int64.
std::optional<int64_t> IntegerValue(const std::string& text, double number) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') ++begin;
  int64_t value = 0;
  const auto [stop, ec] = std::from_chars(begin, end, value);
  if (ec == std::errc() && stop == end) return value;
  if (ec == std::errc::result_out_of_range) return std::nullopt;
  if (std::isfinite(number) && number >= -0x1p63 && number < 0x1p63) return static_cast<int64_t>(number);
  return std::nullopt;
}

// Ids and values keep the low 32 bits, so that an id with the extended-frame
// bit 0x80000000 stays as written.
int32_t Low32(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

// A multiplexor value written in decimal digits alone; none for anything else.
std::optional<uint64_t> MuxRangeValue(std::string_view digits) {
  uint64_t value = 0;
  const auto [stop, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || ec != std::errc() || stop != digits.data() + digits.size()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<int32_t> ParseMuxValue(std::string_view indicator) {
  if (indicator.size() < 2 || indicator[0] != 'm') return std::nullopt;
  std::string_view digits = indicator.substr(1);
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits.remove_prefix(2);
    base = 16;
  } else if (digits.size() > 1 && digits[0] == '0') {
    base = 8;
  }
  uint32_t value = 0;
  const auto [stop, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (ec != std::errc() || stop != digits.data() + digits.size() || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

MotorolaLayout MotorolaStartBit(int32_t startBit, int32_t length) {
  if (startBit % 8 + 1 >= length) return {startBit - length + 1, false};
  int32_t shift = ((length - startBit - 1) % 8 + 8) % 8;
  if (shift != 0) shift = 8 - shift;
  return {(startBit & ~7) + shift, true};
}

// Reads the DBC text into a database, one line kind at a time.
class DbcParser {
 public:
  DbcParser(CDbBase& db, std::string text) : m_db(db), m_scan(std::move(text)) {}

  bool Parse();
  const DbcError& Error() const { return m_error; }

 private:
  bool ParseFirstLine();
  bool ParseLine(LineKind kind);
  bool ParseNodes();
  bool ParseMessage();
  bool ParseSignals(CanMsg& message);
  bool ParseSignalLine(CanSig& signal, std::string& unknownIndicator);
  bool ParseComment();
  bool ParseValueTexts();
  bool ParseValueType();
  bool ParseMuxValues();
  bool ExpectMuxRange(CanMuxRange& range);
  void SkipRestOfLine();
  // Whether the current token begins a "//" comment, which runs to the end of its line.
  bool IsCommentStart() const {
    return m_scan.Is(DbcToken::kChar, "/") && m_scan.NextCharIs('/');
  }
  // At the end of a line, after a trailing comment if there is one; the line
  // is consumed either way.
  bool AtEndOfLine() {
    if (m_scan.Kind() == DbcToken::kEndOfLine) return true;
    if (!IsCommentStart()) return false;
    m_scan.SkipRawLine();
    return true;
  }

  bool Expect(char c);
  bool ExpectEndOfLine();
  bool ExpectIdentifier(std::string& out);
  bool ExpectString(std::string& out);
  bool ExpectNumber(double& out);
  bool ExpectInteger(int64_t& out, const char* what);
  bool ExpectInt32(int32_t& out, const char* what);
  bool Fail(std::string reason);

  CDbBase& m_db;
  DbcScanner m_scan;
  DbcError m_error;
};

bool DbcParser::Fail(std::string reason) {
  m_error.failure = DbcFailure::kSyntax;
  const bool scanFault = !m_scan.Error().empty();
  m_error.line = scanFault ? m_scan.ErrorLine() : m_scan.Line();
  m_error.reason = scanFault ? m_scan.Error() : std::move(reason);
  return false;
}

bool DbcParser::Expect(char c) {
  if (m_scan.NextToken() == DbcToken::kChar && m_scan.Text()[0] == c) return true;
  return Fail(std::string("expected '") + c + "'");
}

bool DbcParser::ExpectEndOfLine() {
  m_scan.NextToken();
  return AtEndOfLine() || Fail("expected the end of the line");
}

bool DbcParser::ExpectIdentifier(std::string& out) {
  if (m_scan.NextToken() != DbcToken::kIdentifier) return Fail("expected a name");
  out = m_scan.Text();
  return true;
}

bool DbcParser::ExpectString(std::string& out) {
  if (m_scan.NextToken() != DbcToken::kString) return Fail("expected a quoted text");
  out = m_scan.Text();
  return true;
}

bool DbcParser::ExpectNumber(double& out) {
  if (m_scan.NextToken() != DbcToken::kNumber) return Fail("expected a number");
  out = m_scan.Number();
  return true;
}

bool DbcParser::ExpectInteger(int64_t& out, const char* what) {
  if (m_scan.NextToken() != DbcToken::kNumber) return Fail(std::string("expected ") + what);
  const auto value = IntegerValue(m_scan.Text(), m_scan.Number());
  if (!value) return Fail(std::string(what) + " " + m_scan.Text() + " is out of range");
  out = *value;
  return true;
}

bool DbcParser::ExpectInt32(int32_t& out, const char* what) {
  int64_t value = 0;
  if (!ExpectInteger(value, what)) return false;
  out = Low32(value);
  return true;
}

void DbcParser::SkipRestOfLine() {
  DbcToken t;
  do t = m_scan.NextToken();
  while (t != DbcToken::kEndOfLine && t != DbcToken::kEndOfFile);
}

bool DbcParser::Parse() {
  if (!ParseFirstLine()) return false;
  for (;;) {
    switch (m_scan.NextToken()) {
      case DbcToken::kEndOfFile:
        return m_scan.Error().empty() || Fail("");
      case DbcToken::kEndOfLine:
        continue;
      case DbcToken::kIdentifier: {
        const auto found = Keywords().find(m_scan.Text());
        if (found == Keywords().end()) return Fail("unknown keyword " + m_scan.Text());
        if (!ParseLine(found->second)) return false;
        continue;
      }
      default:
        if (IsCommentStart()) {
          m_scan.SkipRawLine();
          continue;
        }
        return Fail("a line begins with '" + m_scan.Text() + "'");
    }
  }
}

// The file opens with a "VERSION" line or, without one, with any line the
// reader knows; comment lines may come first, and empty lines after them.
// From there on the database holds only what this file says.
bool DbcParser::ParseFirstLine() {
  bool comments = false;
  DbcToken t = m_scan.NextToken();
  for (;; t = m_scan.NextToken()) {
    if (IsCommentStart()) {
      m_scan.SkipRawLine();
      comments = true;
    } else if (!(comments && t == DbcToken::kEndOfLine)) {
      break;
    }
  }
  if (m_scan.Is(DbcToken::kIdentifier, "VERSION")) {
    std::string version;
    if (!ExpectString(version) || !ExpectEndOfLine()) return false;
  } else if ((t == DbcToken::kIdentifier && Keywords().contains(m_scan.Text())) ||
             (comments && t == DbcToken::kEndOfFile)) {
    m_scan.PushBack();
  } else {
    return Fail("the file begins neither with VERSION nor with a DBC keyword");
  }
  m_db.Clear();
  return true;
}

bool DbcParser::ParseLine(LineKind kind) {
  switch (kind) {
    case LineKind::kSymbolBlock:
      m_scan.SkipRawLine();
      return m_scan.SkipToEmptyLine() || Fail("the file ends before the empty line that ends the symbol list");
    case LineKind::kNodes:
      return ParseNodes();
    case LineKind::kMessage:
      return ParseMessage();
    case LineKind::kComment:
      return ParseComment();
    case LineKind::kValueTexts:
      return ParseValueTexts();
    case LineKind::kValueType:
      return ParseValueType();
    case LineKind::kMuxValues:
      return ParseMuxValues();
    case LineKind::kPassOver:
      SkipRestOfLine();
      return true;
  }
  return false;
}

// "BU_:" and node names up to the end of the line; lines that follow and begin
// with a blank or tab go on with the list.
bool DbcParser::ParseNodes() {
  if (!Expect(':')) return false;
  for (;;) {
    switch (m_scan.NextToken()) {
      case DbcToken::kIdentifier:
        m_db.AddNode(std::make_unique<CanNode>(m_scan.Text()));
        break;
      default:
        if (!AtEndOfLine()) return Fail("expected a node name");
        if (!m_scan.NextLineContinues()) return true;
        break;
    }
  }
}

// "BO_ <id> <name>: <dlc> <transmitter>" and the "SG_" lines that follow.
bool DbcParser::ParseMessage() {
  int32_t id = 0, dlc = 0;
  std::string name, transmitter;
  if (!ExpectInt32(id, "a message id") || !ExpectIdentifier(name) || !Expect(':') ||
      !ExpectInt32(dlc, "a data length") || !ExpectIdentifier(transmitter) || !ExpectEndOfLine())
    return false;
  CanMsg& message = m_db.AppendMessage(std::make_unique<CanMsg>(std::move(name), id, dlc));
  CanNode* node = m_db.FindNode(transmitter);
  CDbBase::SetTransmitter(message, std::move(transmitter), node);
  const bool ok = ParseSignals(message);
  message.SortSignals();
  return ok;
}

bool DbcParser::ParseSignals(CanMsg& message) {
  for (;;) {
    const DbcToken t = m_scan.NextToken();
    if (m_scan.Is(DbcToken::kIdentifier, "SG_")) {
      std::string name;
      if (!ExpectIdentifier(name)) return false;
      auto signal = std::make_unique<CanSig>(std::move(name));
      std::string unknownIndicator;
      if (!ParseSignalLine(*signal, unknownIndicator)) return false;
      if (unknownIndicator.empty())
        message.AppendSignal(std::move(signal));
      else
        message.AddLeftOutSignal(signal->Name(), std::move(unknownIndicator));
    } else if (t == DbcToken::kEndOfLine) {
      return true;
    } else if (IsCommentStart()) {
      m_scan.SkipRawLine();
    } else {
      m_scan.PushBack();
      return true;
    }
  }
}

// The rest of an "SG_" line after the signal's name:
//   [indicator] : <start>|<length>@<order><sign> (<factor>,<offset>) [<min>|<max>] "<unit>" <receivers>
// The indicator "M" makes a multiplexor, "m<k>" a multiplexed signal and
// "m<k>M" both. Another indicator leaves the signal out after its line has
// been read: `unknownIndicator` then holds it.
bool DbcParser::ParseSignalLine(CanSig& signal, std::string& unknownIndicator) {
  int32_t flags = 0;
  unknownIndicator.clear();
  m_scan.NextToken();
  if (m_scan.Kind() == DbcToken::kIdentifier) {
    const std::string_view indicator = m_scan.Text();
    std::optional<int32_t> mux;
    if (indicator == "M") {
      flags |= kSigMultiplexor;
    } else if ((mux = ParseMuxValue(indicator))) {
      flags |= kSigMultiplexed;
      signal.SetMuxValue(*mux);
    } else if (indicator.ends_with('M') && (mux = ParseMuxValue(indicator.substr(0, indicator.size() - 1)))) {
      flags |= kSigMultiplexed | kSigMultiplexor;
      signal.SetMuxValue(*mux);
    } else {
      unknownIndicator = indicator;
    }
    m_scan.NextToken();
  }
  if (!m_scan.Is(DbcToken::kChar, ":")) return Fail("expected ':' after the signal name");

  int64_t start = 0, length = 0, order = 0;
  if (!ExpectInteger(start, "a start bit")) return false;
  if (start < 0 || start > kMaxStartBit) return Fail("start bit " + m_scan.Text() + " is out of range");
  if (!Expect('|') || !ExpectInteger(length, "a length")) return false;
  if (length < 1 || length > kMaxLength) return Fail("length " + m_scan.Text() + " is out of range");
  if (!Expect('@') || !ExpectInteger(order, "a byte order")) return false;
  if (order == 0)
    flags |= kSigMotorola;
  else if (order != 1)
    return Fail("byte order " + m_scan.Text() + " is neither 0 nor 1");
  if (m_scan.NextToken() != DbcToken::kChar || (m_scan.Text() != "-" && m_scan.Text() != "+"))
    return Fail("expected '+' or '-' after the byte order");
  if (m_scan.Text() == "-") flags |= kSigSigned;

  int32_t startBit = static_cast<int32_t>(start);
  if (flags & kSigMotorola) {
    const MotorolaLayout layout = MotorolaStartBit(startBit, static_cast<int32_t>(length));
    startBit = layout.startBit;
    if (!layout.spansBytes) flags &= ~kSigMotorola;
  }
  signal.SetFlags(flags);
  signal.SetLayout(startBit, static_cast<int32_t>(length));

  double factor = 1, offset = 0, min = 0, max = 0;
  std::string unit;
  if (!Expect('(') || !ExpectNumber(factor) || !Expect(',') || !ExpectNumber(offset) || !Expect(')') ||
      !Expect('[') || !ExpectNumber(min) || !Expect('|') || !ExpectNumber(max) || !Expect(']') ||
      !ExpectString(unit))
    return false;
  signal.SetScaling(factor, offset);
  signal.SetRange(min, max);
  signal.SetUnit(std::move(unit));

  for (;;) {
    const DbcToken t = m_scan.NextToken();
    if (AtEndOfLine()) return true;
    if (t == DbcToken::kIdentifier) {
      if (CanNode* node = m_db.FindNode(m_scan.Text())) signal.AddReceiver(*node);
    } else if (!m_scan.Is(DbcToken::kChar, ",")) {
      return Fail("expected a receiver name");
    }
  }
}

// "CM_" with a text for the database, a node, a message, a signal or an
// environment variable (the last is not kept).
bool DbcParser::ParseComment() {
  std::string name, text;
  int32_t id = 0;
  const DbcToken t = m_scan.NextToken();
  if (t == DbcToken::kString) {
    text = m_scan.Text();
    if (!Expect(';') || !ExpectEndOfLine()) return false;
    m_db.m_comment = std::move(text);
  } else if (m_scan.Is(DbcToken::kIdentifier, "BU_")) {
    if (!ExpectIdentifier(name) || !ExpectString(text) || !Expect(';') || !ExpectEndOfLine()) return false;
    if (CanNode* node = m_db.FindNode(name)) node->SetComment(std::move(text));
  } else if (m_scan.Is(DbcToken::kIdentifier, "BO_")) {
    if (!ExpectInt32(id, "a message id") || !ExpectString(text) || !Expect(';') || !ExpectEndOfLine())
      return false;
    if (CanMsg* message = m_db.FindMessageById(id)) message->SetComment(std::move(text));
  } else if (m_scan.Is(DbcToken::kIdentifier, "SG_")) {
    if (!ExpectInt32(id, "a message id") || !ExpectIdentifier(name) || !ExpectString(text) || !Expect(';') ||
        !ExpectEndOfLine())
      return false;
    if (CanSig* signal = m_db.FindSignalById(id, name)) signal->SetComment(std::move(text));
  } else if (m_scan.Is(DbcToken::kIdentifier, "EV_")) {
    if (!ExpectIdentifier(name) || !ExpectString(text) || !Expect(';') || !ExpectEndOfLine()) return false;
  } else {
    return Fail("unknown kind of comment");
  }
  return true;
}

// "VAL_ <id> <signal> <value> "<text>" ... ;"; value texts of environment
// variables (no id) are passed over.
bool DbcParser::ParseValueTexts() {
  if (m_scan.NextToken() != DbcToken::kNumber) {
    m_scan.PushBack();
    SkipRestOfLine();
    return true;
  }
  const auto id = IntegerValue(m_scan.Text(), m_scan.Number());
  if (!id) return Fail("message id " + m_scan.Text() + " is out of range");
  std::string name;
  if (!ExpectIdentifier(name)) return false;
  CanSig* signal = m_db.FindSignalById(Low32(*id), name);
  for (;;) {
    const DbcToken t = m_scan.NextToken();
    if (m_scan.Is(DbcToken::kChar, ";")) break;
    if (t != DbcToken::kNumber) return Fail("expected a value or ';'");
    const auto value = IntegerValue(m_scan.Text(), m_scan.Number());
    if (!value) return Fail("value " + m_scan.Text() + " is out of range");
    std::string text;
    if (!ExpectString(text)) return false;
    if (signal) CDbBase::AddValueText(*signal, Low32(*value), std::move(text));
  }
  return ExpectEndOfLine();
}

// "SIG_VALTYPE_ <id> <signal> : <type>;": type 1 (float) and 2 (double) mark
// the signal as an IEEE 754 value, 0 as an integer.
bool DbcParser::ParseValueType() {
  int32_t id = 0;
  int64_t type = 0;
  std::string name;
  if (!ExpectInt32(id, "a message id") || !ExpectIdentifier(name) || !Expect(':') ||
      !ExpectInteger(type, "a value type") || !Expect(';') || !ExpectEndOfLine())
    return false;
  if (CanSig* signal = m_db.FindSignalById(id, name))
    signal->SetFlags(type == 0 ? signal->Flags() & ~kSigFloat : signal->Flags() | kSigFloat);
  return true;
}

// "SG_MUL_VAL_ <id> <signal> <multiplexor> <lo>-<hi>, ... ;": the values of
// the multiplexor for which a multiplexed signal is present. Lines of signals
// that are not found are passed over, as value texts are.
bool DbcParser::ParseMuxValues() {
  int32_t id = 0;
  std::string name, multiplexor;
  if (!ExpectInt32(id, "a message id") || !ExpectIdentifier(name) || !ExpectIdentifier(multiplexor)) return false;
  std::vector<CanMuxRange> ranges;
  for (;;) {
    CanMuxRange range;
    if (!ExpectMuxRange(range)) return false;
    ranges.push_back(range);
    m_scan.NextToken();
    if (m_scan.Is(DbcToken::kChar, ";")) break;
    if (!m_scan.Is(DbcToken::kChar, ",")) return Fail("expected ',' or ';' after a value range");
  }
  if (!ExpectEndOfLine()) return false;
  if (CanSig* signal = m_db.FindSignalById(id, name)) signal->AddMuxRanges(multiplexor, ranges);
  return true;
}

// "<lo>-<hi>" with lo <= hi. The scanner reads "8-9" as the numbers 8 and -9,
// and "8 - 9" as 8, '-' and 9.
bool DbcParser::ExpectMuxRange(CanMuxRange& range) {
  if (m_scan.NextToken() != DbcToken::kNumber) return Fail("expected a value range");
  const auto lo = MuxRangeValue(m_scan.Text());
  if (!lo) return Fail("multiplexor value " + m_scan.Text() + " is no whole number of 0 or more");
  std::string_view high;
  const DbcToken t = m_scan.NextToken();
  if (t == DbcToken::kNumber && m_scan.Text().starts_with('-')) {
    high = std::string_view(m_scan.Text()).substr(1);
  } else if (m_scan.Is(DbcToken::kChar, "-") && m_scan.NextToken() == DbcToken::kNumber) {
    high = m_scan.Text();
  } else {
    return Fail("expected '-' and the upper end of a value range");
  }
  const auto hi = MuxRangeValue(high);
  if (!hi) return Fail("multiplexor value " + std::string(high) + " is no whole number of 0 or more");
  if (*hi < *lo) return Fail("value range " + std::to_string(*lo) + "-" + std::to_string(*hi) + " runs backwards");
  range = {*lo, *hi};
  return true;
}

namespace {

// The whole DBC file, refused when it is not a regular file or is too large.
// The path is looked at before it is opened, since opening a pipe would wait
// for a writer.
bool LoadDbcText(const std::string& path, std::string& text, DbcError& error) {
  struct stat st {};
  if (stat(winport::AnsiToUtf8(path).c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    error = {DbcFailure::kNotRegularFile, 0, "not a regular file"};
    return false;
  }
  winport::File file;
  if (!file.Open(path, winport::FileAccess::Read, winport::FileShare::ReadWrite)) {
    error = {DbcFailure::kCannotOpen, 0, "cannot open the file"};
    return false;
  }
  if (fstat(file.Descriptor(), &st) != 0 || !S_ISREG(st.st_mode)) {
    error = {DbcFailure::kNotRegularFile, 0, "not a regular file"};
    return false;
  }
  const int64_t size = file.Size();
  if (size < 0 || size > CDbBase::kMaxFileSize) {
    error = {DbcFailure::kTooLarge, 0, "larger than 64 MiB"};
    return false;
  }
  text.resize(static_cast<size_t>(size));
  text.resize(file.Read(text.data(), text.size()));
  return true;
}

}  // namespace

bool CDbBase::ReadDbcFile(const std::string& pathArg) {
  const std::string path = pathArg.empty() ? m_fileName : pathArg;
  if (!m_loadedPath.empty() && m_loadedPath == path) return true;
  m_loadedPath.clear();
  m_lastError = DbcError{};

  std::string text;
  bool ok = LoadDbcText(path, text, m_lastError);
  if (ok) {
    DbcParser parser(*this, std::move(text));
    ok = parser.Parse();
    SortMessages();
    if (!ok) m_lastError = parser.Error();
  }
  if (!ok) {
    std::fprintf(stderr, "CAN database %s, line %d: %s\n", path.c_str(), m_lastError.line,
                 m_lastError.reason.c_str());
    return false;
  }
  m_fileName = path;
  m_loadedPath = path;
  return true;
}

}  // namespace pellor
