// Dialogs from resource tables, run by the headless backend.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/ui/dialog.h"
#include "platform/ui/headless.h"

using namespace winport::ui;

namespace {

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Headless().SetFailureHandler([this](const std::string& f) { reported.push_back(f); });
  }
  void TearDown() override { Headless().SetFailureHandler(nullptr); }
  std::vector<std::string> reported;
};

// A name field, a check box, a list and a button that adds the name to the list.
class NameDialog : public CDialog {
 public:
  static DialogTemplate Resource() {
    DialogTemplate t;
    t.id = 300;
    t.caption = "Namen";
    t.cx = 200;
    t.cy = 100;
    t.controls = {LText(IDC_STATIC, "Name", 7, 7, 40, 8), EditText(301, 50, 6, 100, 12),
                  CheckBox(302, "Gro\xDF", 7, 24, 60, 10), ListBox(303, 7, 40, 100, 50),
                  PushButton(304, "&Neu", 150, 40, 44, 14), DefPushButton(IDOK, "OK", 150, 60, 44, 14),
                  PushButton(IDCANCEL, "Abbrechen", 150, 78, 44, 14)};
    return t;
  }
  NameDialog() : CDialog(Resource()) {}

  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    AddString(303, "erster");
    EnableDlgItem(304, !name.empty());
    return TRUE;
  }
  BOOL OnCommand(int id, UINT code) override {
    if (id == 304 && code == BN_CLICKED) {
      AddString(303, GetDlgItemText(301));
      return TRUE;
    }
    if (id == 301 && code == EN_CHANGE) EnableDlgItem(304, !GetDlgItemText(301).empty());
    return CDialog::OnCommand(id, code);
  }
  void OnOK() override {
    for (int i = 0; i < GetCount(303); ++i) entries.push_back(GetItemText(303, i));
    CDialog::OnOK();
  }
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Text(dx, 301, name);
    DDX_Check(dx, 302, large);
  }

  std::string name = "Anna";
  int large = 1;
  std::vector<std::string> entries;
};

TEST(DialogUnits, ScaleByTheFontsBaseUnitsAsWindowsRounds) {
  EXPECT_EQ(MulDiv(7, 6, 4), 11);    // 10.5 rounds away from zero
  EXPECT_EQ(MulDiv(-7, 6, 4), -11);
  EXPECT_EQ(MulDiv(5, 13, 8), 8);    // 8.125
  EXPECT_EQ(MulDiv(1, 2, 0), -1);
  EXPECT_EQ(AverageCharWidth(312), 6);  // 52 letters of 6 px: (12 + 1) / 2
  EXPECT_EQ(AverageCharWidth(338), 7);  // 13 px per pair: (13 + 1) / 2
  const RECT r = MapDialogUnits(RECT{40, 10, 159, 18}, 6, 13);
  EXPECT_EQ(r.left, 60);
  EXPECT_EQ(r.top, 16);   // 16.25
  EXPECT_EQ(r.right, 239);  // 238.5
  EXPECT_EQ(r.bottom, 29);  // 29.25
  // The dialog manager converts place and size on their own.
  const RECT c = PlaceControl(41, 10, 7, 8, 6, 13);
  EXPECT_EQ(c.left, 62);        // 61.5
  EXPECT_EQ(c.right, 62 + 11);  // 10.5 -> 11, where MapDialogRect's right would be 72
}

