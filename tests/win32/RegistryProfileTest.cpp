// The settings store in the registry: value types and sizes as stored by others and by the
// program, sections made by reads, and the framework's own sections.
#include "TestWin32.h"

#include <gtest/gtest.h>

using namespace testing_win32;

namespace {

class RegistryProfile : public ::testing::Test {
protected:
  /// Stores a raw value in a section, as another program or an editor would.
  void Store(const char* lpszSection, const char* lpszEntry, DWORD dwType, const Bytes& data) {
    HKEY hKey = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, m_app.Key(lpszSection).c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &hKey, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(hKey, lpszEntry, 0, dwType, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(hKey);
  }
  /// The raw value's type and bytes. @returns false when it is missing.
  bool Stored(const char* lpszSection, const char* lpszEntry, DWORD& rdwType, Bytes& rData) {
    BYTE buffer[256];
    DWORD dwSize = sizeof buffer;
    if (RegGetValueA(HKEY_CURRENT_USER, m_app.Key(lpszSection).c_str(), lpszEntry,
                     RRF_RT_ANY | RRF_NOEXPAND, &rdwType, buffer, &dwSize) != ERROR_SUCCESS)
      return false;
    rData.assign(buffer, buffer + dwSize);
    return true;
  }
  /// How many values the section holds; -1 when the section is missing.
  int ValueCount(const char* lpszSection) {
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, m_app.Key(lpszSection).c_str(), 0, KEY_READ, &hKey) !=
        ERROR_SUCCESS)
      return -1;
    DWORD dwValues = 0;
    RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &dwValues, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(hKey);
    return static_cast<int>(dwValues);
  }

  CRegistryApp m_app;
};

// ---------------------------------------------------------------------------------------------
// Values already in the registry, read as integer and as text. Only a REG_DWORD of four bytes is
// an integer, only a REG_SZ a text; anything else reads as missing, that is as the default.

constexpr UINT kIntDefault = 55;
constexpr const char* kTextDefault = "(default)";

struct StoredCase {
  const char* pszName;
  DWORD dwType;
  Bytes data;
  UINT nAsInt;
  const char* pszAsText;
};

void PrintTo(const StoredCase& c, std::ostream* pOut) { *pOut << c.pszName; }

class StoredValue : public RegistryProfile, public ::testing::WithParamInterface<StoredCase> {};

TEST_P(StoredValue, ReadsAsItStands) {
  const StoredCase& c = GetParam();
  Store("Prices", "Price_00", c.dwType, c.data);
  EXPECT_EQ(m_app.GetProfileInt("Prices", "Price_00", kIntDefault), c.nAsInt);
  EXPECT_EQ(m_app.GetProfileString("Prices", "Price_00", kTextDefault), c.pszAsText);
}

INSTANTIATE_TEST_SUITE_P(
    Values, StoredValue,
    ::testing::Values(
        StoredCase{"Word150", REG_DWORD, {0x96, 0, 0, 0}, 150u, kTextDefault},
        StoredCase{"WordAllOnes", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFFu, kTextDefault},
        StoredCase{"WordTopBit", REG_DWORD, {0, 0, 0, 0x80}, 0x80000000u, kTextDefault},
        StoredCase{"WordOfTwoBytes", REG_DWORD, {0x96, 0}, kIntDefault, kTextDefault},
        StoredCase{
            "WordOfEightBytes", REG_DWORD, {1, 0, 0, 0, 0, 0, 0, 0}, kIntDefault, kTextDefault},
        StoredCase{
            "BigEndianWord", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 0x96}, kIntDefault, kTextDefault},
        StoredCase{"QuadWord", REG_QWORD, {0x96, 0, 0, 0, 0, 0, 0, 0}, kIntDefault, kTextDefault},
        StoredCase{"FourBinaryBytes", REG_BINARY, {0x96, 0, 0, 0}, kIntDefault, kTextDefault},
        StoredCase{"NumberAsText", REG_SZ, {'1', '5', '0', 0}, kIntDefault, "150"},
        StoredCase{"EmptyText", REG_SZ, {0}, kIntDefault, ""},
        StoredCase{"TextOfNoBytes", REG_SZ, {}, kIntDefault, ""},
        StoredCase{"TextWithoutItsNul", REG_SZ, {'L', 'X'}, kIntDefault, "LX"},
        StoredCase{"TextEndsAtItsFirstNul", REG_SZ, {'L', 'X', 0, 'Y', 0}, kIntDefault, "LX"},
        StoredCase{"ExpandableText", REG_EXPAND_SZ, {'%', 'A', '%', 0}, kIntDefault, kTextDefault},
        StoredCase{"MultiText", REG_MULTI_SZ, {'a', 0, 'b', 0, 0}, kIntDefault, kTextDefault}),
    [](const ::testing::TestParamInfo<StoredCase>& info) { return info.param.pszName; });

// ---------------------------------------------------------------------------------------------
// What the program writes, byte for byte as the registry holds it.

