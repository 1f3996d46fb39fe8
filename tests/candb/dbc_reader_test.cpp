// The DBC reader on small texts written here: the grammar's cases, the edge
// cases of the format and the reader's robustness, once in the C locale and
// once under a German locale (decimal comma, Latin-1 letters).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "pellor/candb/candb.h"
#include "pellor/candb/dbc_reader.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace pellor;
using testsupport::TempDir;

std::vector<std::string> Names(const auto& list) {
  std::vector<std::string> names;
  for (const auto& item : list) names.push_back(item.Name());
  return names;
}

const CanSig& Sig(const CDbBase& db, int32_t id, const char* name) {
  const CanSig* sig = db.FindSignalById(id, name);
  if (!sig) throw std::runtime_error(std::string("no signal ") + name);
  return *sig;
}

constexpr const char* kHead = "VERSION \"\"\n\n";
// One message with id 1 and an 8-bit Intel signal "s".
constexpr const char* kMessage1 = "BO_ 1 One: 8 Vector__XXX\n SG_ s : 0|8@1+ (1,0) [0|0] \"\" Vector__XXX\n\n";

struct Case {
  const char* name;
  std::string text;
  int failLine;  // 0: the read succeeds; else the line it stops at
  std::function<void(const CDbBase&)> check = nullptr;
};