TEST_F(DialogTest, ScriptedActionsRunTheDialogsHandlersAndOkSavesTheFields) {
  ScriptedAnswers script;
  ExpectedDialog e;
  e.text = "Namen";
  e.dialogId = 300;
  e.actions = {DialogAction::Text(301, "Bert"), DialogAction::Press(304), DialogAction::Check(302, BST_UNCHECKED)};
  script.Dialog(e);
  NameDialog dlg;
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.name, "Bert");
  EXPECT_EQ(dlg.large, 0);
  EXPECT_EQ(dlg.entries, (std::vector<std::string>{"erster", "Bert"}));
  EXPECT_FALSE(dlg.HasWindow());
  EXPECT_TRUE(script.Ok()) << script.Report();
  const std::vector<DialogRecord> log = script.Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].kind, DialogKind::Dialog);
  EXPECT_EQ(log[0].dialogId, 300);
  EXPECT_EQ(log[0].result, IDOK);
  // The texts as OnInitDialog left them: the member went into the edit.
  ASSERT_EQ(log[0].controls.size(), 7u);
  EXPECT_EQ(log[0].controls[1], std::make_pair(301, std::string("Anna")));
  EXPECT_EQ(log[0].controls[2].second, "Gro\xDF");
}

TEST_F(DialogTest, CancelKeepsTheMembers) {
  ScriptedAnswers script;
  ExpectedDialog e;
  e.text = "Namen";
  e.actions = {DialogAction::Text(301, "Bert")};
  e.answer = IDCANCEL;
  script.Dialog(e);
  NameDialog dlg;
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.name, "Anna");
  EXPECT_TRUE(script.Ok()) << script.Report();
}

TEST_F(DialogTest, UnexpectedOrStuckDialogsFailAndEndAsCancelled) {
  {
    ScriptedAnswers script;
    NameDialog dlg;
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_NE(reported[0].find("unexpected dialog \"Namen\""), std::string::npos) << reported[0];
  }
  reported.clear();
  {
    ScriptedAnswers script;
    NameDialog dlg;
    dlg.name.clear();  // "&Neu" starts disabled
    script.Dialog("Namen", 304);
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_NE(reported[0].find("is disabled"), std::string::npos) << reported[0];
    EXPECT_NE(reported[1].find("stayed open"), std::string::npos) << reported[1];
  }
  reported.clear();
  {
    ScriptedAnswers script;
    ExpectedDialog e;
    e.text = "Namen";
    e.dialogId = 301;
    script.Dialog(e);
    NameDialog dlg;
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    ASSERT_FALSE(reported.empty());
    EXPECT_NE(reported[0].find("with id 300 instead of 301"), std::string::npos) << reported[0];
  }
}

TEST_F(DialogTest, ModelessWindowIsLoggedAndLivesUntilDestroyed) {
  ScriptedAnswers script;
  NameDialog dlg;
  ASSERT_TRUE(dlg.Create());
  const HWND button = dlg.GetDlgItem(304);
  EXPECT_TRUE(IsChild(dlg.GetSafeHwnd(), button));
  EXPECT_EQ(dlg.GetDlgItemText(301), "Anna");
  ASSERT_TRUE(PostMessageA(button, WM_LBUTTONDOWN, 0, 0));
  EXPECT_FALSE(dlg.Create());  // one window at a time
  EXPECT_TRUE(dlg.DestroyWindow());
  EXPECT_FALSE(IsWindow(button));
  MSG m;
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));  // its messages went with it
  const std::vector<DialogRecord> log = script.Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(log[0].modeless);
  EXPECT_TRUE(script.Ok()) << script.Report();
}

}  // namespace

namespace {

// An owner-drawn button beside a plain one; it paints a frame and an opaque label.
class SwatchDialog : public CDialog {
 public:
  static DialogTemplate Resource() {
    DialogTemplate t;
    t.cx = 100;
    t.cy = 40;
    t.controls = {Control(310, "", kButtonClass, WS_VISIBLE | BS_OWNERDRAW, 4, 4, 40, 10),
                  PushButton(IDCANCEL, "Abbrechen", 50, 4, 44, 14)};
    return t;
  }
  SwatchDialog() : CDialog(Resource()) {}
  BOOL OnDrawItem(int id, DRAWITEMSTRUCT* item) override {
    ++draws;
    if (id != 310 || item->CtlType != ODT_BUTTON || !(item->itemAction & ODA_DRAWENTIRE)) return FALSE;
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    FillRect(item->hDC, &item->rcItem, brush);
    DeleteObject(brush);
    SetBkColor(item->hDC, RGB(9, 9, 9));
    SetTextColor(item->hDC, RGB(7, 7, 7));
    const RECT clip{0, 0, 10, 100};
    ExtTextOutA(item->hDC, 6, 1, ETO_CLIPPED, &clip, "ab", 2, nullptr);
    return TRUE;
  }
  int draws = 0;
};

}  // namespace

