// The dialog, menu and string resources against the layout tables they were drawn from. The
// repeated rows are generated here from their row formulas, the rest is written out.
#include "Templates.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using K = ControlKind;
namespace S = ControlStyle;

constexpr unsigned kEditR = S::Right | S::AutoHScroll | S::Border | S::TabStop;
constexpr unsigned kEditL = S::Left | S::AutoHScroll | S::Border | S::TabStop;
constexpr unsigned kModal = DialogStyle::Caption | DialogStyle::SysMenu | DialogStyle::ModalFrame;

struct Ctl {
  int nID;
  K kind;
  std::string strText;
  int x, y, cx, cy;
  unsigned nStyle;
};

struct Dlg {
  UINT nID;
  std::string strCaption;
  int cx, cy;
  unsigned nStyle;
  std::vector<Ctl> controls;
};

std::string N(const char* lpszPrefix, int n, const char* lpszSuffix = "") {
  return lpszPrefix + std::to_string(n) + lpszSuffix;
}

// A label (right-aligned) followed by its value static holding "Static".
void AddRow(std::vector<Ctl>& v, const std::string& strLabel, int xLabel, int cxLabel, int nValueID,
            int xValue, int cxValue, int y) {
  v.push_back({-1, K::Static, strLabel, xLabel, y, cxLabel, 8, S::Right});
  v.push_back({nValueID, K::Static, "Static", xValue, y, cxValue, 8, S::Left});
}

