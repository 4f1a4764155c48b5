// The settings store, one suite for both implementations: where it lives, defaults, 32-bit words,
// texts, values stored by others, what the program writes, and the framework's own sections.
// The raw store is the platform's row: on Linux the text of the settings file, on Windows the
// registry's typed values (only a four-byte REG_DWORD is a number, only a REG_SZ a text).
#include "TestPlatform.h"
#include "TestStore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>

#ifdef _WIN32
#include "TestSockets.h"  // the Windows headers, in the order they need

#include <windows.h>
// Macros of the Windows headers that would rename the application's own operations.
#undef GetProfileInt
#undef GetProfileString
#undef WriteProfileString
#endif

using namespace testing_support;

namespace {

#ifdef _WIN32
using Bytes = std::vector<BYTE>;

/// A value as the registry holds it.
struct RawValue {
  DWORD dwType;
  Bytes data;
  bool operator==(const RawValue&) const = default;
};
void PrintTo(const RawValue& raw, std::ostream* pOut) {
  *pOut << "type " << raw.dwType << ", " << raw.data.size() << " bytes";
}
RawValue RawNumber(UINT nValue) {
  return {REG_DWORD,
          {static_cast<BYTE>(nValue), static_cast<BYTE>(nValue >> 8),
           static_cast<BYTE>(nValue >> 16), static_cast<BYTE>(nValue >> 24)}};
}
RawValue RawText(const std::string& strText) {
  Bytes data(strText.begin(), strText.end());
  data.push_back(0);
  return {REG_SZ, data};
}
#else
/// A value as the settings file holds it: the text after "Entry=".
using RawValue = std::string;
RawValue RawNumber(UINT nValue) { return std::to_string(nValue); }
RawValue RawText(const std::string& strText) { return strText; }
#endif

constexpr const char* kApplicationKey = "Software\\Tessaline\\Mintora";

class Profile : public ::testing::Test {
protected:
  /// Stores a raw value, as another program or an editor would.
  void Store(const std::string& strSection, const std::string& strEntry, const RawValue& raw) {
#ifdef _WIN32
    HKEY hKey = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Key(strSection).c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &hKey, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(hKey, strEntry.c_str(), 0, raw.dwType, raw.data.data(),
                   static_cast<DWORD>(raw.data.size()));
    RegCloseKey(hKey);
#else
    // The whole file is written anew with a size of its own: the store notices another writer by
    // size and time stamp, and rewrites can follow each other within one tick of the clock.
    m_file[strSection][strEntry] = raw;
    WriteFile();
#endif
  }

  /// Deletes a section with its values, as another program would.
  void DeleteSection(const std::string& strSection) {
#ifdef _WIN32
    ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, Key(strSection).c_str()), ERROR_SUCCESS);
#else
    m_file.erase(strSection);
    WriteFile();
#endif
  }

  /// The raw value as stored. @returns false when it is missing.
  bool Stored(const std::string& strSection, const std::string& strEntry, RawValue& rRaw) {
#ifdef _WIN32
    BYTE buffer[256];
    DWORD dwSize = sizeof buffer;
    rRaw.dwType = 0;
    if (RegGetValueA(HKEY_CURRENT_USER, Key(strSection).c_str(), strEntry.c_str(),
                     RRF_RT_ANY | RRF_NOEXPAND, &rRaw.dwType, buffer, &dwSize) != ERROR_SUCCESS)
      return false;
    rRaw.data.assign(buffer, buffer + dwSize);
    return true;
#else
    const auto section = FileLines(strSection);
    if (!section || section->count(strEntry) == 0)
      return false;
    rRaw = section->at(strEntry);
    return true;
#endif
  }

  /// How many values the section holds; -1 when the section is missing.
  int ValueCount(const std::string& strSection) {
#ifdef _WIN32
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, Key(strSection).c_str(), 0, KEY_READ, &hKey) !=
        ERROR_SUCCESS)
      return -1;
    DWORD dwValues = 0;
    RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &dwValues, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(hKey);
    return static_cast<int>(dwValues);
