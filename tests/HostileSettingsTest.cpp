// Settings that are wrong in every way a store can be wrong: entries of another type, numbers out
// of range, texts of a megabyte, bytes that are not UTF-8, a folder that cannot be read or is
// missing, a folder, FIFO or device where the settings file or its lock should be. The program
// starts, takes the reader's default for what it cannot read, shows the link's messages where a
// step fails, and keeps its dialogs working when a write cannot be made. Most cases run the
// application object in this process (its message boxes caught by the hook); the last one runs the
// real executable.
#include "Dialog.h"
#include "QtPlatform.h"
#include "Resource.h"
#include "TestSupport.h"
#include "VendingApp.h"
#include "VendingPanelDlg.h"

#include <QCheckBox>

#include <gtest/gtest.h>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <csignal>

using namespace testing_support;

namespace {

const std::string kMegabyteText(1 << 20, 'x');
const std::string kMegabyteNumber(1 << 20, '9');

/// Every entry the program or its framework reads, texts set to strText and numbers to strNumber.
std::string StoreOf(const std::string& strText, const std::string& strNumber) {
  std::string s = "[Connection]\nConnectionName=" + strText + "\nIPAddress=" + strText +
                  "\nPortCommunication=" + strNumber + "\nPortControl=" + strNumber +
                  "\nAutoConnect=" + strNumber + "\n[Prices]\n";
  for (int i = 0; i < 10; ++i)
    s += "Price_0" + std::to_string(i) + "=" + strNumber + "\n";
  s += "[AcceptorControl]\nCoinAccept=" + strNumber + "\nCoinDispense=" + strNumber +
       "\nFeatureEnable=" + strNumber + "\n[Recent%20File%20List]\nFile1=" + strText +
       "\nFile10=" + strText + "\n";
  return s + "[Settings]\nPreviewPages=" + strNumber + "\n";
}

/// strStore with the first entry strKey set to strValue.
std::string With(std::string strStore, const std::string& strKey, const std::string& strValue) {
  const std::size_t nStart = strStore.find("\n" + strKey + "=") + 1;
  const std::size_t nEnd = strStore.find('\n', nStart);
  return strStore.replace(nStart, nEnd - nStart, strKey + "=" + strValue);
}

/// Every entry of the program's own three sections, as the store reads them.
std::vector<std::string> ReadOwnEntries() {
  static const char* const s_entries[][2] = {
      {"Connection", "ConnectionName"},    {"Connection", "IPAddress"},
      {"Connection", "PortCommunication"}, {"Connection", "PortControl"},
      {"Connection", "AutoConnect"},       {"AcceptorControl", "CoinAccept"},
      {"AcceptorControl", "CoinDispense"}, {"AcceptorControl", "FeatureEnable"}};
  CTestApp app;
  std::vector<std::string> values;
  for (const auto& entry : s_entries)
    values.push_back(app.GetProfileString(entry[0], entry[1], "(absent)"));
  for (int i = 0; i < 10; ++i)
    values.push_back(
        app.GetProfileString("Prices", ("Price_0" + std::to_string(i)).c_str(), "(absent)"));
  return values;
}

const char* const kDialFailed =
    "Connect failed, Error: 633\r\nPlease make sure to use the correct connectionand check the "
    "connection settings "
    "in windows control panel.";

class HostileSettings : public VendingAppFixture {
protected:
  void SetUp() override {
    m_dialer.m_dwDialResult = 633;  // no sockets are made, whatever the connection entries say
    m_dialer.m_dwHandle = 9;
  }

  void Store(const std::string& strBytes) { m_config.Write(strBytes); }

  /// Opens a dialog from the panel's menu; fn runs inside it and closes it (else it is cancelled).
  void Open(CVendingPanelDlg& panel, UINT nCommand, const DialogAnswer& fn) {
    m_answers.AnswerAny(fn);
    panel.RouteCommand(nCommand);
    m_answers.AnswerAny(nullptr);
  }

  static std::vector<std::string> Prices(CWnd& wnd) {
    std::vector<std::string> prices;
    for (int i = 0; i < 10; ++i)
      prices.push_back(wnd.GetDlgItemText(IDC_PRICE_1 + i));
    return prices;
  }

