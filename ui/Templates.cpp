// Dialog, menu and string resources. Positions and sizes are dialog units; controls are listed
// in template order, which is also the tab order.
#include "Templates.h"

#include "Resource.h"

namespace {

using namespace ControlStyle;
using enum ControlKind;

// Edit boxes as the dialog editor makes them: bordered tab stops.
constexpr unsigned kEditLeft = Left | AutoHScroll | Border | TabStop;
constexpr unsigned kEditRight = Right | AutoHScroll | Border | TabStop;

constexpr const char* kFont = "MS Sans Serif";
constexpr int kFontSize = 8;
// Every dialog opened from the menu.
constexpr unsigned kModalStyle =
    DialogStyle::Caption | DialogStyle::SysMenu | DialogStyle::ModalFrame;
constexpr unsigned kMainStyle =
    kModalStyle | DialogStyle::MinimizeBox | DialogStyle::AppWindow | DialogStyle::Visible;

// The tables keep the resource editor's layout: one control per line.
// clang-format off
const MenuTemplate& MainMenu() {
#define MENU_POPUP(text) {text, {
#define MENU_ITEM(text, id) {text, id},
#define MENU_SEPARATOR {nullptr, 0},
#define MENU_POPUP_END }},
  static const MenuTemplate menu{IDR_MENU_MAIN, {
#include "MainMenu.def"
  }};
#undef MENU_POPUP
#undef MENU_ITEM
#undef MENU_SEPARATOR
#undef MENU_POPUP_END
  return menu;
}

const DialogTemplate& VendingPanelDialog() {
  static const DialogTemplate dlg{
    IDD_VENDINGPANEL_DIALOG, "PC <---> Coin acceptor...", 200, 300,
    kFont, kFontSize, &MainMenu(), kMainStyle, {
      {IDC_PRODUCT_1, PushButton, "Product Selection #1", 80, 77, 100, 12, TabStop},
      {IDC_PRODUCT_1 + 1, PushButton, "Product Selection #2", 80, 97, 100, 12, TabStop},
      {IDC_PRODUCT_1 + 2, PushButton, "Product Selection #3", 80, 117, 100, 12, TabStop},
      {IDC_PRODUCT_1 + 3, PushButton, "Product Selection #4", 80, 137, 100, 12, TabStop},
      {IDC_PRODUCT_1 + 4, PushButton, "Product Selection #5", 80, 157, 100, 12, TabStop},
      {IDC_PRODUCT_1 + 5, PushButton, "Product Selection #6", 80, 177, 100, 12, TabStop},
      {IDC_PRODUCT_1 + 6, PushButton, "Product Selection #7", 80, 197, 100, 12, TabStop},
      {IDC_PRODUCT_1 + 7, PushButton, "Product Selection #8", 80, 217, 100, 12, TabStop},
      {IDC_PRODUCT_1 + 8, PushButton, "Product Selection #9", 80, 237, 100, 12, TabStop},
      {IDC_PRODUCT_1 + 9, PushButton, "Product Selection #10", 80, 257, 100, 12, TabStop},
      {IDC_CHANGE_RETURN, PushButton, "Change Return", 99, 26, 80, 12, TabStop},
      {IDC_STATIC, GroupBox, "Payment Sytem", 3, 0, 194, 53, Center},
      {IDC_CREDIT, Edit, nullptr, 19, 26, 50, 12, Right | Border | TabStop},
      {IDC_PRICE_1, Edit, nullptr, 20, 77, 40, 12, kEditRight},
      {IDC_PRICE_1 + 1, Edit, nullptr, 20, 97, 40, 12, kEditRight},
      {IDC_PRICE_1 + 2, Edit, nullptr, 20, 117, 40, 12, kEditRight},
      {IDC_PRICE_1 + 3, Edit, nullptr, 20, 137, 40, 12, kEditRight},
      {IDC_PRICE_1 + 4, Edit, nullptr, 20, 157, 40, 12, kEditRight},
      {IDC_PRICE_1 + 5, Edit, nullptr, 20, 177, 40, 12, kEditRight},
      {IDC_PRICE_1 + 6, Edit, nullptr, 20, 197, 40, 12, kEditRight},
      {IDC_PRICE_1 + 7, Edit, nullptr, 20, 217, 40, 12, kEditRight},
      {IDC_PRICE_1 + 8, Edit, nullptr, 20, 237, 40, 12, kEditRight},
      {IDC_PRICE_1 + 9, Edit, nullptr, 20, 257, 40, 12, kEditRight},
      {IDC_STATIC, GroupBox, "Vending Machine Selections", 3, 48, 194, 249, 0},
      {IDC_STATIC, Static, "Credit:", 34, 17, 21, 8, Left},
      {IDC_STATIC, Static, "Sample Application by Tessaline AG", 7, 285, 186, 8, Center},
      {IDC_STATIC, Static, "Prices:", 31, 67, 22, 8, Left},
  }};
  return dlg;
}

const DialogTemplate& PriceDialog() {
  static const DialogTemplate dlg{
    IDD_PRICE_DIALOG, "Edit Product Prices...", 150, 199,
    kFont, kFontSize, nullptr, kModalStyle, {
      {IDOK, DefPushButton, "OK", 22, 178, 50, 14, TabStop},
      {IDCANCEL, PushButton, "Cancel", 76, 178, 50, 14, TabStop},
      {IDC_STATIC, GroupBox, nullptr, 3, 0, 144, 197, 0},
      {IDC_PRICE_1, Edit, nullptr, 98, 11, 40, 12, kEditRight},
      {IDC_STATIC, Static, "Product Price #1:", 8, 12, 88, 8, Right},
      {IDC_PRICE_1 + 1, Edit, nullptr, 98, 27, 40, 12, kEditRight},
      {IDC_STATIC, Static, "Product Price #2:", 8, 28, 88, 8, Right},
      {IDC_PRICE_1 + 2, Edit, nullptr, 98, 43, 40, 12, kEditRight},
      {IDC_STATIC, Static, "Product Price #3:", 8, 44, 88, 8, Right},
      {IDC_PRICE_1 + 3, Edit, nullptr, 98, 59, 40, 12, kEditRight},
      {IDC_STATIC, Static, "Product Price #4:", 8, 60, 88, 8, Right},
      {IDC_PRICE_1 + 4, Edit, nullptr, 98, 75, 40, 12, kEditRight},
      {IDC_STATIC, Static, "Product Price #5:", 8, 76, 88, 8, Right},
      {IDC_PRICE_1 + 5, Edit, nullptr, 98, 91, 40, 12, kEditRight},
      {IDC_STATIC, Static, "Product Price #6:", 8, 92, 88, 8, Right},
      {IDC_PRICE_1 + 6, Edit, nullptr, 98, 107, 40, 12, kEditRight},
      {IDC_STATIC, Static, "Product Price #7:", 8, 108, 88, 8, Right},
      {IDC_PRICE_1 + 7, Edit, nullptr, 98, 123, 40, 12, kEditRight},
      {IDC_STATIC, Static, "Product Price #8:", 8, 124, 88, 8, Right},
      {IDC_PRICE_1 + 8, Edit, nullptr, 98, 139, 40, 12, kEditRight},
      {IDC_STATIC, Static, "Product Price #9:", 8, 140, 88, 8, Right},
      {IDC_PRICE_1 + 9, Edit, nullptr, 98, 155, 40, 12, kEditRight},
      {IDC_STATIC, Static, "Product Price #10:", 8, 156, 88, 8, Right},
  }};
  return dlg;
}

const DialogTemplate& ConnectionDialog() {
  static const DialogTemplate dlg{
    IDD_CONNECTION_DIALOG, "Connection settings...", 200, 150,
    kFont, kFontSize, nullptr, kModalStyle, {
      {IDOK, DefPushButton, "OK", 47, 129, 50, 14, TabStop},
      {IDCANCEL, PushButton, "Cancel", 101, 129, 50, 14, TabStop},
      {IDC_STATIC, GroupBox, nullptr, 3, 0, 194, 147, 0},
      {IDC_CONNECTION_NAME, Edit, nullptr, 88, 11, 100, 12, kEditLeft},
      {IDC_IP_ADDRESS, Edit, nullptr, 128, 31, 60, 12, kEditLeft},
      {IDC_PORT_COMMUNICATION, Edit, nullptr, 148, 51, 40, 12, kEditRight},
      {IDC_PORT_CONTROL, Edit, nullptr, 148, 71, 40, 12, kEditRight},
      {IDC_AUTOCONNECT, CheckBox, "Automatically connect at startup:", 41, 89, 115, 10,
       LeftText | TabStop},
      {IDC_STATIC, Static, "Connection name:", 7, 13, 77, 8, Right},
      {IDC_STATIC, Static, "Remote device IP address:", 7, 32, 117, 8, Right},
      {IDC_STATIC, Static, "Remote device communication port number:", 6, 53, 139, 8, Right},
      {IDC_STATIC, Static, "Remote device control port number:", 11, 72, 134, 8, Right},
  }};
  return dlg;
}

const DialogTemplate& AboutDialog() {
  static const DialogTemplate dlg{
    IDD_ABOUTBOX, "About PC <---> Coin Acceptor...", 180, 150,
    kFont, kFontSize, nullptr, kModalStyle, {
      {IDOK, DefPushButton, "OK", 64, 129, 50, 14, TabStop},
      {IDC_STATIC, GroupBox, nullptr, 3, 0, 174, 147, 0},
      {IDC_STATIC, Icon, nullptr, 9, 9, 20, 20, 0, IDR_MAINFRAME},
      {IDC_ABOUT_TEXT, Static, "Static", 35, 8, 136, 112, Center | Sunken},
  }};
  return dlg;
}

const DialogTemplate& AcceptorControlDialog() {
  static const DialogTemplate dlg{
    IDD_ACCEPTORCONTROL_DIALOG, "Coin Acceptor Control...", 200, 281,
    kFont, kFontSize, nullptr, kModalStyle, {
      {IDOK, PushButton, "Exit", 74, 260, 50, 14, TabStop},
      {IDC_STATIC, GroupBox, nullptr, 3, 0, 194, 278, 0},
      {IDC_ACCEPT_COIN_1, CheckBox, "Accept Coin Type 1", 9, 9, 79, 10, TabStop},
      {IDC_ACCEPT_COIN_1 + 1, CheckBox, "Accept Coin Type 2", 9, 19, 79, 10, TabStop},
      {IDC_ACCEPT_COIN_1 + 2, CheckBox, "Accept Coin Type 3", 9, 29, 79, 10, TabStop},
      {IDC_ACCEPT_COIN_1 + 3, CheckBox, "Accept Coin Type 4", 9, 39, 79, 10, TabStop},
      {IDC_ACCEPT_COIN_1 + 4, CheckBox, "Accept Coin Type 5", 9, 49, 79, 10, TabStop},
      {IDC_ACCEPT_COIN_1 + 5, CheckBox, "Accept Coin Type 6", 9, 59, 79, 10, TabStop},
      {IDC_ACCEPT_COIN_1 + 6, CheckBox, "Accept Coin Type 7", 9, 69, 79, 10, TabStop},
      {IDC_ACCEPT_COIN_1 + 7, CheckBox, "Accept Coin Type 8", 9, 79, 79, 10, TabStop},
      {IDC_ACCEPT_COIN_1 + 8, CheckBox, "Accept Coin Type 9", 9, 89, 79, 10, TabStop},
      {IDC_ACCEPT_COIN_1 + 9, CheckBox, "Accept Coin Type 10", 9, 99, 83, 10, TabStop},
      {IDC_ACCEPT_COIN_1 + 10, CheckBox, "Accept Coin Type 11", 9, 109, 83, 10, TabStop},
      {IDC_ACCEPT_COIN_1 + 11, CheckBox, "Accept Coin Type 12", 9, 119, 83, 10, TabStop},
      {IDC_ACCEPT_COIN_1 + 12, CheckBox, "Accept Coin Type 13", 9, 129, 83, 10, TabStop},
      {IDC_ACCEPT_COIN_1 + 13, CheckBox, "Accept Coin Type 14", 9, 139, 83, 10, TabStop},
      {IDC_ACCEPT_COIN_1 + 14, CheckBox, "Accept Coin Type 15", 9, 149, 83, 10, TabStop},
      {IDC_ACCEPT_COIN_1 + 15, CheckBox, "Accept Coin Type 16", 9, 159, 83, 10, TabStop},
      {IDC_DISPENSE_COIN_1, CheckBox, "Dispense Coin Type 1", 102, 9, 85, 10, TabStop},
      {IDC_DISPENSE_COIN_1 + 1, CheckBox, "Dispense Coin Type 2", 102, 19, 85, 10, TabStop},
      {IDC_DISPENSE_COIN_1 + 2, CheckBox, "Dispense Coin Type 3", 102, 29, 85, 10, TabStop},
      {IDC_DISPENSE_COIN_1 + 3, CheckBox, "Dispense Coin Type 4", 102, 39, 85, 10, TabStop},
      {IDC_DISPENSE_COIN_1 + 4, CheckBox, "Dispense Coin Type 5", 102, 49, 85, 10, TabStop},
      {IDC_DISPENSE_COIN_1 + 5, CheckBox, "Dispense Coin Type 6", 102, 59, 85, 10, TabStop},
      {IDC_DISPENSE_COIN_1 + 6, CheckBox, "Dispense Coin Type 7", 102, 69, 85, 10, TabStop},
      {IDC_DISPENSE_COIN_1 + 7, CheckBox, "Dispense Coin Type 8", 102, 79, 85, 10, TabStop},
      {IDC_DISPENSE_COIN_1 + 8, CheckBox, "Dispense Coin Type 9", 102, 89, 85, 10, TabStop},
      {IDC_DISPENSE_COIN_1 + 9, CheckBox, "Dispense Coin Type 10", 102, 99, 89, 10, TabStop},
      {IDC_DISPENSE_COIN_1 + 10, CheckBox, "Dispense Coin Type 11", 102, 109, 89, 10, TabStop},
      {IDC_DISPENSE_COIN_1 + 11, CheckBox, "Dispense Coin Type 12", 102, 119, 89, 10, TabStop},
      {IDC_DISPENSE_COIN_1 + 12, CheckBox, "Dispense Coin Type 13", 102, 129, 89, 10, TabStop},
      {IDC_DISPENSE_COIN_1 + 13, CheckBox, "Dispense Coin Type 14", 102, 139, 89, 10, TabStop},
      {IDC_DISPENSE_COIN_1 + 14, CheckBox, "Dispense Coin Type 15", 102, 149, 89, 10, TabStop},
      {IDC_DISPENSE_COIN_16, CheckBox, "Dispense Coin Type 16", 102, 159, 89, 10, TabStop},
      {IDC_RESET, PushButton, "Reset", 11, 238, 50, 14, TabStop},
      {IDC_ENABLE, PushButton, "Enable", 74, 238, 50, 14, TabStop},
      {IDC_DISABLE, PushButton, "Disable", 138, 238, 50, 14, TabStop},
      {IDC_FEATURE_ALT_PAYOUT, CheckBox, "Alternative Payout Method.", 9, 180, 101, 10, TabStop},
      {IDC_STATIC, GroupBox, "Features  enable:", 3, 170, 194, 62, Center},
      {IDC_FEATURE_EXT_DIAGNOSTIC, CheckBox, "Extended Diagnostic Command Supported.",
       9, 192, 151, 10, TabStop},
      {IDC_FEATURE_MANUAL_FILL, CheckBox, "Controlled Manual Fill and Payout Commands.",
       9, 204, 159, 10, TabStop},
      {IDC_FEATURE_FTL, CheckBox, "File Transport Layer (FTL) supported.",
       9, 216, 132, 10, TabStop},
  }};
  return dlg;
}

const DialogTemplate& AcceptorSetupDialog() {
  static const DialogTemplate dlg{
    IDD_ACCEPTORSETUP_DIALOG, "Current acceptor setup...", 200, 250,
    kFont, kFontSize, nullptr, kModalStyle, {
      {IDOK, DefPushButton, "Exit", 74, 229, 50, 14, TabStop},
      {IDC_STATIC, GroupBox, nullptr, 3, 0, 194, 247, 0},
      {IDC_STATIC, Static, "Changer Feature Level:", 11, 15, 100, 8, Right},
      {IDC_SETUP_FEATURE_LEVEL, Static, "Static", 115, 15, 74, 8, Left},
      {IDC_STATIC, Static, "Country / Currency Code:", 11, 25, 100, 8, Right},
      {IDC_SETUP_COUNTRY_CODE, Static, "Static", 115, 25, 74, 8, Left},
      {IDC_STATIC, Static, "Coin Scaling Factor:", 11, 35, 100, 8, Right},
      {IDC_SETUP_SCALING_FACTOR, Static, "Static", 115, 35, 74, 8, Left},
      {IDC_STATIC, Static, "Decimal Places:", 11, 45, 100, 8, Right},
      {IDC_SETUP_DECIMAL_PLACES, Static, "Static", 115, 45, 74, 8, Left},
      {IDC_STATIC, Static, "Coin Type 1 Credit:", 11, 60, 85, 8, Right},
      {IDC_SETUP_COIN_1, Static, "Static", 100, 60, 88, 8, Left},
      {IDC_STATIC, Static, "Coin Type 2 Credit:", 11, 70, 85, 8, Right},
      {IDC_SETUP_COIN_1 + 1, Static, "Static", 100, 70, 88, 8, Left},
      {IDC_STATIC, Static, "Coin Type 3 Credit:", 11, 80, 85, 8, Right},
      {IDC_SETUP_COIN_1 + 2, Static, "Static", 100, 80, 88, 8, Left},
      {IDC_STATIC, Static, "Coin Type 4 Credit:", 11, 90, 85, 8, Right},
      {IDC_SETUP_COIN_1 + 3, Static, "Static", 100, 90, 88, 8, Left},
      {IDC_STATIC, Static, "Coin Type 5 Credit:", 11, 100, 85, 8, Right},
      {IDC_SETUP_COIN_1 + 4, Static, "Static", 100, 100, 88, 8, Left},
      {IDC_STATIC, Static, "Coin Type 6 Credit:", 11, 110, 85, 8, Right},
      {IDC_SETUP_COIN_1 + 5, Static, "Static", 100, 110, 88, 8, Left},
      {IDC_STATIC, Static, "Coin Type 7 Credit:", 11, 120, 85, 8, Right},
      {IDC_SETUP_COIN_1 + 6, Static, "Static", 100, 120, 88, 8, Left},
      {IDC_STATIC, Static, "Coin Type 8 Credit:", 11, 130, 85, 8, Right},
      {IDC_SETUP_COIN_8, Static, "Static", 100, 130, 88, 8, Left},
      {IDC_STATIC, Static, "Coin Type 9 Credit:", 11, 140, 85, 8, Right},
      {IDC_SETUP_COIN_9, Static, "Static", 100, 140, 88, 8, Left},
      {IDC_STATIC, Static, "Coin Type 10 Credit:", 11, 150, 85, 8, Right},
      {IDC_SETUP_COIN_9 + 1, Static, "Static", 100, 150, 88, 8, Left},
      {IDC_STATIC, Static, "Coin Type 11 Credit:", 11, 160, 85, 8, Right},
      {IDC_SETUP_COIN_9 + 2, Static, "Static", 100, 160, 88, 8, Left},
      {IDC_STATIC, Static, "Coin Type 12 Credit:", 11, 170, 85, 8, Right},
      {IDC_SETUP_COIN_9 + 3, Static, "Static", 100, 170, 88, 8, Left},
      {IDC_STATIC, Static, "Coin Type 13 Credit:", 11, 180, 85, 8, Right},
      {IDC_SETUP_COIN_9 + 4, Static, "Static", 100, 180, 88, 8, Left},
      {IDC_STATIC, Static, "Coin Type 14 Credit:", 11, 190, 85, 8, Right},
      {IDC_SETUP_COIN_9 + 5, Static, "Static", 100, 190, 88, 8, Left},
      {IDC_STATIC, Static, "Coin Type 15 Credit:", 11, 200, 85, 8, Right},
      {IDC_SETUP_COIN_9 + 6, Static, "Static", 100, 200, 88, 8, Left},
      {IDC_STATIC, Static, "Coin Type 16 Credit:", 11, 210, 85, 8, Right},
      {IDC_SETUP_COIN_16, Static, "Static", 100, 210, 88, 8, Left},
  }};
  return dlg;
}

const DialogTemplate& AcceptorIdentDialog() {
  static const DialogTemplate dlg{
    IDD_ACCEPTORIDENT_DIALOG, "Acceptor Identification...", 200, 250,
    kFont, kFontSize, nullptr, kModalStyle, {
      {IDOK, DefPushButton, "Exit", 74, 229, 50, 14, TabStop},
      {IDC_STATIC, GroupBox, nullptr, 3, 0, 194, 247, 0},
      {IDC_STATIC, Static, "Manufacturer Code:", 10, 15, 90, 8, Right},
      {IDC_IDENT_MANUFACTURER, Static, "Static", 104, 15, 85, 8, Left},
      {IDC_STATIC, Static, "Serial Number:", 10, 30, 90, 8, Right},
      {IDC_IDENT_SERIAL_NUMBER, Static, "Static", 104, 30, 85, 8, Left},
      {IDC_STATIC, Static, "Model # / Tuning Revision:", 10, 45, 90, 8, Right},
      {IDC_IDENT_MODEL_REVISION, Static, "Static", 104, 45, 85, 8, Left},
      {IDC_STATIC, Static, "Software Version:", 10, 60, 90, 8, Right},
      {IDC_IDENT_SOFTWARE_VERSION, Static, "Static", 104, 60, 85, 8, Left},
      {IDC_STATIC, Static, "Additional Payout method:", 10, 75, 134, 8, Right},
      {IDC_IDENT_FEATURE_1, Static, "Static", 148, 75, 40, 8, Left},
      {IDC_STATIC, Static, "Extended Diagnostic Command:", 10, 90, 134, 8, Right},
      {IDC_IDENT_FEATURE_1 + 1, Static, "Static", 148, 90, 40, 8, Left},
      {IDC_STATIC, Static, "Controlled Manuall Fill and Payout:", 10, 104, 134, 8, Right},
      {IDC_IDENT_FEATURE_1 + 2, Static, "Static", 148, 104, 40, 8, Left},
      {IDC_STATIC, Static, "File Transport Layer (FTL):", 10, 120, 134, 8, Right},
      {IDC_IDENT_FEATURE_1 + 3, Static, "Static", 148, 120, 40, 8, Left},
  }};
  return dlg;
}

const DialogTemplate& TubeStatusDialog() {
  static const DialogTemplate dlg{
    IDD_TUBESTATUS_DIALOG, "Current Tube Status...", 200, 250,
    kFont, kFontSize, nullptr, kModalStyle, {
      {IDOK, DefPushButton, "Exit", 74, 229, 50, 14, TabStop},
      {IDC_STATIC, GroupBox, nullptr, 3, 0, 194, 247, 0},
      {IDC_STATIC, Static, "Coin Type 1 in Tube:", 11, 12, 80, 8, Right},
      {IDC_TUBE_1, Static, "Static", 93, 12, 95, 8, Left},
      {IDC_STATIC, Static, "Coin Type 2 in Tube:", 11, 24, 80, 8, Right},
      {IDC_TUBE_1 + 1, Static, "Static", 93, 24, 95, 8, Left},
      {IDC_STATIC, Static, "Coin Type 3 in Tube:", 11, 36, 80, 8, Right},
      {IDC_TUBE_1 + 2, Static, "Static", 93, 36, 95, 8, Left},
      {IDC_STATIC, Static, "Coin Type 4 in Tube:", 11, 48, 80, 8, Right},
      {IDC_TUBE_1 + 3, Static, "Static", 93, 48, 95, 8, Left},
      {IDC_STATIC, Static, "Coin Type 5 in Tube:", 11, 60, 80, 8, Right},
      {IDC_TUBE_1 + 4, Static, "Static", 93, 60, 95, 8, Left},
      {IDC_STATIC, Static, "Coin Type 6 in Tube:", 11, 72, 80, 8, Right},
      {IDC_TUBE_1 + 5, Static, "Static", 93, 72, 95, 8, Left},
      {IDC_STATIC, Static, "Coin Type 7 in Tube:", 11, 84, 80, 8, Right},
      {IDC_TUBE_1 + 6, Static, "Static", 93, 84, 95, 8, Left},
      {IDC_STATIC, Static, "Coin Type 8 in Tube:", 11, 96, 80, 8, Right},
      {IDC_TUBE_1 + 7, Static, "Static", 93, 96, 95, 8, Left},
      {IDC_STATIC, Static, "Coin Type 9 in Tube:", 11, 108, 80, 8, Right},
      {IDC_TUBE_1 + 8, Static, "Static", 93, 108, 95, 8, Left},
      {IDC_STATIC, Static, "Coin Type 10 in Tube:", 11, 120, 80, 8, Right},
      {IDC_TUBE_1 + 9, Static, "Static", 93, 120, 95, 8, Left},
      {IDC_STATIC, Static, "Coin Type 11 in Tube:", 11, 132, 80, 8, Right},
      {IDC_TUBE_1 + 10, Static, "Static", 93, 132, 95, 8, Left},
      {IDC_STATIC, Static, "Coin Type 12 in Tube:", 11, 144, 80, 8, Right},
      {IDC_TUBE_1 + 11, Static, "Static", 93, 144, 95, 8, Left},
      {IDC_STATIC, Static, "Coin Type 13 in Tube:", 11, 156, 80, 8, Right},
      {IDC_TUBE_1 + 12, Static, "Static", 93, 156, 95, 8, Left},
      {IDC_STATIC, Static, "Coin Type 14 in Tube:", 11, 168, 80, 8, Right},
      {IDC_TUBE_1 + 13, Static, "Static", 93, 168, 95, 8, Left},
      {IDC_STATIC, Static, "Coin Type 15 in Tube:", 11, 180, 80, 8, Right},
      {IDC_TUBE_1 + 14, Static, "Static", 93, 180, 95, 8, Left},
      {IDC_STATIC, Static, "Coin Type 16 in Tube:", 11, 192, 80, 8, Right},
      {IDC_TUBE_1 + 15, Static, "Static", 93, 192, 95, 8, Left},
  }};
  return dlg;
}

// clang-format on

}  // namespace