#else
    const auto section = FileLines(strSection);
    return section ? static_cast<int>(section->size()) : -1;
#endif
  }

  CTempConfig m_config;  // before the application, which finds its settings there
  CTestApp m_app;

private:
#ifdef _WIN32
  static std::string Key(const std::string& strSection) {
    return std::string(kApplicationKey) + "\\" + strSection;
  }
#else
  /// A section's name in the file: QSettings writes a blank as %20.
  static std::string FileSection(std::string strName) {
    for (size_t n = strName.find(' '); n != std::string::npos; n = strName.find(' '))
      strName.replace(n, 1, "%20");
    return strName;
  }
  /// The entries of the section in the file as it is now, or nothing without the section.
  std::optional<std::map<std::string, std::string> > FileLines(const std::string& strSection) {
    std::istringstream in(m_config.Read());
    std::optional<std::map<std::string, std::string> > lines;
    bool bInSection = false;
    for (std::string strLine; std::getline(in, strLine);) {
      if (!strLine.empty() && strLine[0] == '[') {
        bInSection = strLine == "[" + FileSection(strSection) + "]";
        if (bInSection && !lines)
          lines.emplace();
      } else if (bInSection && strLine.find('=') != std::string::npos) {
        (*lines)[strLine.substr(0, strLine.find('='))] = strLine.substr(strLine.find('=') + 1);
      }
    }
    return lines;
  }

  void WriteFile() {
    std::string strText;
    for (const auto& [strName, entries] : m_file) {
      strText += "[" + FileSection(strName) + "]\n";
      for (const auto& [strKey, strValue] : entries)
        strText += strKey + "=" + strValue + "\n";
    }
    m_strPadding += ' ';
    m_config.Write(strText + ";" + m_strPadding + "\n");
  }

  std::map<std::string, std::map<std::string, std::string> > m_file;
  std::string m_strPadding;
#endif
};

TEST_F(Profile, LivesUnderTheCompanyAndApplicationName) {
  CWinApp bare("Mintora");  // without SetRegistryKey the application name stands alone
#ifdef _WIN32
  EXPECT_EQ(m_app.GetProfilePath(), std::string("HKEY_CURRENT_USER\\") + kApplicationKey);
  EXPECT_EQ(bare.GetProfilePath(), "HKEY_CURRENT_USER\\Software\\Mintora");
#else
  EXPECT_EQ(m_app.GetProfilePath(), m_config.SettingsFile());
  EXPECT_EQ(bare.GetProfilePath(), m_config.Path() + "/Mintora.conf");
#endif
}

TEST_F(Profile, MissingEntriesGiveTheReadersDefault) {
  EXPECT_EQ(m_app.GetProfileInt("Connection", "AutoConnect", 1), 1u);
  EXPECT_EQ(m_app.GetProfileInt("Connection", "AutoConnect", 0), 0u);
  EXPECT_EQ(m_app.GetProfileString("Connection", "IPAddress", "192.168.1.1"), "192.168.1.1");
  EXPECT_EQ(m_app.GetProfileString("Connection", "IPAddress"), "");
  // Readers never write their defaults back. The registry's reader makes the missing section.
  const int nSectionAfterRead = kThisPlatform == kWindows ? 0 : -1;
  EXPECT_EQ(ValueCount("Connection"), nSectionAfterRead);
  EXPECT_EQ(m_app.GetProfileString("Prices", "Price_00", "100"), "100");
  EXPECT_EQ(ValueCount("Prices"), nSectionAfterRead);
}