std::string Repeat(const std::string& piece, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += piece;
  return out;
}

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      // -- how a file may begin
      {"opens with VERSION", std::string(kHead) + kMessage1, 0,
       [](const CDbBase& db) { EXPECT_EQ(Names(db.Messages()), std::vector<std::string>{"One"}); }},
      {"opens with BO_, no VERSION", kMessage1, 0,
       [](const CDbBase& db) { EXPECT_EQ(Sig(db, 1, "s").Length(), 8); }},
      {"opens with a // line", std::string("// written by hand, it's fine\n") + kMessage1, 0,
       [](const CDbBase& db) { EXPECT_EQ(db.Messages().Count(), 1u); }},
      {"opens with another word", "HELLO \"\"\n", 1},
      {"opens with an empty line", "\nVERSION \"\"\n", 1},
      {"empty file", "", 1},
      {"VERSION without its text", "VERSION\n", 1},

      // -- line endings, byte-order mark, long lines
      {"CR LF line ends",
       "VERSION \"\"\r\n\r\nBU_: A\r\n\r\nBO_ 1 One: 8 A\r\n SG_ s : 0|8@1+ (1,0) [0|0] \"u\" A\r\n\r\n"
       "CM_ BO_ 1 \"two\r\nlines\";\r\n",
       0,
       [](const CDbBase& db) {
         EXPECT_EQ(Sig(db, 1, "s").Unit(), "u");
         EXPECT_EQ(Names(Sig(db, 1, "s").Receivers()), std::vector<std::string>{"A"});
         EXPECT_EQ(db.FindMessageById(1)->Comment(), "two\r\nlines");
       }},
      {"UTF-8 byte-order mark, texts to Windows-1252",
       std::string("\xEF\xBB\xBFVERSION \"\"\n\n") + kMessage1 + "CM_ BO_ 1 \"Gr\xC3\xBC\xC3\x9F\";\n", 0,
       [](const CDbBase& db) { EXPECT_EQ(db.FindMessageById(1)->Comment(), "Gr\xFC\xDF"); }},
      {"Windows-1252 texts kept as bytes", std::string(kMessage1) + "CM_ BO_ 1 \"Gr\xFC\xDF\";\n", 0,
       [](const CDbBase& db) { EXPECT_EQ(db.FindMessageById(1)->Comment(), "Gr\xFC\xDF"); }},
      {"last line without a line feed", "BO_ 1 One: 8 X\n SG_ s : 0|8@1+ (1,0) [0|0] \"\" X", 0,
       [](const CDbBase& db) { EXPECT_EQ(Sig(db, 1, "s").Length(), 8); }},
      {"lines far longer than 2,047 characters",
       std::string(kMessage1) + "CM_ BO_ 1 \"" + std::string(100000, 'x') + "\";\nVAL_ 1 s" +
           Repeat(" 7 \"seven\"", 3000) + " ;\n",
       0,
       [](const CDbBase& db) {
         EXPECT_EQ(db.FindMessageById(1)->Comment().size(), 100000u);
         EXPECT_EQ(Sig(db, 1, "s").Values().Count(), 3000u);
       }},

      // -- numbers and identifiers do not depend on the locale
      {"numbers with a decimal point",
       "BO_ 1 One: 8 X\n SG_ s : 0|16@1- (0.25,-1.5) [-1e3|2.5E2] \"\" X\n", 0,
       [](const CDbBase& db) {
         const CanSig& s = Sig(db, 1, "s");
         EXPECT_EQ(s.Factor(), 0.25);
         EXPECT_EQ(s.Offset(), -1.5);
         EXPECT_EQ(s.Min(), -1000.0);
         EXPECT_EQ(s.Max(), 250.0);
       }},
      {"a letter beyond ASCII is no identifier", "BU_: N\xE4me\n", 1},

      // -- integer fields
      {"extended id keeps bit 31", "BO_ 2147483921 Ext: 8 X\n\n", 0,
       [](const CDbBase& db) { EXPECT_EQ(static_cast<uint32_t>(db.Messages()[0].Id()), 0x80000111u); }},
      {"id beyond int64", "BO_ 99999999999999999999 A: 8 X\n", 1},
      {"id of 1e30", "BO_ 1e30 A: 8 X\n", 1},
      {"start bit 511 and length 64", "BO_ 1 A: 8 X\n SG_ s : 511|64@1+ (1,0) [0|0] \"\" X\n", 0,
       [](const CDbBase& db) {
         EXPECT_EQ(Sig(db, 1, "s").StartBit(), 511);
         EXPECT_EQ(Sig(db, 1, "s").Length(), 64);
       }},
      {"start bit 512", "BO_ 1 A: 8 X\n SG_ s : 512|8@1+ (1,0) [0|0] \"\" X\n", 2},
      {"start bit -1", "BO_ 1 A: 8 X\n SG_ s : -1|8@1+ (1,0) [0|0] \"\" X\n", 2},
      {"length 0", "BO_ 1 A: 8 X\n SG_ s : 0|0@1+ (1,0) [0|0] \"\" X\n", 2},
      {"length 65", "BO_ 1 A: 8 X\n SG_ s : 0|65@1+ (1,0) [0|0] \"\" X\n", 2},
      {"byte order 2", "BO_ 1 A: 8 X\n SG_ s : 0|8@2+ (1,0) [0|0] \"\" X\n", 2},
      {"no sign", "BO_ 1 A: 8 X\n SG_ s : 0|8@1 (1,0) [0|0] \"\" X\n", 2},
      {"missing bracket", "BO_ 1 A: 8 X\n SG_ s : 0|8@1+ (1,0 [0|0] \"\" X\n", 2},

      // -- Motorola start bits
      {"Motorola over two bytes, and within one byte",
       "BO_ 1 A: 8 X\n SG_ wide : 7|16@0+ (1,0) [0|0] \"\" X\n SG_ narrow : 5|2@0+ (1,0) [0|0] \"\" X\n"
       " SG_ twelve : 5|12@0- (1,0) [0|0] \"\" X\n",
       0,
       [](const CDbBase& db) {
         const CanSig& wide = Sig(db, 1, "wide");
         EXPECT_EQ(wide.StartBit(), 0);
         EXPECT_TRUE(wide.IsMotorola());
         const CanSig& narrow = Sig(db, 1, "narrow");
         EXPECT_EQ(narrow.StartBit(), 4);
         EXPECT_FALSE(narrow.IsMotorola());
         const CanSig& twelve = Sig(db, 1, "twelve");  // bytes 0-1 reversed, shift 2
         EXPECT_EQ(twelve.StartBit(), 2);
         EXPECT_EQ(twelve.Flags(), kSigMotorola | kSigSigned);
       }},

      // -- multiplexing
      {"multiplex indicators",
       "BO_ 1 A: 8 X\n SG_ sel M : 0|8@1+ (1,0) [0|0] \"\" X\n SG_ three m3 : 8|8@1- (1,0) [0|0] \"\" X\n"
       " SG_ hex m0x1F : 16|8@1+ (1,0) [0|0] \"\" X\n SG_ oct m017 : 24|8@1+ (1,0) [0|0] \"\" X\n"
       " SG_ both m2M : 32|8@1+ (1,0) [0|0] \"\" X\n SG_ plain : 40|8@1+ (1,0) [0|0] \"\" X\n",
       0,
       [](const CDbBase& db) {
         EXPECT_EQ(Sig(db, 1, "sel").Flags(), kSigMultiplexor);
         EXPECT_EQ(Sig(db, 1, "three").Flags(), kSigMultiplexed | kSigSigned);
         EXPECT_EQ(Sig(db, 1, "three").MuxValue(), 3);
         EXPECT_EQ(Sig(db, 1, "hex").MuxValue(), 31);
         EXPECT_EQ(Sig(db, 1, "oct").MuxValue(), 15);
         EXPECT_EQ(Sig(db, 1, "both").Flags(), kSigMultiplexed | kSigMultiplexor);  // multiplexed, and a multiplexor
         EXPECT_EQ(Sig(db, 1, "both").MuxValue(), 2);
         EXPECT_EQ(Sig(db, 1, "plain").Flags(), 0);
       }},
      {"other indicators leave the signal out",
       "BO_ 1 A: 8 X\n SG_ before : 0|8@1+ (1,0) [0|0] \"\" X\n SG_ bare m : 8|2@1+ (1,0) [0|3] \"\" X\n"
       " SG_ odd m08 : 16|8@1+ (1,0) [0|0] \"\" X\n SG_ after : 24|8@1+ (1,0) [0|0] \"\" X\n\n"
       "CM_ SG_ 1 bare \"left out\";\nVAL_ 1 bare 0 \"zero\" ;\nSIG_VALTYPE_ 1 bare : 1;\n",
       0,
       [](const CDbBase& db) {
         EXPECT_EQ(Names(db.Messages()[0].Signals()), (std::vector<std::string>{"before", "after"}));
         // The message keeps who was left out and why, for the import to say so.
         std::vector<std::string> leftOut;
         for (const auto& s : db.Messages()[0].LeftOutSignals()) leftOut.push_back(s.name + " " + s.indicator);
         EXPECT_EQ(leftOut, (std::vector<std::string>{"bare m", "odd m08"}));
       }},
      {"an indicator's line is still checked", "BO_ 1 A: 8 X\n SG_ bare m : 8|99@1+ (1,0) [0|3] \"\" X\n", 2},

      // -- multiplexor values of SG_MUL_VAL_ lines
      {"value ranges, two lines for one signal",
       "BO_ 1 A: 8 X\n SG_ sel M : 0|8@1+ (1,0) [0|0] \"\" X\n SG_ s m1 : 8|8@1+ (1,0) [0|0] \"\" X\n\n"
       "SG_MUL_VAL_ 1 s sel 1-1, 3-3,2 - 5;\nSG_MUL_VAL_ 1 s SEL 18446744073709551615-18446744073709551615 ;\n"
       "SG_MUL_VAL_ 1 nobody sel 0-0;\nSG_MUL_VAL_ 7 s sel 0-0;\n",
       0,
       [](const CDbBase& db) {
         const CanSig& s = Sig(db, 1, "s");
         EXPECT_EQ(s.MuxSwitch(), "sel");
         EXPECT_EQ(s.MuxRanges(), (std::vector<CanMuxRange>{{1, 1}, {3, 3}, {2, 5}, {UINT64_MAX, UINT64_MAX}}));
         EXPECT_FALSE(s.HasMuxConflict());  // names compare ignoring case
         EXPECT_TRUE(Sig(db, 1, "sel").MuxRanges().empty());
       }},
      {"lines that name two multiplexors",
       "BO_ 1 A: 8 X\n SG_ s m1 : 8|8@1+ (1,0) [0|0] \"\" X\n\nSG_MUL_VAL_ 1 s a 1-1;\nSG_MUL_VAL_ 1 s b 1-1;\n", 0,
       [](const CDbBase& db) { EXPECT_TRUE(Sig(db, 1, "s").HasMuxConflict()); }},
      {"a range that runs backwards", std::string(kMessage1) + "SG_MUL_VAL_ 1 s s 5-2;\n", 4},
      {"a range without its upper end", std::string(kMessage1) + "SG_MUL_VAL_ 1 s s 5;\n", 4},
      {"a negative multiplexor value", std::string(kMessage1) + "SG_MUL_VAL_ 1 s s -1-2;\n", 4},
      {"a multiplexor value that is no whole number", std::string(kMessage1) + "SG_MUL_VAL_ 1 s s 1-2.5;\n", 4},
      {"no range at all", std::string(kMessage1) + "SG_MUL_VAL_ 1 s s ;\n", 4},
      {"ranges without ';'", std::string(kMessage1) + "SG_MUL_VAL_ 1 s s 1-2, 3-4\n", 4},

      // -- "//" comments
      {"comment lines first, before VERSION",
       "// written by a tool\n// on a Monday\n\nVERSION \"\"\n\n" + std::string(kMessage1), 0,
       [](const CDbBase& db) { EXPECT_EQ(Sig(db, 1, "s").Length(), 8); }},
      {"trailing comments after VERSION, BO_ and SG_ lines, comment lines between",
       "VERSION \"1.0\" // the version\n\nBU_: A B // nodes\n\n// messages\nBO_ 1 One: 8 A // the first\n"
       " SG_ s : 0|8@1+ (1,0) [0|0] \"\" A,B // with receivers\n // between signals\n"
       " SG_ t : 8|8@1+ (1,0) [0|0] \"%\"// and none\n\n// and at the end\nCM_ BO_ 1 \"c\"; // comment\n",
       0,
       [](const CDbBase& db) {
         EXPECT_EQ(Names(db.Nodes()), (std::vector<std::string>{"A", "B"}));
         EXPECT_EQ(Names(db.Messages()[0].Signals()), (std::vector<std::string>{"s", "t"}));
         EXPECT_EQ(Names(Sig(db, 1, "s").Receivers()), (std::vector<std::string>{"A", "B"}));
         EXPECT_EQ(Sig(db, 1, "t").Unit(), "%");
         EXPECT_EQ(db.FindMessageById(1)->Comment(), "c");
       }},
      {"a file of comments only", "// nothing else\n", 0,
       [](const CDbBase& db) { EXPECT_EQ(db.Messages().Count(), 0u); }},
      {"a single '/' is no comment", "BO_ 1 One: 8 X /\n", 1},
      {"a comment before VERSION, then another word", "// x\nHELLO\n", 2},

      // -- order of messages and signals
      {"messages by name, signals by start bit",
       "BO_ 3 Zeta: 8 X\n\nBO_ 1 Alpha: 8 X\n SG_ c : 16|8@1+ (1,0) [0|0] \"\" X\n"
       " SG_ a : 0|8@1+ (1,0) [0|0] \"\" X\n SG_ b : 8|8@1+ (1,0) [0|0] \"\" X\n"
       " SG_ a2 : 0|4@1+ (1,0) [0|0] \"\" X\n\nBO_ 2 beta: 8 X\n\nBO_ 4 Alpha: 8 X\n\nBO_ 3 Eta: 8 X\n\n",
       0,
       [](const CDbBase& db) {
         EXPECT_EQ(Names(db.Messages()), (std::vector<std::string>{"Alpha", "Alpha", "Eta", "Zeta", "beta"}));
         EXPECT_EQ(db.Messages()[0].Id(), 1);
         EXPECT_EQ(db.Messages()[1].Id(), 4);
         EXPECT_EQ(Names(db.Messages()[0].Signals()), (std::vector<std::string>{"a", "a2", "b", "c"}));
         EXPECT_EQ(db.FindMessageById(3)->Name(), "Eta");  // the first in the order by name
       }},

      // -- lines passed over
      {"lines the import does not need",
       "VERSION \"\"\n\nNS_ :\n\tNS_DESC_\n\tCM_\n\tBA_DEF_\n\nBS_: 500\n\nBU_: A\n"
       "VAL_TABLE_ t 1 \"one\" 0 \"zero\" ;\nEV_ e: 0 [0|0] \"\" 0 1 DUMMY_NODE_VECTOR0 A;\n" +
           std::string(kMessage1) +
           "BO_TX_BU_ 1 : A;\nSG_MUL_VAL_ 1 s s 0-1;\nSIG_GROUP_ 1 g 1 : s;\nBA_DEF_ BO_ \"x\" INT 0 9;\n"
           "BA_DEF_DEF_ \"x\" 0;\nBA_ \"x\" BO_ 1 \"a text\nover two lines\";\nBA_DEF_REL_ BU_SG_REL_ \"r\" INT 0 1;\n"
           "BA_REL_ \"r\" BU_SG_REL_ A SG_ 1 s 1;\nBA_DEF_DEF_REL_ \"r\" 0;\nBA_DEF_SGTYPE_ \"t\" INT 0 1;\n"
           "BA_SGTYPE_ \"t\" SGTYPE_ T 1;\nSGTYPE_ T : 8@1+ (1,0) [0|0] \"\" 0 , t;\nSGTYPE_VAL_ T 0 \"z\";\n"
           "SIG_TYPE_REF_ 1 s : T;\nSIGTYPE_VALTYPE_ T : 0;\nENVVAR_DATA_ e: 4;\nEV_DATA_ e: 4;\nNS_DESC_ x;\n"
           "BU_SG_REL_ A SG_ 1 s;\nBU_EV_REL_ A e;\nBU_BO_REL_ A 1;\nCAT_DEF_ 1 c 0;\nCAT_ BO_ 1 1;\n"
           "FILTER 0 A;\n// a remark with a ' quote\nVAL_ e 0 \"off\" ;\nCM_ \"database\";\n",
       0,
       [](const CDbBase& db) {
         EXPECT_EQ(Names(db.Nodes()), std::vector<std::string>{"A"});
         EXPECT_EQ(Sig(db, 1, "s").Length(), 8);
         EXPECT_EQ(db.Comment(), "database");
       }},
      {"an unknown keyword", std::string(kHead) + kMessage1 + "BA_ \"x\" 1;\nFOO_ bar;\n", 7},
      {"a symbol list up to the end of the file", "NS_ :\n\tCM_\n", 1},
      {"a string that never ends", std::string(kMessage1) + "BA_ \"x\" BO_ 1 \"open\n\nBO_ 2 Two: 8 X\n", 4},

      // -- nodes
      {"node names on following indented lines", "BU_:\n\tA\n\tB C\n\nBO_ 1 M: 8 b\n\n", 0,
       [](const CDbBase& db) {
         EXPECT_EQ(Names(db.Nodes()), (std::vector<std::string>{"A", "B", "C"}));
         EXPECT_EQ(db.Messages()[0].TransmitterNode(), db.FindNode("B"));
         EXPECT_EQ(Names(db.FindNode("b")->Messages()), std::vector<std::string>{"M"});
       }},
      {"node list ends at a line that is not indented", "BU_: A\nBO_ 1 M: 8 A\n\n", 0,
       [](const CDbBase& db) {
         EXPECT_EQ(Names(db.Nodes()), std::vector<std::string>{"A"});
         EXPECT_EQ(db.Messages().Count(), 1u);
       }},
      {"receivers the database lists",
       "BU_: A B\n\nBO_ 1 M: 8 A\n SG_ s : 0|8@1+ (1,0) [0|0] \"\" a,Vector__XXX,B\n", 0,
       [](const CDbBase& db) {
         EXPECT_EQ(Names(Sig(db, 1, "s").Receivers()), (std::vector<std::string>{"A", "B"}));
       }},
      {"a receiver that is no name", "BU_: A\n\nBO_ 1 M: 8 A\n SG_ s : 0|8@1+ (1,0) [0|0] \"\" A,5\n", 4},

      // -- comments, value texts, value types
      {"comments",
       "BU_: A\n\n" + std::string(kMessage1) +
           "BO_ 1 Another: 8 A\n\nCM_ \"db\";\nCM_ BU_ a \"node\";\nCM_ BO_ 1 \"msg\";\n"
           "CM_ SG_ 1 S \"sig\";\nCM_ EV_ e \"ev\";\nCM_ BO_ 9 \"no such message\";\n",
       0,
       [](const CDbBase& db) {
         EXPECT_EQ(db.Comment(), "db");
         EXPECT_EQ(db.FindNode("A")->Comment(), "node");
         EXPECT_EQ(db.Messages()[0].Name(), "Another");  // the first message with id 1 by name
         EXPECT_EQ(db.Messages()[0].Comment(), "msg");
         EXPECT_EQ(db.Messages()[1].Comment(), "");
         EXPECT_EQ(db.Messages()[1].Signals()[0].Comment(), "");
       }},
      {"a comment of an unknown kind", std::string(kMessage1) + "CM_ XX_ 1 \"?\";\n", 4},
      {"value texts",
       std::string(kMessage1) + "VAL_ 1 s -5 \"minus five\" 0 \"zero\" 4294967297 \"wraps to one\" ;\n"
                                "VAL_ 1 missing 0 \"nobody\" ;\n",
       0,
       [](const CDbBase& db) {
         const auto& values = Sig(db, 1, "s").Values();
         ASSERT_EQ(values.Count(), 3u);
         EXPECT_EQ(values[0].Value(), -5);
         EXPECT_EQ(values[0].Text(), "minus five");
         EXPECT_EQ(values[2].Value(), 1);
       }},
      {"a value text without its text", std::string(kMessage1) + "VAL_ 1 s 0 ;\n", 4},
      {"value types",
       "BO_ 1 A: 8 X\n SG_ i : 0|32@1+ (1,0) [0|0] \"\" X\n SG_ f : 32|32@1+ (1,0) [0|0] \"\" X\n\n"
       "BO_ 2 B: 8 X\n SG_ d : 0|64@1- (1,0) [0|0] \"\" X\n\n"
       "SIG_VALTYPE_ 1 i : 0;\nSIG_VALTYPE_ 1 f : 1;\nSIG_VALTYPE_ 2 d : 2;\n",
       0,
       [](const CDbBase& db) {
         EXPECT_FALSE(Sig(db, 1, "i").IsFloat());
         EXPECT_TRUE(Sig(db, 1, "f").IsFloat());
         EXPECT_EQ(Sig(db, 2, "d").Flags(), kSigFloat | kSigSigned);
       }},
      {"a value type without ';'", std::string(kMessage1) + "SIG_VALTYPE_ 1 s : 1\n", 4},

      // -- a failed signal is dropped, what came before stays
      {"what was read before an error stays",
       "BO_ 2 B: 8 X\n\nBO_ 1 A: 8 X\n SG_ good : 0|8@1+ (1,0) [0|0] \"\" X\n SG_ bad : 8|8@1+ (1 0) [0|0] \"\" X\n",
       5,
       [](const CDbBase& db) {
         EXPECT_EQ(Names(db.Messages()), (std::vector<std::string>{"A", "B"}));
         EXPECT_EQ(Names(db.Messages()[0].Signals()), std::vector<std::string>{"good"});
       }},
  };
  return cases;
}

