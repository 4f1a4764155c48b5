// The Wireshark dissector (wireshark/lx5200e.lua) read by tshark over a whole session that the
// simulated device captured: start-up, deposits, a vend, Change Return, a changer reset and each
// malformed kind the device can send. The expected values are the sim's documented defaults.
#include "QtPlatform.h"
#include "Resource.h"
#include "TestSupport.h"
#include "VendingPanelDlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace testing_support;

namespace {

const unsigned kComm = TakePorts(EPortRange::Dissector);
const unsigned kPeerComm = TakePorts(EPortRange::Dissector);

/// The copy of the dissector that a system-wide install (the package) put in tshark's global Lua
/// plugin folder, or "" when there is none. tshark loads that copy on its own, and a second one
/// given with -X would register the protocol twice.
const std::string& InstalledDissector() {
  static const std::string s_strPath = [] {
    QProcess process;
    process.start(TSHARK_EXE, {"-G", "folders"});
    process.waitForFinished(30000);
    for (const QString& strLine :
         QString::fromLocal8Bit(process.readAllStandardOutput()).split('\n')) {
      if (strLine.startsWith("Global Lua Plugins:")) {
        const QString strFile = strLine.section('\t', -1).trimmed() + "/lx5200e.lua";
        if (QFileInfo::exists(strFile))
          return strFile.toStdString();
      }
    }
    return std::string();
  }();
  return s_strPath;
}

/// Fails the test when tshark is missing, or when it would read an installed copy of the
/// dissector that differs from this tree's: either way this tree's dissector cannot be tested.
#define ASSERT_THIS_DISSECTOR_READABLE()                                              \
  do {                                                                                \
    ASSERT_FALSE(std::string(TSHARK_EXE).empty())                                     \
        << "tshark is not installed (scripts/setup installs it)";                     \
    ASSERT_TRUE(InstalledDissector().empty() ||                                       \
                ReadWholeFile(InstalledDissector()) == ReadWholeFile(LX5200E_LUA))    \
        << "tshark loads another copy of the dissector from " << InstalledDissector() \
        << " (remove the package to test this tree's)";                               \
  } while (false)

/// tshark with the dissector under test and the session's ports as preferences, in a home of its
/// own so that no personal plugin or preference gets in. An installed copy that is the same as
/// this tree's is read as it is, without a second one. bPersonalCopy puts this tree's copy in the
/// home's plugin folder as well and still gives it with -X, as a user who installed it does.
class CTshark {
public:
  explicit CTshark(unsigned nComm = kComm, bool bPersonalCopy = false)
      : m_nComm(nComm), m_bBothCopies(bPersonalCopy) {
    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert("HOME", m_home.path());
    m_env.remove("WIRESHARK_CONFIG_DIR");
    const QString strPlugins = m_home.path() + "/.local/lib/wireshark/plugins";
    if (bPersonalCopy && QDir().mkpath(strPlugins))
      QFile::copy(LX5200E_LUA, strPlugins + "/lx5200e.lua");
  }
  /// Runs tshark on strCapture with extra arguments. @returns standard output; strErrors gets
  /// standard error.
  std::string Run(const std::string& strCapture, const QStringList& extra,
                  std::string* pstrErrors = nullptr) {
    QProcess process;
    process.setProcessEnvironment(m_env);
    process.start(TSHARK_EXE,
                  QStringList{"-n", "-r", QString::fromStdString(strCapture)} +
                      (InstalledDissector().empty() || m_bBothCopies
                           ? QStringList{"-X", "lua_script:" LX5200E_LUA}
                           : QStringList{}) +
                      QStringList{"-o", QStringLiteral("lx5200e.comm_port:%1").arg(m_nComm), "-o",
                                  QStringLiteral("lx5200e.control_port:%1").arg(m_nComm + 1), "-o",
                                  "ip.check_checksum:TRUE", "-o", "udp.check_checksum:TRUE"} +
                      extra);
    process.waitForFinished(60000);
    if (pstrErrors)
      *pstrErrors = process.readAllStandardError().toStdString();
    return process.readAllStandardOutput().toStdString();
  }
  /// One row per frame that matches strFilter, its fields by name.
  std::vector<std::map<std::string, std::string>> Rows(const std::string& strCapture,
                                                       const std::string& strFilter,
                                                       const QStringList& fields,
                                                       const QStringList& extra = {}) {
    QStringList args = extra;
    args << QStringList{"-Y", QString::fromStdString(strFilter),
                        "-T", "fields",
                        "-E", "occurrence=a",
                        "-E", "aggregator=,"};
    for (const QString& strField : fields)
      args << "-e" << strField;
    std::vector<std::map<std::string, std::string>> rows;
    std::istringstream lines(Run(strCapture, args));
    for (std::string strLine; std::getline(lines, strLine);) {
      const QStringList values = QString::fromStdString(strLine).split('\t');
      std::map<std::string, std::string> row;
      for (int i = 0; i < fields.size() && i < values.size(); ++i)
        row[fields[i].toStdString()] = values[i].toStdString();
      rows.push_back(row);
    }
    return rows;
  }

private:
  unsigned m_nComm;
  bool m_bBothCopies;
  QTemporaryDir m_home;
  QProcessEnvironment m_env;
};

/// Records the session once: the panel in this process, the sim as a process writing the capture.
class DissectorSession : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    AfxSetMessageBeepHook([](UINT) {});
    AfxSetMessageBoxHook([](const std::string&, UINT) { return IDOK; });
    s_pCaptureDir = new QTemporaryDir;
    s_strCapture = s_pCaptureDir->path().toStdString() + "/session.pcap";
    CTempConfig config;
    CTestLinkApp app;
    StoreLoopbackLink(app, kComm);
    app.WriteProfileInt("AcceptorControl", "CoinAccept", 0x003F);
    app.WriteProfileInt("Prices", "Price_00", 100);
    CSimProcess sim;
    if (!sim.Start(kComm, kComm + 1, 5, {"--capture", QString::fromStdString(s_strCapture)}) ||
        !app.Connect())
      return;
    CVendingPanelDlg panel;
    app.m_pMainWnd = &panel;
    CDialog::SetShownHook([&](CDialog& dlg) {
      if (&dlg != &panel)
        return;
      // The first start-up: under a sanitizer on a busy machine longer than the usual wait.
      const bool bEnabled = sim.WaitFor("ENABLED accept 003F", 30000);
      sim.Type("insert 2");  // 0.20 into its tube
      sim.Type("insert 5");  // 2.00, a coin type without a tube: the cash box
      const bool bDeposits = sim.WaitFor("ACCEPTED coin 5") &&
                             PumpUntil([&] { return panel.GetDlgItemText(IDC_CREDIT) == "2.20"; });
      panel.RouteCommand(IDC_PRODUCT_1);      // a vend of 1.00: nothing on the wire
      panel.RouteCommand(IDC_CHANGE_RETURN);  // 1.20 = 24 units of 5
      const bool bPaid = sim.WaitFor("PAID 120 of 120");
      sim.Type("reset");
      const bool bRestarted = sim.WaitFor("ENABLED accept 003F");
      sim.Type("fault short");
      sim.Type("reset");
      const bool bShort = sim.WaitFor("TX COMM 5 08 03 19 78 05 SETUP RESPONSE (SHORT)") &&
                          sim.WaitFor("ENABLED accept 003F");
      sim.Type("fault withhold");
      sim.Type("reset");
      const bool bWithheld = sim.WaitFor("FAULT withheld") && sim.WaitFor("ENABLED accept 003F");
      sim.Type("fault header");
      const bool bHeader = sim.WaitFor("TX COMM 1 10 TICK (WRONG HEADER)");
      sim.Type("fault oversize");
      const bool bOversize = sim.WaitFor("TX COMM 1025");
      s_bRecorded = bEnabled && bDeposits && bPaid && bRestarted && bShort && bWithheld &&
                    bHeader && bOversize;
      panel.SendMessage(WM_CLOSE);
    });
    panel.DoModal();
    s_bRecorded = s_bRecorded && sim.WaitFor("RX CTRL 3 08 03 00 CONTROL 0 OFF");
    // Empty datagrams last, after the program said goodbye: they are dropped, and the capture
    // shows them on both ports.
    sim.Type("fault empty");
    sim.Type("fault empty control");
    s_bRecorded = s_bRecorded && sim.WaitFor("TX CTRL 0 EMPTY");
    app.Disconnect();
    CDialog::SetShownHook(nullptr);
    AfxSetMessageBeepHook(nullptr);
    AfxSetMessageBoxHook(nullptr);
  }
  static void TearDownTestSuite() { delete s_pCaptureDir; }
  void SetUp() override {
    ASSERT_THIS_DISSECTOR_READABLE();
    ASSERT_TRUE(s_bRecorded) << "the session did not run as planned";
  }

  static inline QTemporaryDir* s_pCaptureDir = nullptr;
  static inline std::string s_strCapture;
  static inline bool s_bRecorded = false;
  CTshark m_tshark;
};

