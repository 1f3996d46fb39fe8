// The CAN database choice, headless: tabs per CAN channel, the path lists the
// caller gets back, and the settings file it saves and loads.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <map>
#include <optional>

#include "mdf/format.h"
#include "pellor/dialogs/can_dlg.h"
#include "pellor/dialogs/resource.h"
#include "platform/ui/headless.h"
#include "platform/win32/profile.h"
#include "platform/win32/registry.h"
#include "tests/support/temp_dir.h"

using namespace winport::ui;
using testsupport::TempDir;
using Lists = std::vector<std::vector<std::string>>;

namespace {

class CanDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winport::SetRegistryPath(dir.File("registry"));
    for (const char* name : {"a", "b", "c", "d"}) testsupport::WriteFileBytes(Db(name), "VERSION \"\"\n");
    counts[0] = 12;
    counts[3] = 5;
  }
  void TearDown() override { winport::SetRegistryPath(""); }

  std::string Db(const std::string& name) const { return dir.File(name + ".dbc"); }
  std::string Ini() const { return dir.File("can.ini"); }

  // Runs the dialog with the actions, answering its file dialogs in order; its result.
  int Run(Lists& lists, std::vector<DialogAction> actions, std::vector<std::optional<std::string>> files = {},
          int answer = IDOK) {
    ScriptedAnswers script;
    ExpectedDialog e;
    e.text = "CAN Database";
    e.dialogId = IDD_CAN_DATABASE;
    e.actions = std::move(actions);
    e.answer = answer;
    script.Dialog(e);
    for (const std::optional<std::string>& f : files) script.FileDialog(f);
    CCANDlg dialog(counts, lists);
    const int result = static_cast<int>(dialog.DoModal());
    EXPECT_TRUE(script.Ok()) << script.Report();
    log = script.Log();
    lastDirectory = dialog.GetLastDirectory();
    return result;
  }

  // A section's entries ("key=value") in the settings file.
  std::vector<std::string> Section(const std::string& name) const {
    std::vector<char> buffer(1 << 16);
    GetPrivateProfileSectionA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()), Ini().c_str());
    std::vector<std::string> entries;
    for (const char* p = buffer.data(); *p; p += strlen(p) + 1) entries.emplace_back(p);
    return entries;
  }

  TempDir dir;
  std::array<int32_t, kCanChannels> counts{};
  std::vector<DialogRecord> log;
  std::string lastDirectory;
};

DialogAction Add() { return DialogAction::Press(IDC_CAN_ADD); }
DialogAction Save() { return DialogAction::Press(IDC_CAN_SAVE); }
DialogAction Load() { return DialogAction::Press(IDC_CAN_LOAD); }
DialogAction Tab(int n) { return DialogAction::Select(IDC_CAN_TABS, n); }

TEST_F(CanDlgTest, OneTabPerChannelWithIds) {
  Lists lists;
  ASSERT_EQ(Run(lists, {}), IDOK);
  ASSERT_EQ(log.size(), 1u);
  // The tabs' texts are not in the controls' log; the caller's lists are one per tab.
  EXPECT_EQ(lists.size(), 2u);
  Lists more{{"x"}, {"y"}, {"z"}};  // a list more than the tabs is left alone
  ASSERT_EQ(Run(more, {DialogAction::Call([](CDialog& d) {
                  EXPECT_EQ(d.GetCount(IDC_CAN_TABS), 2);
                  EXPECT_EQ(d.GetItemText(IDC_CAN_TABS, 0), "CAN 0 (12)");
                  EXPECT_EQ(d.GetItemText(IDC_CAN_TABS, 1), "CAN 3 (5)");
                  EXPECT_EQ(d.GetCurSel(IDC_CAN_DATABASES), 0);  // the first path is selected
                })}),
            IDOK);
  EXPECT_EQ(more, (Lists{{"x"}, {"y"}, {"z"}}));
}