TEST_F(Profile, TextsRoundTripIncludingEmptyAndCommas) {
  const char* texts[] = {"", "LX-5200", "a,b", "  spaced  ", "Zürich", "@odd", "semi;colon"};
  for (const char* pszText : texts) {
    ASSERT_TRUE(m_app.WriteProfileString("Connection", "ConnectionName", pszText));
    EXPECT_EQ(m_app.GetProfileString("Connection", "ConnectionName", "LX-5200"), pszText);
  }
}

// What another writer does to a section between two of the program's reads and between two of its
// writes (the store may hold the section open between them): the next read sees the section as
// it is now, and the next write lands in it.
struct WriterCase {
  const char* pszName;
  bool bDeletes;  ///< the other writer deletes the section first
  bool bStores;   ///< then it stores 12345 as Price_01 (and the section is made again)
  UINT nRead;     ///< what the next read of Price_01 gives
};

void PrintTo(const WriterCase& c, std::ostream* pOut) { *pOut << c.pszName; }

class AnotherWriter : public Profile, public ::testing::WithParamInterface<WriterCase> {};

TEST_P(AnotherWriter, IsSeenByTheNextReadAndTheNextWriteLandsInTheStore) {
  const WriterCase& c = GetParam();
  ASSERT_TRUE(m_app.WriteProfileInt("Prices", "Price_01", 100));
  EXPECT_EQ(m_app.GetProfileInt("Prices", "Price_01", 0), 100u);
  const auto act = [&] {
    if (c.bDeletes)
      DeleteSection("Prices");
    if (c.bStores)
      Store("Prices", "Price_01", RawNumber(12345));
  };
  act();
  EXPECT_EQ(m_app.GetProfileInt("Prices", "Price_01", 0), c.nRead);
  act();
  ASSERT_TRUE(m_app.WriteProfileInt("Prices", "Price_02", 7));
  RawValue raw;
  ASSERT_TRUE(Stored("Prices", "Price_02", raw));
  EXPECT_EQ(raw, RawNumber(7));
}

INSTANTIATE_TEST_SUITE_P(
    Writers, AnotherWriter,
    ::testing::Values(WriterCase{"ChangesTheValue", false, true, 12345},
                      WriterCase{"DeletesTheSection", true, false, 0},
                      WriterCase{"DeletesTheSectionAndMakesItAgain", true, true, 12345}),
    [](const ::testing::TestParamInfo<WriterCase>& info) { return info.param.pszName; });

TEST_F(Profile, AnotherApplicationNameSeesItsOwnStore) {
  ASSERT_TRUE(m_app.WriteProfileInt("Prices", "Price_00", 5));
  CTestApp other;
  other.m_strAppName = "Mintora2";
  EXPECT_EQ(other.GetProfileInt("Prices", "Price_00", 100), 100u);
}

#ifndef _WIN32
TEST_F(Profile, UnwritableStoreReportsFailureAndReadsDefaults) {
  // The settings file is a folder: nothing can be written, every read gives its default.
  std::filesystem::create_directories(m_config.SettingsFile());
  EXPECT_FALSE(m_app.WriteProfileInt("Prices", "Price_00", 5));
  EXPECT_EQ(m_app.GetProfileInt("Prices", "Price_00", 100), 100u);
  EXPECT_EQ(m_app.GetProfileString("Connection", "IPAddress", "x"), "x");
}
#endif

TEST_F(Profile, StandardSectionsGoBackAsTheyWereRead) {
  Store("Recent File List", "File1", RawText("/tmp/a"));
  Store("Recent File List", "File3", RawText("/tmp/c"));
  Store("Recent File List", "Stale", RawText("/tmp/s"));  // not one of File1..File10
  Store("Settings", "PreviewPages", RawNumber(2));
  m_app.LoadStdProfileSettings(10);
  m_app.ExitInstance();
  EXPECT_EQ(ValueCount("Recent File List"), 2);
  EXPECT_EQ(m_app.GetProfileString("Recent File List", "File1"), "/tmp/a");
  EXPECT_EQ(m_app.GetProfileString("Recent File List", "File3"), "/tmp/c");
  EXPECT_EQ(m_app.GetProfileInt("Settings", "PreviewPages", 0), 2u);
}