TEST_F(DissectorSession, EveryFrameDecodesWithoutALuaError) {
  std::string strErrors;
  const std::string strText = m_tshark.Run(s_strCapture, {"-V"}, &strErrors);
  EXPECT_EQ(strErrors.find("Lua"), std::string::npos) << strErrors;
  EXPECT_EQ(strText.find("Lua Error"), std::string::npos);
  EXPECT_EQ(strText.find("dissector fault"), std::string::npos);
  EXPECT_EQ(strText.find("Malformed Packet"), std::string::npos);
  // The capture file itself is sound: every IPv4 and UDP checksum holds.
  const auto bad = m_tshark.Rows(
      s_strCapture, "ip.checksum.status != 1 or udp.checksum.status != 1", {"frame.number"});
  EXPECT_TRUE(bad.empty()) << bad.size() << " frames with a bad checksum";
  // The one-line summaries carry the Info column.
  const std::string strSummary = m_tshark.Run(s_strCapture, {});
  EXPECT_NE(strSummary.find("PC → device PAYOUT 24 units"), std::string::npos);
  // The dispense mask is the changer's manual dispensing, not what a payout may use.
  EXPECT_NE(strText.find("Coin type 0: not dispensed by hand"), std::string::npos);
  // Every datagram on the two ports is ours: none is left to the generic data dissector.
  const auto rows =
      m_tshark.Rows(s_strCapture, "udp and not lx5200e", {"frame.number", "udp.length"});
  EXPECT_TRUE(rows.empty()) << rows.size() << " frames not decoded, the first "
                            << rows.front().at("frame.number");
}