TEST_F(CanDlgTest, EditingSavingAndLoadingTheSettingsFile) {
  struct Case {
    const char* what;
    std::string iniBefore;
    Lists given;
    std::vector<DialogAction> actions;
    std::vector<std::optional<std::string>> files;
    Lists after;
    std::map<std::string, std::vector<std::string>> sections;
  };
  const std::string a = Db("a"), b = Db("b"), c = Db("c"), d = Db("d");
  const Case cases[] = {
      {"tab 1 belongs to channel 3", "", {}, {Tab(1), Add(), Save()}, {a, Ini()}, {{}, {a}},
       {{"CAN0", {}}, {"CAN3", {"DB1=" + a}}}},
      {"a path added and OK reaches the caller", "", {}, {Add()}, {a}, {{a}, {}}, {}},
      {"saving after adding writes the path", "", {{b}}, {Add(), Save()}, {a, Ini()}, {{b, a}, {}},
       {{"CAN0", {"DB1=" + b, "DB2=" + a}}}},
      {"saving two paths over three leaves no third; other sections stay",
       "[CAN0]\nDB1=" + a + "\nDB2=" + b + "\nDB3=" + c + "\n[CAN7]\nDB1=" + d + "\n[Other]\nx=1\n",
       {{a, b}, {}}, {Save(), Load()}, {Ini(), Ini()}, {{a, b}, {}},
       {{"CAN0", {"DB1=" + a, "DB2=" + b}}, {"CAN7", {"DB1=" + d}}, {"Other", {"x=1"}}}},
      {"loading keeps readable files only and skips entries without '='",
       "[CAN3]\nDB1=" + a + "\nDB2=" + dir.File("gone.dbc") + "\nDB3=" + dir.Path() + "\nnothing\nDB4=\nDB5=" + b + "\n",
       {{c}, {d}}, {Load()}, {Ini()}, {{}, {a, b}}, {}},
      {"a cancelled file dialog changes nothing", "", {{a}}, {Add(), Load(), Save()},
       {std::nullopt, std::nullopt, std::nullopt}, {{a}, {}}, {}},
      {"loading a file that cannot be read changes nothing", "", {{a}, {b}}, {Load()}, {dir.File("none.ini")},
       {{a}, {b}}, {}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    std::filesystem::remove(Ini());
    if (!k.iniBefore.empty()) testsupport::WriteFileBytes(Ini(), k.iniBefore);
    Lists lists = k.given;
    EXPECT_EQ(Run(lists, k.actions, k.files), IDOK);
    EXPECT_EQ(lists, k.after);
    for (const auto& [section, entries] : k.sections) EXPECT_EQ(Section(section), entries) << section;
  }
}

TEST_F(CanDlgTest, LoadingWhileAnotherTabShowsKeepsEveryList) {
  testsupport::WriteFileBytes(Ini(), "[CAN0]\nDB1=" + Db("c") + "\n[CAN3]\nDB1=" + Db("d") + "\n");
  Lists lists{{Db("a")}, {Db("b")}};
  ASSERT_EQ(Run(lists, {Tab(1), Load(),
                        DialogAction::Call([](CDialog& dlg) {
                          EXPECT_EQ(static_cast<CCANDlg&>(dlg).GetShownTab(), 0);
                          EXPECT_EQ(dlg.GetCurSel(IDC_CAN_TABS), 0);
                        }),
                        Tab(1), Tab(0)},
                {Ini()}),
            IDOK);
  EXPECT_EQ(lists, (Lists{{Db("c")}, {Db("d")}}));
}

TEST_F(CanDlgTest, LoadingReadsWholeSections) {
  // Far more than 5,200 bytes of paths in one section.
  std::string ini = "[CAN3]\n";
  std::vector<std::string> paths;
  for (int i = 0; i < 80; ++i) {
    paths.push_back(dir.File(std::string(90, 'p') + std::to_string(i) + ".dbc"));
    testsupport::WriteFileBytes(paths.back(), "");
    ini += "DB" + std::to_string(i + 1) + "=" + paths.back() + "\n";
  }
  testsupport::WriteFileBytes(Ini(), ini);
  ASSERT_GT(ini.size(), 7000u);
  Lists lists;
  ASSERT_EQ(Run(lists, {Load()}, {Ini()}), IDOK);
  ASSERT_EQ(lists.size(), 2u);
  EXPECT_EQ(lists[1], paths);
}

TEST_F(CanDlgTest, DeletingNeedsASelectionAndCancelKeepsTheLists) {
  Lists lists{{Db("a"), Db("b")}};
  ASSERT_EQ(Run(lists, {DialogAction::Select(IDC_CAN_DATABASES, -1), DialogAction::Press(IDC_CAN_DELETE)}), IDOK);
  EXPECT_EQ(lists[0], (std::vector<std::string>{Db("a"), Db("b")}));
  ASSERT_EQ(Run(lists, {DialogAction::Select(IDC_CAN_DATABASES, 1), DialogAction::Press(IDC_CAN_DELETE)}), IDOK);
  EXPECT_EQ(lists[0], std::vector<std::string>{Db("a")});
  ASSERT_EQ(Run(lists, {Add(), DialogAction::Press(IDC_CAN_DELETE)}, {Db("c")}, IDCANCEL), IDCANCEL);
  EXPECT_EQ(lists, (Lists{{Db("a")}, {}}));
}

TEST_F(CanDlgTest, FileDialogsOpenInTheLastFolderAndTheWorkingDirectoryStays) {
  std::filesystem::create_directories(dir.File("sub"));
  const std::string inSub = dir.File("sub") + "/e.dbc";
  testsupport::WriteFileBytes(inSub, "");
  char before[4096];
  ASSERT_NE(getcwd(before, sizeof before), nullptr);
  Lists lists;
  ASSERT_EQ(Run(lists, {Add(), Add(), Add()}, {inSub, std::nullopt, Db("a")}), IDOK);
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[1].initialDir, "");
  EXPECT_EQ(log[2].initialDir, dir.File("sub"));
  EXPECT_EQ(log[3].initialDir, dir.File("sub"));  // a cancelled dialog leaves the folder
  EXPECT_EQ(log[1].defaultExt, "dbc");
  EXPECT_EQ(log[1].filter, "CAN DBs (*.dbc)|*.dbc||");
  EXPECT_EQ(log[1].flags, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
  EXPECT_EQ(lastDirectory, dir.Path());
  EXPECT_EQ(lists[0], (std::vector<std::string>{inSub, Db("a")}));
  char after[4096];
  ASSERT_NE(getcwd(after, sizeof after), nullptr);
  EXPECT_STREQ(before, after);
}

TEST_F(CanDlgTest, WithoutChannelsNothingIsTakenOverOrSaved) {
  counts = {};
  Lists lists;
  ASSERT_EQ(Run(lists, {Add(), Tab(-1), Save()}, {Db("a"), Ini()}), IDOK);
  EXPECT_TRUE(lists.empty());
  EXPECT_FALSE(std::filesystem::exists(Ini()));
}

}  // namespace