void RunCases() {
  TempDir dir;
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File("case.dbc");
    testsupport::WriteFileBytes(path, c.text);
    CDbBase db;
    const bool ok = db.ReadDbcFile(path);
    EXPECT_EQ(ok, c.failLine == 0) << "line " << db.LastError().line << ": " << db.LastError().reason;
    EXPECT_EQ(db.LastError().line, c.failLine);
    EXPECT_EQ(db.LastError().failure, ok ? DbcFailure::kNone : DbcFailure::kSyntax);
    if (c.check) c.check(db);
  }
}

TEST(DbcReader, Cases) { RunCases(); }

// A German locale with Latin-1 letters, built into a folder of its own where
// the system has none (needs localedef and the locale sources).
class GermanLocale {
 public:
  GermanLocale() {
    if (std::setlocale(LC_ALL, "de_DE") || std::setlocale(LC_ALL, "de_DE.ISO-8859-1")) {
      m_active = true;
      return;
    }
    const std::string command =
        "localedef -i de_DE -f ISO-8859-1 " + m_dir.File("de_DE") + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) > 1) return;  // 1: warnings only
    setenv("LOCPATH", m_dir.Path().c_str(), 1);
    m_active = std::setlocale(LC_ALL, "de_DE") != nullptr;
  }
  ~GermanLocale() {
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
  }
  bool Active() const { return m_active; }

 private:
  TempDir m_dir;
  bool m_active = false;
};