  static int TickedBoxes(CDialog& dlg) {
    int n = 0;
    for (int nID = IDC_ACCEPT_COIN_1; nID <= IDC_FEATURE_FTL; ++nID) {
      auto* pBox = qobject_cast<QCheckBox*>(QtWidget(dlg.GetDlgItem(nID)));
      n += pBox && pBox->isChecked() ? 1 : 0;
    }
    return n;
  }

  std::vector<std::string>& m_messages = m_capture.m_messages;
};

// ---------------------------------------------------------------------------------------------
// Every entry wrong the same way. Dialing is refused, so no socket is made whatever the
// connection entries say.

struct Flavour {
  const char* lpszName;
  std::string strText;
  std::string strNumber;
  std::string strDialledName;  // ConnectionName as the link reads it
  const char* lpszPrice;       // each price box
  int nTicked;                 // acceptor control boxes ticked (of 36)
  const char* lpszPort;        // both port fields of the connection dialog
  bool bAutoConnectTicked;
};

class HostileFlavour : public HostileSettings, public ::testing::WithParamInterface<Flavour> {};

TEST_P(HostileFlavour, StartsWithDefaultsAndEveryDialogStillWorks) {
  const Flavour& flavour = GetParam();
  Store(StoreOf(flavour.strText, flavour.strNumber));
  std::vector<std::string> panelPrices;
  std::vector<std::string> dialogPrices;
  int nTicked = -1;
  std::string strName, strPortComm, strPortControl;
  bool bAutoConnect = false;
  RunProgram([&](CVendingPanelDlg& panel) {
    panelPrices = Prices(panel);
    Open(panel, ID_SETTINGS_ACCEPTORCONTROL, [&](CDialog& dlg) {
      nTicked = TickedBoxes(dlg);
      Button(dlg, IDOK)->click();
    });
    Open(panel, ID_SETTINGS_CONNECTION, [&](CDialog& dlg) {
      strName = dlg.GetDlgItemText(IDC_CONNECTION_NAME);
      strPortComm = dlg.GetDlgItemText(IDC_PORT_COMMUNICATION);
      strPortControl = dlg.GetDlgItemText(IDC_PORT_CONTROL);
      bAutoConnect = Button(dlg, IDC_AUTOCONNECT)->isChecked();
      Button(dlg, IDCANCEL)->click();
    });
    Open(panel, ID_SETTINGS_EDITPRICES, [&](CDialog& dlg) {
      dialogPrices = Prices(dlg);
      Edit(dlg, IDC_PRICE_1)->setText("0.00");
      Button(dlg, IDOK)->click();
    });
    // The panel still sells: a free product needs no credit.
    panel.RouteCommand(IDC_PRODUCT_1);
    EXPECT_EQ(m_capture.m_beeps.size(), 1u);
  });
  EXPECT_EQ(m_dialer.m_dialled, std::vector<std::string>{flavour.strDialledName});
  EXPECT_EQ(m_messages, std::vector<std::string>{kDialFailed});
  EXPECT_EQ(panelPrices, std::vector<std::string>(10, flavour.lpszPrice));
  EXPECT_EQ(dialogPrices, std::vector<std::string>(10, flavour.lpszPrice));
  EXPECT_EQ(nTicked, flavour.nTicked);
  // The same text as the link read, whole, however long.
  EXPECT_EQ(strName, flavour.strDialledName);
  EXPECT_EQ(strPortComm, flavour.lpszPort == std::string("default") ? "4003" : flavour.lpszPort);
  EXPECT_EQ(strPortControl, flavour.lpszPort == std::string("default") ? "4001" : flavour.lpszPort);
  EXPECT_EQ(bAutoConnect, flavour.bAutoConnectTicked);
  EXPECT_EQ(m_app.GetProfileInt("Prices", "Price_00", 7), 0u);
}

// "\xEF\xBF\xBD" is U+FFFD, which stands in for each byte that is not UTF-8.
INSTANTIATE_TEST_SUITE_P(
    EveryEntry, HostileFlavour,
    ::testing::Values(
        Flavour{"RectanglesAndSizes", "@Rect(1 2 3 4)", "@Size(4003 4001)", "", "1.00", 0,
                "default", false},
        Flavour{"UnknownVariants", "@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x6QBogus\\0\\xff)",
                "@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x6QBogus\\0\\xff)", "LX-5200", "1.00", 0,
                "default", false},
        Flavour{"ListsAndFractions", "a,b,c", "1.5", "a,b,c", "1.00", 0, "default", false},
        Flavour{"MinusOne", "LX-5200", "-1", "LX-5200", "42949672.95", 36, "4294967295", true},
        Flavour{"AboveThirtyTwoBits", "LX-5200", "4294967296", "LX-5200", "1.00", 0, "default",
                false},
        Flavour{"BelowMinusTwoToThe31", "LX-5200", "-2147483649", "LX-5200", "1.00", 0, "default",
                false},
        Flavour{"TwentyDigits", "LX-5200", "99999999999999999999", "LX-5200", "1.00", 0, "default",
                false},
        Flavour{"Megabytes", kMegabyteText, kMegabyteNumber, kMegabyteText, "1.00", 0, "default",
                false},
        Flavour{"NotUtf8",
                "LX\xff\xfe"
                "5200",
                "4\xff"
                "003",
                "LX\xEF\xBF\xBD\xEF\xBF\xBD"
                "5200",
                "1.00", 0, "default", false}),
    [](const auto& info) { return std::string(info.param.lpszName); });

// ---------------------------------------------------------------------------------------------
// Connection entries that make a step of the link fail: the step's message, and the panel opens.

struct LinkCase {
  const char* lpszName;
  std::string strStore;
  const char* lpszMessage;
};

class HostileLink : public HostileSettings, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(HostileLink, TheFailingStepIsReportedAndThePanelOpens) {
  m_dialer.m_dwDialResult = 0;
  std::string strEntries = GetParam().strStore;
  if (strEntries.find("PortCommunication=") == std::string::npos)
    strEntries +=
        "PortCommunication=" + std::to_string(TakePorts(EPortRange::HostileSettings)) + "\n";
  Store("[Connection]\n" + strEntries);
  std::string strCredit;
  RunProgram([&](CVendingPanelDlg& panel) { strCredit = panel.GetDlgItemText(IDC_CREDIT); });
  EXPECT_EQ(m_messages, std::vector<std::string>{GetParam().lpszMessage});
  EXPECT_EQ(strCredit, "0.00");
  EXPECT_EQ(m_app.GetCommunicationSocket(), nullptr);
  EXPECT_FALSE(m_app.IsConnected());
}

// Ports wrap as 32-bit words and are refused by the socket layer; an address that is neither
// dotted nor a host name is refused before any resolver is asked. A case without a communication
// port gets one of the suite's own.
INSTANTIATE_TEST_SUITE_P(
    ConnectionEntries, HostileLink,
    ::testing::Values(LinkCase{"NegativePort", "IPAddress=127.0.0.2\nPortCommunication=-1\n",
                               "Create aquisition socket failed, Error: 22\r\n"},
                      LinkCase{"PortZero", "IPAddress=127.0.0.2\nPortCommunication=0\n",
                               "Create aquisition socket failed, Error: 22\r\n"},
                      LinkCase{"ControlPortAbove65535", "IPAddress=127.0.0.2\nPortControl=65536\n",
                               "Create control socket failed, Error: 22\r\n"},
                      LinkCase{"MegabyteAddress", "IPAddress=" + kMegabyteText + "\n",
                               "Connect to aquisition socket failed, Error: 22\r\n"},
                      LinkCase{"AddressNotUtf8", "IPAddress=127.0.0.2\xff\n",
                               "Connect to aquisition socket failed, Error: 22\r\n"},
                      LinkCase{"AddressIsARectangle", "IPAddress=@Rect(127 0 0 2)\n",
                               "Connect to aquisition socket failed, Error: 22\r\n"}),
    [](const auto& info) { return std::string(info.param.lpszName); });

// ---------------------------------------------------------------------------------------------
// A store that cannot be read or written.

/// Takes read access to the settings folder away, for root as well: as long as the object
/// lives, file access runs under an unprivileged file-system user ID.
class CUnreadableFolder {
public:
  explicit CUnreadableFolder(const std::string& strFolder) : m_strFolder(strFolder) {
    chmod(m_strFolder.c_str(), 0);
    if (geteuid() == 0)
      setfsuid(65534);
  }
  ~CUnreadableFolder() {
    if (geteuid() == 0)
      setfsuid(0);
    chmod(m_strFolder.c_str(), 0700);
  }

private:
  std::string m_strFolder;
};

const char* const kReadableStore = "[Connection]\nAutoConnect=0\n[Prices]\nPrice_00=250\n";

TEST_F(HostileSettings, AnUnreadableFolderGivesDefaultsAndWritesFailQuietly) {
  Store(kReadableStore);
  std::vector<std::string> before, after;
  bool bPriceDialogClosed = false;
  {
    CUnreadableFolder unreadable(m_config.Path() + "/Tessaline");
    RunProgram([&](CVendingPanelDlg& panel) {
      before = Prices(panel);
      Open(panel, ID_SETTINGS_EDITPRICES, [&](CDialog& dlg) {
        Edit(dlg, IDC_PRICE_1)->setText("3.00");
        Button(dlg, IDOK)->click();
        bPriceDialogClosed = !QtWidget(dlg.GetSafeHwnd())->isVisible();
      });
      after = Prices(panel);
      Open(panel, ID_SETTINGS_ACCEPTORCONTROL, [](CDialog& dlg) { Button(dlg, IDOK)->click(); });
    });
  }
  // AutoConnect could not be read: start-up dialled with the defaults.
  EXPECT_EQ(m_dialer.m_dialled, std::vector<std::string>{"LX-5200"});
  EXPECT_EQ(m_messages, std::vector<std::string>{kDialFailed});
  EXPECT_EQ(before, std::vector<std::string>(10, "1.00"));
  EXPECT_TRUE(bPriceDialogClosed);
  EXPECT_EQ(after, std::vector<std::string>(10, "1.00"));
  EXPECT_EQ(ReadWholeFile(m_config.SettingsFile()), kReadableStore);
}

TEST_F(HostileSettings, AMissingFolderGivesDefaultsAndTheFirstWriteMakesIt) {
  const std::string strMissing = m_config.Path() + "/gone/deeper";
  qputenv("XDG_CONFIG_HOME", strMissing.c_str());  // CTempConfig puts the old value back
  std::vector<std::string> before, after;
  RunProgram([&](CVendingPanelDlg& panel) {
    before = Prices(panel);
    Open(panel, ID_SETTINGS_EDITPRICES, [](CDialog& dlg) {
      Edit(dlg, IDC_PRICE_1)->setText("3.00");
      Button(dlg, IDOK)->click();
    });
    after = Prices(panel);
  });
  EXPECT_EQ(m_messages, std::vector<std::string>{kDialFailed});
  EXPECT_EQ(before[0], "1.00");
  EXPECT_EQ(after[0], "3.00");
  EXPECT_NE(ReadWholeFile(strMissing + "/Tessaline/Mintora.conf").find("Price_00=300"),
            std::string::npos);
}

// Something other than a settings file in its place: a folder, a FIFO (reading it would wait for
// a writer for ever), a device that never ends, or a folder where the lock file beside the store
// goes while it is written.
enum class EInTheWay { FolderAsFile, Fifo, EndlessDevice, FolderAsLock };

class UnwritableStore : public HostileSettings, public ::testing::WithParamInterface<EInTheWay> {};

TEST_P(UnwritableStore, DialogsCloseAsUsualAndNothingIsLost) {
  const std::string strFile = m_config.SettingsFile();
  QDir().mkpath(QString::fromStdString(m_config.Path() + "/Tessaline"));
  switch (GetParam()) {
  case EInTheWay::FolderAsFile: QDir().mkpath(QString::fromStdString(strFile)); break;
  case EInTheWay::Fifo: ASSERT_EQ(mkfifo(strFile.c_str(), 0600), 0); break;
  case EInTheWay::EndlessDevice: ASSERT_EQ(symlink("/dev/zero", strFile.c_str()), 0); break;
  case EInTheWay::FolderAsLock:
    Store(kReadableStore);
    QDir().mkpath(QString::fromStdString(strFile + ".lock"));
    break;
  }
  const bool bLock = GetParam() == EInTheWay::FolderAsLock;
  std::vector<std::string> after;
  int nDialogsClosed = 0;
  RunProgram([&](CVendingPanelDlg& panel) {
    Open(panel, ID_SETTINGS_EDITPRICES, [&](CDialog& dlg) {
      Edit(dlg, IDC_PRICE_1)->setText("3.00");
      Button(dlg, IDOK)->click();
      nDialogsClosed += !QtWidget(dlg.GetSafeHwnd())->isVisible();
    });
    after = Prices(panel);
    Open(panel, ID_SETTINGS_CONNECTION, [&](CDialog& dlg) {
      Button(dlg, IDOK)->click();
      nDialogsClosed += !QtWidget(dlg.GetSafeHwnd())->isVisible();
    });
    Open(panel, ID_SETTINGS_ACCEPTORCONTROL, [&](CDialog& dlg) {
      Button(dlg, IDC_ACCEPT_COIN_1)->click();
      Button(dlg, IDOK)->click();
      nDialogsClosed += !QtWidget(dlg.GetSafeHwnd())->isVisible();
    });
  });
  EXPECT_EQ(nDialogsClosed, 3);
  if (bLock) {
    // Readable as ever; only the writes were given up.
    EXPECT_EQ(after[0], "2.50");
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(ReadWholeFile(strFile), kReadableStore);
    EXPECT_TRUE(QFileInfo(QString::fromStdString(strFile + ".lock")).isDir());
  } else {
    // Nothing readable: start-up dialled with the defaults, and nothing could be stored.
    EXPECT_EQ(m_dialer.m_dialled, std::vector<std::string>{"LX-5200"});
    EXPECT_EQ(m_messages, std::vector<std::string>{kDialFailed});
    EXPECT_EQ(after[0], "1.00");
    struct stat info = {};
    ASSERT_EQ(lstat(strFile.c_str(), &info), 0);
    const mode_t nKind = info.st_mode & S_IFMT;
    EXPECT_EQ(nKind, GetParam() == EInTheWay::FolderAsFile ? S_IFDIR
                     : GetParam() == EInTheWay::Fifo       ? S_IFIFO
                                                           : S_IFLNK);
  }
}

std::string InTheWayName(const ::testing::TestParamInfo<EInTheWay>& info) {
  const char* const names[] = {"FolderAsSettingsFile", "FifoAsSettingsFile",
                               "DevZeroAsSettingsFile", "FolderAsLockFile"};
  return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(InTheWay, UnwritableStore,
                         ::testing::Values(EInTheWay::FolderAsFile, EInTheWay::Fifo,
                                           EInTheWay::EndlessDevice, EInTheWay::FolderAsLock),
                         InTheWayName);

// ---------------------------------------------------------------------------------------------
// The real executable with a hostile store around a loopback address, which keeps its link at
// home.

class HostileSettingsProcess : public ::testing::Test {
protected:
  CTempConfig m_config;
  CMintoraProcess m_program;
};

TEST_F(HostileSettingsProcess, HostileEntriesAroundAWorkingLink) {
  std::string strStore = StoreOf("\xff\xfe" + kMegabyteText, "-2147483649");
  strStore = With(strStore, "IPAddress", "127.0.0.2");
  const unsigned nComm = TakePorts(EPortRange::HostileSettings);
  strStore = With(strStore, "PortCommunication", std::to_string(nComm));
  strStore = With(strStore, "PortControl", std::to_string(nComm + 1));
  strStore = With(strStore, "AutoConnect", "yes");  // not a number: the start-up default 1
  CUdpPeer comm("127.0.0.2", nComm);
  CUdpPeer control("127.0.0.2", nComm + 1);
  ASSERT_TRUE(m_program.Start(m_config, strStore));
  const std::vector<std::string> before = ReadOwnEntries();
  EXPECT_EQ(DrivesTheDeviceUntil(SIGHUP, m_program, comm, control, nComm), "");
  EXPECT_EQ(ReadOwnEntries(), before);
}

}  // namespace
