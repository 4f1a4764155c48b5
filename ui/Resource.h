// Resource, control and command IDs of the operator windows. The numbers are fixed: templates,
// handlers and tests refer to controls by them.
#pragma once

// clang-format off

// Dialogs, menu and icon.
#define IDD_VENDINGPANEL_DIALOG         102
#define IDR_MAINFRAME                   128
#define IDD_PRICE_DIALOG                131
#define IDR_MENU_MAIN                   132
#define IDD_CONNECTION_DIALOG           133
#define IDD_ABOUTBOX                    134
#define IDD_ACCEPTORCONTROL_DIALOG      135
#define IDD_ACCEPTORSETUP_DIALOG        136
#define IDD_ACCEPTORIDENT_DIALOG        137
#define IDD_TUBESTATUS_DIALOG           138

// Vending panel (102). Price i (0..9) is IDC_PRICE_1 + i, its button IDC_PRODUCT_1 + i; the
// price dialog (131) uses the same edit IDs.
#define IDC_CREDIT                      1000
#define IDC_PRICE_1                     1001
#define IDC_PRICE_10                    1010
#define IDC_PRODUCT_1                   1011
#define IDC_PRODUCT_10                  1020
#define IDC_CHANGE_RETURN               1021

// Connection dialog (133).
#define IDC_CONNECTION_NAME             1024
#define IDC_IP_ADDRESS                  1025
#define IDC_PORT_COMMUNICATION          1026
#define IDC_PORT_CONTROL                1027
#define IDC_AUTOCONNECT                 1028

// About box (134).
#define IDC_ABOUT_TEXT                  1029

// Acceptor control dialog (135). Coin type k (0..15) is IDC_ACCEPT_COIN_1 + k; dispense boxes
// run IDC_DISPENSE_COIN_1 + k for k = 0..14 and jump to IDC_DISPENSE_COIN_16 for k = 15
// (1061 is unused). Feature bit j (0..3) is IDC_FEATURE_ALT_PAYOUT + j.
#define IDC_ACCEPT_COIN_1               1030
#define IDC_ACCEPT_COIN_16              1045
#define IDC_DISPENSE_COIN_1             1046
#define IDC_DISPENSE_COIN_15            1060
#define IDC_DISPENSE_COIN_16            1062
#define IDC_RESET                       1063
#define IDC_ENABLE                      1064
#define IDC_DISABLE                     1065
#define IDC_FEATURE_ALT_PAYOUT          1071
#define IDC_FEATURE_EXT_DIAGNOSTIC      1072
#define IDC_FEATURE_MANUAL_FILL         1073
#define IDC_FEATURE_FTL                 1074

// Acceptor setup dialog (136). Coin value rows 1..7 are 1070..1076, row 8 is 1084, rows 9..15
// are 1077..1083 and row 16 is 1085.
#define IDC_SETUP_FEATURE_LEVEL         1066
#define IDC_SETUP_COUNTRY_CODE          1067
#define IDC_SETUP_SCALING_FACTOR        1068
#define IDC_SETUP_DECIMAL_PLACES        1069
#define IDC_SETUP_COIN_1                1070
#define IDC_SETUP_COIN_7                1076
#define IDC_SETUP_COIN_9                1077
#define IDC_SETUP_COIN_15               1083
#define IDC_SETUP_COIN_8                1084
#define IDC_SETUP_COIN_16               1085

// Acceptor identification dialog (137). Feature bit b (0..3) shows in IDC_IDENT_FEATURE_1 + b.
#define IDC_IDENT_MANUFACTURER          1068
#define IDC_IDENT_SERIAL_NUMBER         1069
#define IDC_IDENT_MODEL_REVISION        1070
#define IDC_IDENT_SOFTWARE_VERSION      1071
#define IDC_IDENT_FEATURE_1             1072
#define IDC_IDENT_FEATURE_4             1075

// Tube status dialog (138). Tube of coin type j (0..15) shows in IDC_TUBE_1 + j.
#define IDC_TUBE_1                      1070
#define IDC_TUBE_16                     1085

// Menu commands (menu 132) and their prompts in the string table.
#define ID_SETTINGS_EDITPRICES          32772
#define ID_SETTINGS_CONNECTION          32773
#define ID_HELP_ABOUT                   32774
#define ID_SETTINGS_ACCEPTORCONTROL     32775
#define ID_INFORMATION_ACCEPTORSTATUS   32776
#define ID_INFORMATION_ACCEPTORSETUP    32777
#define ID_INFORMATION_ACCEPTORIDENT    32778
#define ID_INFORMATION_TUBESTATUS       32779
// clang-format on