TEST(DbcReader, CasesUnderGermanLocale) {
  GermanLocale german;
  if (!german.Active()) GTEST_SKIP() << "no German locale available (package locales)";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  ASSERT_TRUE(std::isalpha(0xE4));
  RunCases();
}

// ---- steps of the reader

TEST(DbcReader, MuxValues) {
  const struct {
    const char* text;
    std::optional<int32_t> value;
  } cases[] = {{"m0", 0},       {"m12", 12},  {"m0x1f", 31},       {"m0X10", 16},      {"m017", 15},
               {"m", {}},       {"m0x", {}},  {"m08", {}},         {"mx", {}},         {"M3", {}},
               {"m3M", {}},     {"m-1", {}},  {"m2147483647", INT32_MAX}, {"m2147483648", {}}};
  for (const auto& c : cases) EXPECT_EQ(ParseMuxValue(c.text), c.value) << c.text;
}

TEST(DbcReader, MotorolaStartBits) {
  const struct {
    int32_t start, length, want;
    bool spans;
  } cases[] = {{7, 16, 0, true},  {5, 2, 4, false}, {7, 8, 0, false}, {0, 1, 0, false},
               {0, 12, 5, true},  {5, 12, 2, true}, {6, 6, 1, false}, {63, 64, 56, true},
               {0, 64, 1, true},  {511, 64, 504, true}};
  for (const auto& c : cases) {
    const MotorolaLayout layout = MotorolaStartBit(c.start, c.length);
    EXPECT_EQ(layout.startBit, c.want) << c.start << "|" << c.length;
    EXPECT_EQ(layout.spansBytes, c.spans) << c.start << "|" << c.length;
  }
}