const DialogTemplate& GetDialogTemplate(UINT nIDD) {
  switch (nIDD) {
  case IDD_VENDINGPANEL_DIALOG: return VendingPanelDialog();
  case IDD_PRICE_DIALOG: return PriceDialog();
  case IDD_CONNECTION_DIALOG: return ConnectionDialog();
  case IDD_ABOUTBOX: return AboutDialog();
  case IDD_ACCEPTORCONTROL_DIALOG: return AcceptorControlDialog();
  case IDD_ACCEPTORSETUP_DIALOG: return AcceptorSetupDialog();
  case IDD_ACCEPTORIDENT_DIALOG: return AcceptorIdentDialog();
  case IDD_TUBESTATUS_DIALOG: return TubeStatusDialog();
  }
  static const DialogTemplate empty{0, "", 0, 0, kFont, kFontSize, nullptr, kModalStyle, {}};
  return empty;
}

const char* LoadResourceString(UINT nID) {
  switch (nID) {
  case ID_SETTINGS_EDITPRICES: return "Edit product prices.";
  case ID_SETTINGS_CONNECTION: return "Connection setup parameter.";
  case ID_SETTINGS_ACCEPTORCONTROL: return "Acceptor Control Panel...";
  case ID_INFORMATION_ACCEPTORSTATUS: return "Display current acceptor status.";
  case ID_INFORMATION_ACCEPTORSETUP: return "Display current acceptor setup.";
  case ID_INFORMATION_ACCEPTORIDENT: return "Display current acceptor identification.";
  case ID_INFORMATION_TUBESTATUS: return "Display current tube status.";
  }
  return nullptr;
}