struct WrittenCase {
  const char* pszName;
  std::function<bool(CWinApp&)> write;
  DWORD dwType;
  Bytes data;
};

void PrintTo(const WrittenCase& c, std::ostream* pOut) { *pOut << c.pszName; }

class WrittenValue : public RegistryProfile, public ::testing::WithParamInterface<WrittenCase> {};

TEST_P(WrittenValue, IsStoredWithItsTypeAndReadBack) {
  const WrittenCase& c = GetParam();
  ASSERT_TRUE(c.write(m_app));
  DWORD dwType = 0;
  Bytes data;
  ASSERT_TRUE(Stored("Connection", "Entry", dwType, data));
  EXPECT_EQ(dwType, c.dwType);
  EXPECT_EQ(data, c.data);
  if (c.dwType == REG_DWORD) {
    const UINT nValue = data[0] | data[1] << 8 | data[2] << 16 | static_cast<UINT>(data[3]) << 24;
    EXPECT_EQ(m_app.GetProfileInt("Connection", "Entry", ~nValue), nValue);
  } else {
    EXPECT_EQ(m_app.GetProfileString("Connection", "Entry", "x"),
              std::string(data.begin(), data.end() - 1));
  }
}

std::function<bool(CWinApp&)> WriteInt(UINT nValue) {
  return [nValue](CWinApp& app) { return app.WriteProfileInt("Connection", "Entry", nValue); };
}
std::function<bool(CWinApp&)> WriteText(const char* pszText) {
  return [pszText](CWinApp& app) { return app.WriteProfileString("Connection", "Entry", pszText); };
}

INSTANTIATE_TEST_SUITE_P(
    Writes, WrittenValue,
    ::testing::Values(
        WrittenCase{"Port4003", WriteInt(4003), REG_DWORD, {0xA3, 0x0F, 0, 0}},
        WrittenCase{"Zero", WriteInt(0), REG_DWORD, {0, 0, 0, 0}},
        WrittenCase{"AllOnes", WriteInt(0xFFFFFFFFu), REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}},
        WrittenCase{"CoinMask", WriteInt(0x8001u), REG_DWORD, {0x01, 0x80, 0, 0}},
        WrittenCase{"Name", WriteText("LX-5200"), REG_SZ, {'L', 'X', '-', '5', '2', '0', '0', 0}},
        WrittenCase{"EmptyText", WriteText(""), REG_SZ, {0}},
        WrittenCase{"NoTextIsEmpty", WriteText(nullptr), REG_SZ, {0}},
        WrittenCase{
            "EightBitText", WriteText("Z\xFCrich"), REG_SZ, {'Z', 0xFC, 'r', 'i', 'c', 'h', 0}}),
    [](const ::testing::TestParamInfo<WrittenCase>& info) { return info.param.pszName; });

// ---------------------------------------------------------------------------------------------

TEST_F(RegistryProfile, AReadMakesTheMissingSectionAndWritesNoValue) {
  ASSERT_EQ(ValueCount("Connection"), -1);
  EXPECT_EQ(m_app.GetProfileInt("Connection", "AutoConnect", 1), 1u);
  EXPECT_EQ(ValueCount("Connection"), 0);
  EXPECT_EQ(m_app.GetProfileString("Prices", "Price_00", "100"), "100");
  EXPECT_EQ(ValueCount("Prices"), 0);
}

TEST_F(RegistryProfile, LivesUnderTheCompanyAndApplicationKey) {
  EXPECT_EQ(m_app.GetProfilePath(), "HKEY_CURRENT_USER\\" + m_app.Key());
  CWinApp bare("Mintora");  // without SetRegistryKey the application name stands alone
  EXPECT_EQ(bare.GetProfilePath(), "HKEY_CURRENT_USER\\Software\\Mintora");
}

TEST_F(RegistryProfile, StandardSectionsGoBackAsTheyWereRead) {
  Store("Recent File List", "File1", REG_SZ, {'a', 0});
  Store("Recent File List", "File3", REG_SZ, {'c', 0});
  Store("Recent File List", "Stale", REG_SZ, {'s', 0});  // not one of File1..File10
  Store("Settings", "PreviewPages", REG_DWORD, {2, 0, 0, 0});
  m_app.LoadStdProfileSettings(10);
  m_app.ExitInstance();
  EXPECT_EQ(ValueCount("Recent File List"), 2);
  EXPECT_EQ(m_app.GetProfileString("Recent File List", "File1"), "a");
  EXPECT_EQ(m_app.GetProfileString("Recent File List", "File3"), "c");
  EXPECT_EQ(m_app.GetProfileInt("Settings", "PreviewPages", 0), 2u);
}

TEST_F(RegistryProfile, NothingIsWrittenAtExitWhenTheStandardSectionsAreEmpty) {
  m_app.LoadStdProfileSettings(10);
  m_app.ExitInstance();
  EXPECT_EQ(ValueCount("Recent File List"), 0);
  EXPECT_EQ(ValueCount("Settings"), 0);
}

}  // namespace