// Loaded from a plugin folder and again with -X (the package installed, the README's command
// typed): the first copy decodes, the second steps aside and says so.
TEST_F(DissectorSession, ASecondCopyStepsAsideAndTheFirstDecodes) {
  CTshark tshark(kComm, true);
  std::string strErrors;
  const std::string strSummary = tshark.Run(s_strCapture, {}, &strErrors);
  EXPECT_NE(strErrors.find(LX5200E_LUA ": not loaded: the protocol lx5200e is registered already"),
            std::string::npos)
      << strErrors;
  EXPECT_EQ(strErrors.find("Lua: Error"), std::string::npos) << strErrors;
  EXPECT_NE(strSummary.find("PC → device PAYOUT 24 units"), std::string::npos);
}

TEST_F(DissectorSession, TheDirectionFollowsTheControlTrafficAndTheAddressesAreTheRealOnes) {
  const auto rows = m_tshark.Rows(s_strCapture, "lx5200e",
                                  {"ip.src", "udp.srcport", "udp.dstport", "lx5200e.direction",
                                   "lx5200e.direction_guessed", "lx5200e.kind"});
  ASSERT_GT(rows.size(), 100u);
  for (const auto& row : rows) {
    const bool bFromDevice = row.at("ip.src") == "127.0.0.2";
    EXPECT_EQ(row.at("lx5200e.direction"), bFromDevice ? "device to PC" : "PC to device");
    EXPECT_TRUE(row.at("udp.srcport") == std::to_string(kComm) ||
                row.at("udp.srcport") == std::to_string(kComm + 1));
    EXPECT_EQ(row.at("udp.srcport"), row.at("udp.dstport"));
    EXPECT_EQ(row.at("lx5200e.direction_guessed"), "");
    // Exactly one kind on every frame, so that a filter on it can pick out any of them.
    EXPECT_FALSE(row.at("lx5200e.kind").empty());
    EXPECT_EQ(row.at("lx5200e.kind").find(','), std::string::npos) << row.at("lx5200e.kind");
  }
}

// One named row per kind of datagram: the Info line that shows it, then fields it must carry.
struct DecodedCase {
  const char* pszName;
  const char* pszInfo;
  std::map<std::string, std::string> fields;
};