// ---- reading files

TEST(DbcReader, ReadsAPathOnceAndRereadsAfterAnother) {
  TempDir dir;
  const std::string a = dir.File("a.dbc"), b = dir.File("b.dbc");
  testsupport::WriteFileBytes(a, kMessage1);
  testsupport::WriteFileBytes(b, "BU_: N\n\nBO_ 2 Two: 8 N\n\n");
  CDbBase db;
  ASSERT_TRUE(db.ReadDbcFile(a));
  EXPECT_EQ(db.LoadedPath(), a);

  unlink(a.c_str());
  EXPECT_TRUE(db.ReadDbcFile(a));  // already loaded: not read again
  EXPECT_EQ(Names(db.Messages()), std::vector<std::string>{"One"});

  ASSERT_TRUE(db.ReadDbcFile(b));  // another file replaces the content
  EXPECT_EQ(Names(db.Messages()), std::vector<std::string>{"Two"});
  EXPECT_EQ(Names(db.Nodes()), std::vector<std::string>{"N"});
  EXPECT_EQ(db.FindMessageById(1), nullptr);

  EXPECT_FALSE(db.ReadDbcFile(a));  // gone now
  EXPECT_EQ(db.LastError().failure, DbcFailure::kCannotOpen);
  EXPECT_EQ(db.LoadedPath(), "");
  EXPECT_EQ(db.FileName(), b);
  EXPECT_TRUE(db.ReadDbcFile());  // an empty path reads the stored file name
  EXPECT_EQ(db.LoadedPath(), b);
}