TEST_F(Profile, NothingIsWrittenAtExitWhenTheStandardSectionsAreEmpty) {
  m_app.LoadStdProfileSettings(10);
  m_app.ExitInstance();
  EXPECT_LE(ValueCount("Recent File List"), 0);
  EXPECT_LE(ValueCount("Settings"), 0);
}

// ---------------------------------------------------------------------------------------------
// Values already in the store, read as number and as text.

constexpr UINT kIntDefault = 55;
constexpr const char* kTextDefault = "(default)";

struct StoredCase {
  const char* pszName;
  RawValue raw;
  UINT nAsInt;
  const char* pszAsText;  ///< null: not read as text
};

void PrintTo(const StoredCase& c, std::ostream* pOut) { *pOut << c.pszName; }

class StoredValue : public Profile, public ::testing::WithParamInterface<StoredCase> {};

TEST_P(StoredValue, ReadsAsItStands) {
  const StoredCase& c = GetParam();
  Store("Prices", "Price_00", c.raw);
  EXPECT_EQ(m_app.GetProfileInt("Prices", "Price_00", kIntDefault), c.nAsInt);
  if (c.pszAsText) {
    EXPECT_EQ(m_app.GetProfileString("Prices", "Price_00", kTextDefault), c.pszAsText);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, StoredValue,
    ::testing::Values(
#ifdef _WIN32
        StoredCase{"Word150", {REG_DWORD, {0x96, 0, 0, 0}}, 150u, kTextDefault},
        StoredCase{"WordAllOnes", {REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}}, 0xFFFFFFFFu, kTextDefault},
        StoredCase{"WordTopBit", {REG_DWORD, {0, 0, 0, 0x80}}, 0x80000000u, kTextDefault},
        StoredCase{"WordOfTwoBytes", {REG_DWORD, {0x96, 0}}, kIntDefault, kTextDefault},
        StoredCase{
            "WordOfEightBytes", {REG_DWORD, {1, 0, 0, 0, 0, 0, 0, 0}}, kIntDefault, kTextDefault},
        StoredCase{
            "BigEndianWord", {REG_DWORD_BIG_ENDIAN, {0, 0, 0, 0x96}}, kIntDefault, kTextDefault},
        StoredCase{"QuadWord", {REG_QWORD, {0x96, 0, 0, 0, 0, 0, 0, 0}}, kIntDefault, kTextDefault},
        StoredCase{"FourBinaryBytes", {REG_BINARY, {0x96, 0, 0, 0}}, kIntDefault, kTextDefault},
        StoredCase{"NumberAsText", {REG_SZ, {'1', '5', '0', 0}}, kIntDefault, "150"},
        StoredCase{"EmptyText", {REG_SZ, {0}}, kIntDefault, ""},
        StoredCase{"TextOfNoBytes", {REG_SZ, {}}, kIntDefault, ""},
        StoredCase{"TextWithoutItsNul", {REG_SZ, {'L', 'X'}}, kIntDefault, "LX"},
        StoredCase{"TextEndsAtItsFirstNul", {REG_SZ, {'L', 'X', 0, 'Y', 0}}, kIntDefault, "LX"},
        StoredCase{
            "ExpandableText", {REG_EXPAND_SZ, {'%', 'A', '%', 0}}, kIntDefault, kTextDefault},
        StoredCase {
          "MultiText", {REG_MULTI_SZ, {'a', 0, 'b', 0, 0}}, kIntDefault, kTextDefault
        }
#else
        // A text is a number as "%lu"-style reading takes it, 32 bits with wrap-around of a sign.
        StoredCase{"Word150", "150", 150u, "150"}, StoredCase{"Letters", "abc", kIntDefault, "abc"},
        StoredCase{"EmptyText", "", kIntDefault, ""},
        StoredCase{"DigitsThenLetters", "12abc", kIntDefault, nullptr},
        StoredCase{"Beyond32Bits", "4294967296", kIntDefault, nullptr},
        StoredCase{"MinusOne", "-1", 0xFFFFFFFFu, nullptr},
        StoredCase{"Blanks", " 42 ", 42u, nullptr},
        StoredCase{"WordAllOnes", "4294967295", 0xFFFFFFFFu, nullptr},
        StoredCase{"MostNegative", "-2147483648", 0x80000000u, nullptr},
        StoredCase{"BelowMostNegative", "-2147483649", kIntDefault, nullptr}
#endif
        ),
    [](const ::testing::TestParamInfo<StoredCase>& info) { return info.param.pszName; });