TEST_F(DissectorSession, EachKindOfDatagramDecodesToItsFields) {
  const std::vector<DecodedCase> cases = {
      {"control 11",
       "PC → device control 11 POLL ON",
       {{"lx5200e.control_code", "11"}, {"lx5200e.kind", "control"}}},
      {"control 18", "PC → device control 18 REPORT ON", {{"lx5200e.control_code", "18"}}},
      {"control 0", "PC → device control 0 OFF", {{"lx5200e.control_code", "0"}}},
      {"tick", "device → PC tick", {{"lx5200e.header", "0x08"}, {"lx5200e.kind", "tick"}}},
      {"reset report",
       "device → PC JUST RESET",
       {{"lx5200e.status", "0x0b"}, {"lx5200e.kind", "poll status"}}},
      {"RESET", "PC → device RESET", {{"lx5200e.command", "0x08"}, {"lx5200e.kind", "command"}}},
      {"SETUP", "PC → device SETUP", {{"lx5200e.command", "0x09"}}},
      {"SETUP response",
       "device → PC SETUP response (scaling 5, 2 decimals)",
       {{"lx5200e.answers", "SETUP"},
        {"lx5200e.kind", "response"},
        {"lx5200e.feature_level", "3"},
        {"lx5200e.country_code", "1978"},
        {"lx5200e.scaling_factor", "5"},
        {"lx5200e.decimal_places", "2"},
        {"lx5200e.coin_routing", "0x000f"},
        {"lx5200e.coin_credit", "1,2,4,10,20,40,0,0,0,0,0,0,0,0,0,0"}}},
      {"IDENTIFICATION",
       "PC → device EXPANSION IDENTIFICATION",
       {{"lx5200e.command", "0x0f"}, {"lx5200e.subcommand", "0x00"}}},
      {"IDENTIFICATION response",
       "device → PC IDENTIFICATION response TSL 197800042917",
       {{"lx5200e.manufacturer", "TSL"},
        {"lx5200e.serial", "197800042917"},
        {"lx5200e.model", "LX5200E-CG  "},
        {"lx5200e.software_version", "0123"},
        {"lx5200e.optional_features", "0x00000005"}}},
      {"FEATURE ENABLE",
       "PC → device EXPANSION FEATURE ENABLE 00000000",
       {{"lx5200e.subcommand", "0x01"}, {"lx5200e.feature_enable", "0x00000000"}}},
      {"TUBE STATUS", "PC → device TUBE STATUS", {{"lx5200e.command", "0x0a"}}},
      {"TUBE STATUS response",
       "device → PC TUBE STATUS response (24,30,18,9,0,0,0,0,0,0,0,0,0,0,0,0)",
       {{"lx5200e.tube_full", "0x0000"},
        {"lx5200e.tube_count", "24,30,18,9,0,0,0,0,0,0,0,0,0,0,0,0"}}},
      {"COIN TYPE",
       "PC → device COIN TYPE accept 003F dispense 0000",
       {{"lx5200e.coin_accept", "0x003f"}, {"lx5200e.coin_dispense", "0x0000"}}},
      {"deposit to a tube",
       "device → PC deposit coin type 2 to tube (19 in tube)",
       {{"lx5200e.coin_type", "2"},
        {"lx5200e.routing", "1"},
        {"lx5200e.tube_count", "19"},
        {"lx5200e.kind", "coin deposited"}}},
      {"deposit to the cash box",
       "device → PC deposit coin type 5 to cash box (0 in tube)",
       {{"lx5200e.coin_type", "5"}, {"lx5200e.routing", "0"}}},
      {"PAYOUT",
       "PC → device PAYOUT 24 units",
       {{"lx5200e.subcommand", "0x02"}, {"lx5200e.payout_units", "24"}}},
      {"short answer",
       "device → PC SETUP response (short: 5 of 24 bytes)",
       {{"lx5200e.answers", "SETUP"}, {"lx5200e.scaling_factor", "5"}}},
      {"wrong header",
       "device → PC wrong header 0x10",
       {{"lx5200e.header", "0x10"}, {"lx5200e.kind", "wrong header"}}},
      {"empty on the communication port",
       "device → PC empty datagram",
       {{"lx5200e.channel", "communication"}, {"lx5200e.kind", "empty"}}},
      {"empty on the control port",
       "device → PC 0 bytes on the control port (dropped by the PC)",
       {{"lx5200e.channel", "control"}, {"lx5200e.kind", "from the device on the control port"}}},
      {"oversized", "device → PC oversized datagram (1025 bytes)", {{"lx5200e.kind", "oversized"}}},
  };
  QStringList fields{"lx5200e.summary"};
  for (const DecodedCase& decoded : cases)
    for (const auto& [strField, strValue] : decoded.fields)
      if (!fields.contains(QString::fromStdString(strField)))
        fields << QString::fromStdString(strField);
  const auto rows = m_tshark.Rows(s_strCapture, "lx5200e", fields);
  for (const DecodedCase& decoded : cases) {
    SCOPED_TRACE(decoded.pszName);
    const auto found = std::find_if(rows.begin(), rows.end(), [&](const auto& row) {
      return row.at("lx5200e.summary") == decoded.pszInfo;
    });
    ASSERT_NE(found, rows.end()) << "no frame shows " << decoded.pszInfo;
    for (const auto& [strField, strValue] : decoded.fields)
      EXPECT_EQ(found->at(strField), strValue) << strField;
  }
}