TEST(DbcReader, RefusesWhatIsNoDatabaseFile) {
  TempDir dir;
  CDbBase db;
  const std::string fifo = dir.File("pipe.dbc");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {dir.Path(), fifo, std::string("/dev/null")}) {
    EXPECT_FALSE(db.ReadDbcFile(path)) << path;
    EXPECT_EQ(db.LastError().failure, DbcFailure::kNotRegularFile) << path;
  }

  // A file of 64 MiB and one byte (sparse) is refused before it is read.
  const std::string big = dir.File("big.dbc");
  testsupport::WriteFileBytes(big, kMessage1);
  ASSERT_EQ(truncate(big.c_str(), CDbBase::kMaxFileSize + 1), 0);
  EXPECT_FALSE(db.ReadDbcFile(big));
  EXPECT_EQ(db.LastError().failure, DbcFailure::kTooLarge);

  EXPECT_FALSE(db.ReadDbcFile(""));  // no path and none stored
  EXPECT_EQ(db.LastError().failure, DbcFailure::kCannotOpen);
}

// ---- the model

TEST(CanDatabase, AddMessageSortedKeepsEqualNamesInOrder) {
  CDbBase db;
  db.AddMessageSorted(std::make_unique<CanMsg>("b", 1, 8));
  db.AddMessageSorted(std::make_unique<CanMsg>("a", 2, 8));
  db.AddMessageSorted(std::make_unique<CanMsg>("b", 3, 8));
  db.AddMessageSorted(std::make_unique<CanMsg>("B", 4, 8));
  db.AddMessageSorted(std::make_unique<CanMsg>("a", 2, 4));
  std::vector<std::pair<std::string, int>> order;
  for (const CanMsg& m : db.Messages()) order.emplace_back(m.Name(), m.Id());
  EXPECT_EQ(order, (std::vector<std::pair<std::string, int>>{{"B", 4}, {"a", 2}, {"a", 2}, {"b", 1}, {"b", 3}}));
  EXPECT_EQ(db.FindMessageById(2)->Dlc(), 8);  // the first of the two in list order

  CanMsg msg("m", 5, 8);
  for (int start : {16, 0, 8, 0}) {
    auto sig = std::make_unique<CanSig>("s" + std::to_string(start) + "_" + std::to_string(msg.Signals().Count()));
    sig->SetLayout(start, 8);
    msg.AddSignal(std::move(sig));
  }
  EXPECT_EQ(Names(msg.Signals()), (std::vector<std::string>{"s0_1", "s0_3", "s8_2", "s16_0"}));
  EXPECT_EQ(msg.FindSignal("S8_2"), &msg.Signals()[2]);
}