// ---------------------------------------------------------------------------------------------
// What the program writes, as the store holds it, and read back.

struct WrittenCase {
  const char* pszName;
  std::function<bool(CWinApp&)> write;
  RawValue raw;
  std::function<bool(CWinApp&)> readsBack;
};

void PrintTo(const WrittenCase& c, std::ostream* pOut) { *pOut << c.pszName; }

class WrittenValue : public Profile, public ::testing::WithParamInterface<WrittenCase> {};

TEST_P(WrittenValue, IsStoredAsItIsAndReadBack) {
  const WrittenCase& c = GetParam();
  ASSERT_TRUE(c.write(m_app));
  RawValue raw;
  ASSERT_TRUE(Stored("Connection", "Entry", raw));
  EXPECT_EQ(raw, c.raw);
  EXPECT_TRUE(c.readsBack(m_app));
}

WrittenCase Number(const char* pszName, UINT nValue, RawValue raw) {
  return {pszName,
          [nValue](CWinApp& app) { return app.WriteProfileInt("Connection", "Entry", nValue); },
          std::move(raw),
          [nValue](CWinApp& app) {
            return app.GetProfileInt("Connection", "Entry", ~nValue) == nValue;
          }};
}
WrittenCase Text(const char* pszName, const char* pszText, RawValue raw) {
  const std::string strText = pszText ? pszText : "";
  return {
      pszName,
      [pszText](CWinApp& app) { return app.WriteProfileString("Connection", "Entry", pszText); },
      std::move(raw),
      [strText](CWinApp& app) {
        return app.GetProfileString("Connection", "Entry", "x") == strText;
      }};
}

#ifdef _WIN32
#define ROW(linux, windows) windows
#else
#define ROW(linux, windows) linux
#endif

INSTANTIATE_TEST_SUITE_P(
    Writes, WrittenValue,
    ::testing::Values(
        Number("Port4003", 4003, ROW("4003", (RawValue{REG_DWORD, {0xA3, 0x0F, 0, 0}}))),
        Number("Zero", 0, ROW("0", (RawValue{REG_DWORD, {0, 0, 0, 0}}))),
        Number("AllOnes", 0xFFFFFFFFu,
               ROW("4294967295", (RawValue{REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}}))),
        Number("CoinMask", 0x8001u, ROW("32769", (RawValue{REG_DWORD, {0x01, 0x80, 0, 0}}))),
        Number("TopBitAlone", 0x80000000u,
               ROW("2147483648", (RawValue{REG_DWORD, {0, 0, 0, 0x80}}))),
        Text("Name", "LX-5200", RawText("LX-5200")), Text("EmptyText", "", RawText("")),
        Text("NoTextIsEmpty", nullptr, RawText(""))
#ifdef _WIN32
        // A byte of the ANSI code page as it stands (the Linux store holds UTF-8 texts only).
        ,
        Text("EightBitText", "Z\xFCrich", RawText("Z\xFCrich"))
#endif
            ),
    [](const ::testing::TestParamInfo<WrittenCase>& info) { return info.param.pszName; });

}  // namespace