TEST_F(DissectorSession, EachMalformedKindIsReportedAsExpertInformation) {
  const std::vector<std::pair<const char*, size_t>> cases = {
      {"lx5200e.short", 1},    {"lx5200e.bad_header", 1},          {"lx5200e.empty", 1},
      {"lx5200e.oversize", 1}, {"lx5200e.control_from_device", 1},
  };
  for (const auto& [pszFilter, nFrames] : cases)
    EXPECT_EQ(m_tshark.Rows(s_strCapture, pszFilter, {"frame.number"}).size(), nFrames)
        << pszFilter;
}

// Without control traffic (a device that polls at once, --peer), the sides come from the
// device-address preference, or else from the first response block and, before it, from the bytes.
TEST(DissectorWithoutControlTraffic, TellsTheSidesFromThePreferenceOrTheConversation) {
  ASSERT_THIS_DISSECTOR_READABLE();
  QTemporaryDir dir;
  const std::string strCapture = dir.path().toStdString() + "/peer.pcap";
  {
    CUdpPeer pc("127.0.0.1", kPeerComm);
    CSimProcess sim;
    ASSERT_TRUE(
        sim.Start(kPeerComm, kPeerComm + 1, 5,
                  {"--peer", "127.0.0.1", "--capture", QString::fromStdString(strCapture)}));
    ASSERT_TRUE(sim.WaitFor("TX COMM 2 08 0B CHANGER WAS RESET"));
    pc.SendTo("127.0.0.2", kPeerComm, {0x09});
    ASSERT_TRUE(sim.WaitFor("TX COMM 24"));
    pc.SendTo("127.0.0.2", kPeerComm, {0x0A});
    ASSERT_TRUE(sim.WaitFor("TX COMM 19"));
  }
  struct {
    const char* pszName;
    QStringList prefs;
    bool bGuessesBeforeTheFirstBlock;
  } const cases[] = {
      {"device address preference", {"-o", "lx5200e.device_address:127.0.0.2"}, false},
      {"no preference", {}, true},
  };
  CTshark tshark(kPeerComm);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pszName);
    const auto rows = tshark.Rows(
        strCapture, "lx5200e",
        {"ip.src", "lx5200e.direction", "lx5200e.direction_guessed", "lx5200e.summary"}, c.prefs);
    bool bBlockSeen = false;
    size_t nGuessed = 0;
    for (const auto& row : rows) {
      EXPECT_EQ(row.at("lx5200e.direction"),
                row.at("ip.src") == "127.0.0.2" ? "device to PC" : "PC to device")
          << row.at("lx5200e.summary");
      const bool bGuessed = !row.at("lx5200e.direction_guessed").empty();
      EXPECT_FALSE(bGuessed && bBlockSeen) << "guessed after the first block";
      nGuessed += bGuessed ? 1 : 0;
      bBlockSeen = bBlockSeen || row.at("lx5200e.summary").find("response") != std::string::npos;
    }
    EXPECT_TRUE(bBlockSeen);
    EXPECT_EQ(nGuessed > 0, c.bGuessesBeforeTheFirstBlock);
  }
}

}  // namespace