struct RecordingTree : ITreeControl {
  std::vector<std::pair<std::string, Item>> items;  // text, parent
  Item InsertItem(std::string_view text, Item parent) override {
    items.emplace_back(std::string(text), parent);
    return items.size();
  }
};

TEST(CanDatabase, FillTreeListsMessagesWithSignals) {
  TempDir dir;
  const std::string path = dir.File("t.dbc");
  testsupport::WriteFileBytes(path,
                              "BO_ 2 Empty: 8 X\n\nBO_ 1 Msg: 8 X\n SG_ b : 8|8@1+ (1,0) [0|0] \"\" X\n"
                              " SG_ a : 0|8@1+ (1,0) [0|0] \"\" X\n\nBO_ 3 Zed: 8 X\n"
                              " SG_ z : 0|8@1+ (1,0) [0|0] \"\" X\n");
  CDbBase db;
  ASSERT_TRUE(db.ReadDbcFile(path));
  RecordingTree tree;
  EXPECT_EQ(db.FillTree(tree, 7), 4u);
  const std::vector<std::pair<std::string, ITreeControl::Item>> want = {
      {"Msg", 7}, {"a", 1}, {"b", 1}, {"Zed", 7}, {"z", 4}};
  EXPECT_EQ(tree.items, want);

  CDbBase empty;
  RecordingTree none;
  EXPECT_EQ(empty.FillTree(none, 0), 0u);
  EXPECT_TRUE(none.items.empty());
}

}  // namespace