std::vector<Dlg> ExpectedDialogs() {
  std::vector<Dlg> all;

  Dlg panel{102,
            "PC <---> Coin acceptor...",
            200,
            300,
            kModal | DialogStyle::MinimizeBox | DialogStyle::AppWindow | DialogStyle::Visible,
            {}};
  for (int i = 0; i < 10; ++i)
    panel.controls.push_back({1011 + i, K::PushButton, N("Product Selection #", i + 1), 80,
                              77 + 20 * i, 100, 12, S::TabStop});
  panel.controls.push_back({1021, K::PushButton, "Change Return", 99, 26, 80, 12, S::TabStop});
  panel.controls.push_back({-1, K::GroupBox, "Payment Sytem", 3, 0, 194, 53, S::Center});
  panel.controls.push_back({1000, K::Edit, "", 19, 26, 50, 12, S::Right | S::Border | S::TabStop});
  for (int i = 0; i < 10; ++i)
    panel.controls.push_back({1001 + i, K::Edit, "", 20, 77 + 20 * i, 40, 12, kEditR});
  panel.controls.push_back({-1, K::GroupBox, "Vending Machine Selections", 3, 48, 194, 249, 0});
  panel.controls.push_back({-1, K::Static, "Credit:", 34, 17, 21, 8, S::Left});
  panel.controls.push_back(
      {-1, K::Static, "Sample Application by Tessaline AG", 7, 285, 186, 8, S::Center});
  panel.controls.push_back({-1, K::Static, "Prices:", 31, 67, 22, 8, S::Left});
  all.push_back(panel);

  Dlg prices{131,
             "Edit Product Prices...",
             150,
             199,
             kModal,
             {{1, K::DefPushButton, "OK", 22, 178, 50, 14, S::TabStop},
              {2, K::PushButton, "Cancel", 76, 178, 50, 14, S::TabStop},
              {-1, K::GroupBox, "", 3, 0, 144, 197, 0}}};
  for (int i = 0; i < 10; ++i) {
    prices.controls.push_back({1001 + i, K::Edit, "", 98, 11 + 16 * i, 40, 12, kEditR});
    prices.controls.push_back(
        {-1, K::Static, N("Product Price #", i + 1, ":"), 8, 12 + 16 * i, 88, 8, S::Right});
  }
  all.push_back(prices);

  all.push_back(
      {133,
       "Connection settings...",
       200,
       150,
       kModal,
       {{1, K::DefPushButton, "OK", 47, 129, 50, 14, S::TabStop},
        {2, K::PushButton, "Cancel", 101, 129, 50, 14, S::TabStop},
        {-1, K::GroupBox, "", 3, 0, 194, 147, 0},
        {1024, K::Edit, "", 88, 11, 100, 12, kEditL},
        {1025, K::Edit, "", 128, 31, 60, 12, kEditL},
        {1026, K::Edit, "", 148, 51, 40, 12, kEditR},
        {1027, K::Edit, "", 148, 71, 40, 12, kEditR},
        {1028, K::CheckBox, "Automatically connect at startup:", 41, 89, 115, 10,
         S::LeftText | S::TabStop},
        {-1, K::Static, "Connection name:", 7, 13, 77, 8, S::Right},
        {-1, K::Static, "Remote device IP address:", 7, 32, 117, 8, S::Right},
        {-1, K::Static, "Remote device communication port number:", 6, 53, 139, 8, S::Right},
        {-1, K::Static, "Remote device control port number:", 11, 72, 134, 8, S::Right}}});

  all.push_back({134,
                 "About PC <---> Coin Acceptor...",
                 180,
                 150,
                 kModal,
                 {{1, K::DefPushButton, "OK", 64, 129, 50, 14, S::TabStop},
                  {-1, K::GroupBox, "", 3, 0, 174, 147, 0},
                  {-1, K::Icon, "", 9, 9, 20, 20, 0},
                  {1029, K::Static, "Static", 35, 8, 136, 112, S::Center | S::Sunken}}});

  Dlg control{135,
              "Coin Acceptor Control...",
              200,
              281,
              kModal,
              {{1, K::PushButton, "Exit", 74, 260, 50, 14, S::TabStop},
               {-1, K::GroupBox, "", 3, 0, 194, 278, 0}}};
  for (int k = 0; k < 16; ++k)
    control.controls.push_back({1030 + k, K::CheckBox, N("Accept Coin Type ", k + 1), 9, 9 + 10 * k,
                                k < 9 ? 79 : 83, 10, S::TabStop});
  for (int k = 0; k < 15; ++k)
    control.controls.push_back({1046 + k, K::CheckBox, N("Dispense Coin Type ", k + 1), 102,
                                9 + 10 * k, k < 9 ? 85 : 89, 10, S::TabStop});
  for (const Ctl& c : std::vector<Ctl>{
           {1062, K::CheckBox, "Dispense Coin Type 16", 102, 159, 89, 10, S::TabStop},
           {1063, K::PushButton, "Reset", 11, 238, 50, 14, S::TabStop},
           {1064, K::PushButton, "Enable", 74, 238, 50, 14, S::TabStop},
           {1065, K::PushButton, "Disable", 138, 238, 50, 14, S::TabStop},
           {1071, K::CheckBox, "Alternative Payout Method.", 9, 180, 101, 10, S::TabStop},
           {-1, K::GroupBox, "Features  enable:", 3, 170, 194, 62, S::Center},
           {1072, K::CheckBox, "Extended Diagnostic Command Supported.", 9, 192, 151, 10,
            S::TabStop},
           {1073, K::CheckBox, "Controlled Manual Fill and Payout Commands.", 9, 204, 159, 10,
            S::TabStop},
           {1074, K::CheckBox, "File Transport Layer (FTL) supported.", 9, 216, 132, 10,
            S::TabStop}})
    control.controls.push_back(c);
  all.push_back(control);

  const std::vector<Ctl> infoFrame = {{1, K::DefPushButton, "Exit", 74, 229, 50, 14, S::TabStop},
                                      {-1, K::GroupBox, "", 3, 0, 194, 247, 0}};
  Dlg setup{136, "Current acceptor setup...", 200, 250, kModal, infoFrame};
  AddRow(setup.controls, "Changer Feature Level:", 11, 100, 1066, 115, 74, 15);
  AddRow(setup.controls, "Country / Currency Code:", 11, 100, 1067, 115, 74, 25);
  AddRow(setup.controls, "Coin Scaling Factor:", 11, 100, 1068, 115, 74, 35);
  AddRow(setup.controls, "Decimal Places:", 11, 100, 1069, 115, 74, 45);
  const int coinIDs[16] = {1070, 1071, 1072, 1073, 1074, 1075, 1076, 1084,
                           1077, 1078, 1079, 1080, 1081, 1082, 1083, 1085};
  for (int k = 1; k <= 16; ++k)
    AddRow(setup.controls, N("Coin Type ", k, " Credit:"), 11, 85, coinIDs[k - 1], 100, 88,
           60 + 10 * (k - 1));
  all.push_back(setup);

  Dlg ident{137, "Acceptor Identification...", 200, 250, kModal, infoFrame};
  AddRow(ident.controls, "Manufacturer Code:", 10, 90, 1068, 104, 85, 15);
  AddRow(ident.controls, "Serial Number:", 10, 90, 1069, 104, 85, 30);
  AddRow(ident.controls, "Model # / Tuning Revision:", 10, 90, 1070, 104, 85, 45);
  AddRow(ident.controls, "Software Version:", 10, 90, 1071, 104, 85, 60);
  AddRow(ident.controls, "Additional Payout method:", 10, 134, 1072, 148, 40, 75);
  AddRow(ident.controls, "Extended Diagnostic Command:", 10, 134, 1073, 148, 40, 90);
  AddRow(ident.controls, "Controlled Manuall Fill and Payout:", 10, 134, 1074, 148, 40, 104);
  AddRow(ident.controls, "File Transport Layer (FTL):", 10, 134, 1075, 148, 40, 120);
  all.push_back(ident);

  Dlg tubes{138, "Current Tube Status...", 200, 250, kModal, infoFrame};
  for (int k = 1; k <= 16; ++k)
    AddRow(tubes.controls, N("Coin Type ", k, " in Tube:"), 11, 80, 1069 + k, 93, 95,
           12 + 12 * (k - 1));
  all.push_back(tubes);
  return all;
}