// Owner-drawn controls are painted when shown and again when invalidated;
// an opaque text fills its cell, clipped, before it is drawn.
TEST_F(DialogTest, OwnerDrawnControlsArePaintedWhenShownAndWhenInvalidated) {
  Headless().Reset();
  SwatchDialog dlg;
  ASSERT_TRUE(dlg.Create());
  auto paints = Headless().Paints();
  ASSERT_EQ(paints.size(), 1u);
  const PaintRecord& p = paints[0];
  EXPECT_EQ(p.control, 310);
  EXPECT_EQ(p.window, dlg.GetDlgItem(310));
  EXPECT_EQ(std::tie(p.client.right, p.client.bottom), std::make_tuple(LONG{60}, LONG{16}));
  ASSERT_EQ(p.ops.size(), 3u);
  EXPECT_EQ(p.ops[0].kind, PaintOp::Kind::Fill);
  EXPECT_EQ(std::tie(p.ops[0].rect.right, p.ops[0].rect.bottom, p.ops[0].colour),
            std::make_tuple(LONG{60}, LONG{16}, RGB(1, 2, 3)));
  // The label's cell (two characters of 6 by 13 pixels at 6, 1) cut at the clip's right edge.
  EXPECT_EQ(p.ops[1].kind, PaintOp::Kind::Fill);
  EXPECT_EQ(std::tie(p.ops[1].rect.left, p.ops[1].rect.top, p.ops[1].rect.right, p.ops[1].rect.bottom, p.ops[1].colour),
            std::make_tuple(LONG{6}, LONG{1}, LONG{10}, LONG{14}, RGB(9, 9, 9)));
  EXPECT_EQ(p.ops[2].kind, PaintOp::Kind::Text);
  EXPECT_EQ(p.ops[2].text, "ab");
  EXPECT_EQ(p.ops[2].colour, RGB(7, 7, 7));
  ASSERT_TRUE(p.ops[2].clip.has_value());
  EXPECT_EQ(p.ops[2].clip->right, 10);

  EXPECT_TRUE(InvalidateRect(dlg.GetDlgItem(310), nullptr, FALSE));
  EXPECT_EQ(Headless().Paints().size(), 2u);
  // A plain button is drawn by its backend, not by its dialog.
  EXPECT_TRUE(InvalidateRect(dlg.GetDlgItem(IDCANCEL), nullptr, FALSE));
  EXPECT_EQ(Headless().Paints().size(), 2u);
  EXPECT_EQ(dlg.draws, 2);
  EXPECT_FALSE(InvalidateRect(dlg.GetSafeHwnd(), nullptr, FALSE));
  dlg.DestroyWindow();
  Headless().Reset();
}

// The paints go to the backend that shows the dialog; one told to keep none
// (the host's, which draws progress its own way) keeps none.
TEST_F(DialogTest, PaintsAreKeptByTheBackendThatShowsTheDialog) {
  Headless().Reset();
  for (const bool keep : {true, false}) {
    HeadlessBackend own;
    own.KeepPaints(keep);
    SetBackend(&own);
    SwatchDialog dlg;
    ASSERT_TRUE(dlg.Create());
    EXPECT_TRUE(InvalidateRect(dlg.GetDlgItem(310), nullptr, FALSE));
    EXPECT_EQ(dlg.draws, 2);
    EXPECT_EQ(own.Paints().size(), keep ? 2u : 0u);
    dlg.DestroyWindow();
    SetBackend(nullptr);
  }
  EXPECT_TRUE(Headless().Paints().empty());
}