class DialogTemplateTest : public ::testing::TestWithParam<Dlg> {};

TEST_P(DialogTemplateTest, MatchesLayoutTable) {
  const Dlg& want = GetParam();
  const DialogTemplate& got = GetDialogTemplate(want.nID);
  EXPECT_EQ(got.nID, want.nID);
  EXPECT_STREQ(got.pszCaption, want.strCaption.c_str());
  EXPECT_EQ(got.cx, want.cx);
  EXPECT_EQ(got.cy, want.cy);
  EXPECT_STREQ(got.pszFont, "MS Sans Serif");
  EXPECT_EQ(got.nPointSize, 8);
  EXPECT_EQ(got.nStyle, want.nStyle);
  EXPECT_EQ(got.pMenu != nullptr, want.nID == 102);
  ASSERT_EQ(got.controls.size(), want.controls.size());
  for (std::size_t n = 0; n < want.controls.size(); ++n) {
    const DialogControl& g = got.controls[n];
    const Ctl& w = want.controls[n];
    SCOPED_TRACE("control #" + std::to_string(n) + " " + w.strText);
    EXPECT_EQ(g.nID, w.nID);
    EXPECT_EQ(g.kind, w.kind);
    EXPECT_EQ(std::string(g.pszText ? g.pszText : ""), w.strText);
    EXPECT_EQ(g.x, w.x);
    EXPECT_EQ(g.y, w.y);
    EXPECT_EQ(g.cx, w.cx);
    EXPECT_EQ(g.cy, w.cy);
    EXPECT_EQ(g.nStyle, w.nStyle);
    EXPECT_EQ(g.nIconID, w.kind == K::Icon ? 128u : 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(AllDialogs, DialogTemplateTest, ::testing::ValuesIn(ExpectedDialogs()),
                         [](const auto& info) { return "IDD_" + std::to_string(info.param.nID); });

TEST(Resources, UnknownNumbersGiveEmptyResources) {
  EXPECT_EQ(GetDialogTemplate(999).nID, 0u);
  EXPECT_TRUE(GetDialogTemplate(999).controls.empty());
  EXPECT_EQ(LoadResourceString(32774), nullptr);  // About has no prompt
  EXPECT_EQ(LoadResourceString(57665), nullptr);
}

TEST(Resources, MainMenuAndPrompts) {
  ASSERT_NE(GetDialogTemplate(102).pMenu, nullptr);
  const MenuTemplate& menu = *GetDialogTemplate(102).pMenu;
  EXPECT_EQ(menu.nID, 132u);
  struct Item {
    const char* lpszPopup;
    const char* lpszText;  // nullptr: separator
    UINT nID;
    const char* lpszPrompt;
  };
  const Item want[] = {
      {"&File", "Exit\tAlt+F4", 57665, nullptr},
      {"&Settings", "&Acceptor Control", 32775, "Acceptor Control Panel..."},
      {"&Settings", "&Edit Prices", 32772, "Edit product prices."},
      {"&Settings", nullptr, 0, nullptr},
      {"&Settings", "&Connection", 32773, "Connection setup parameter."},
      {"&Information", "Tube Status", 32779, "Display current tube status."},
      {"&Information", "Acceptor Setup", 32777, "Display current acceptor setup."},
      {"&Information", "Acceptor Identification", 32778,
       "Display current acceptor identification."},
      {"&Help", "&About this", 32774, nullptr},
  };
  std::size_t n = 0;
  for (const MenuPopup& popup : menu.popups) {
    for (const MenuItem& item : popup.items) {
      ASSERT_LT(n, std::size(want));
      SCOPED_TRACE(n);
      EXPECT_STREQ(popup.pszText, want[n].lpszPopup);
      EXPECT_STREQ(item.pszText, want[n].lpszText);
      EXPECT_EQ(item.nID, want[n].nID);
      EXPECT_STREQ(LoadResourceString(item.nID), want[n].lpszPrompt);
      ++n;
    }
  }
  EXPECT_EQ(n, std::size(want));
  EXPECT_STREQ(LoadResourceString(32776), "Display current acceptor status.");
}

}  // namespace
