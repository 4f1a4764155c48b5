// The settings store: defaults, 32-bit words, texts, and what another process sees.
#include "TestSupport.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace testing_support;

namespace {

using Profile = AppFixture<>;

TEST_F(Profile, LivesInTheCompanyAndApplicationFile) {
  EXPECT_EQ(m_app.GetProfilePath(), m_config.SettingsFile());
}

TEST_F(Profile, MissingEntriesGiveTheReadersDefault) {
  EXPECT_EQ(m_app.GetProfileInt("Connection", "AutoConnect", 1), 1u);
  EXPECT_EQ(m_app.GetProfileInt("Connection", "AutoConnect", 0), 0u);
  EXPECT_EQ(m_app.GetProfileString("Connection", "IPAddress", "192.168.1.1"), "192.168.1.1");
  EXPECT_EQ(m_app.GetProfileString("Connection", "IPAddress"), "");
  // Readers never write their defaults back.
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(m_config.SettingsFile())));
}

TEST_F(Profile, WordsRoundTripAsUnsigned32Bit) {
  const UINT values[] = {0u, 1u, 4003u, 32768u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};
  for (UINT nValue : values) {
    ASSERT_TRUE(m_app.WriteProfileInt("AcceptorControl", "CoinAccept", nValue));
    EXPECT_EQ(m_app.GetProfileInt("AcceptorControl", "CoinAccept", 7), nValue);
  }
}

TEST_F(Profile, TextsRoundTripIncludingEmptyAndCommas) {
  const char* texts[] = {"", "LX-5200", "a,b", "  spaced  ", "Zürich", "@odd", "semi;colon"};
  for (const char* pszText : texts) {
    ASSERT_TRUE(m_app.WriteProfileString("Connection", "ConnectionName", pszText));
    EXPECT_EQ(m_app.GetProfileString("Connection", "ConnectionName", "LX-5200"), pszText);
  }
}

TEST_F(Profile, StoredTextThatIsNotANumberReadsAsDefault) {
  struct Case {
    const char* pszStored;
    UINT nExpected;
  };
  const Case cases[] = {
      {"abc", 55u},
      {"", 55u},
      {"12abc", 55u},
      {"4294967296", 55u},
      {"-1", 0xFFFFFFFFu},
      {" 42 ", 42u},
      {"4294967295", 0xFFFFFFFFu},
      {"-2147483648", 0x80000000u},
      {"-2147483649", 55u},
  };
  // Each rewrite has a size of its own: the store notices another writer by size and time stamp,
  // and these rewrites follow each other within one tick of the file system clock.
  std::string strPadding;
  for (const Case& c : cases) {
    strPadding += ' ';
    m_config.Write(std::string("[Prices]\nPrice_00=") + c.pszStored + "\n;" + strPadding + "\n");
    EXPECT_EQ(m_app.GetProfileInt("Prices", "Price_00", 55), c.nExpected) << c.pszStored;
  }
}

TEST_F(Profile, EveryWriteIsOnDiskBeforeItReturns) {
  ASSERT_TRUE(m_app.WriteProfileInt("Prices", "Price_03", 250));
  ASSERT_TRUE(m_app.WriteProfileString("Connection", "IPAddress", "127.0.0.2"));
  const std::string strText = m_config.Read();
  EXPECT_NE(strText.find("[Prices]"), std::string::npos);
  EXPECT_NE(strText.find("Price_03=250"), std::string::npos);
  EXPECT_NE(strText.find("IPAddress=127.0.0.2"), std::string::npos);
}

TEST_F(Profile, ReadsSeeChangesMadeByAnotherWriter) {
  ASSERT_TRUE(m_app.WriteProfileInt("Prices", "Price_01", 100));
  EXPECT_EQ(m_app.GetProfileInt("Prices", "Price_01", 0), 100u);
  // Another process rewrites the file (a different size, so no timestamp luck is needed).
  m_config.Write("[Prices]\nPrice_01=12345\n");
  EXPECT_EQ(m_app.GetProfileInt("Prices", "Price_01", 0), 12345u);
}

TEST_F(Profile, AnotherApplicationNameSeesItsOwnStore) {
  ASSERT_TRUE(m_app.WriteProfileInt("Prices", "Price_00", 5));
  CTestApp other;
  other.m_strAppName = "Mintora2";
  EXPECT_EQ(other.GetProfileInt("Prices", "Price_00", 100), 100u);
}

TEST_F(Profile, UnwritableStoreReportsFailureAndReadsDefaults) {
  // The settings file is a folder: nothing can be written, every read gives its default.
  QDir().mkpath(QString::fromStdString(m_config.SettingsFile()));
  EXPECT_FALSE(m_app.WriteProfileInt("Prices", "Price_00", 5));
  EXPECT_EQ(m_app.GetProfileInt("Prices", "Price_00", 100), 100u);
  EXPECT_EQ(m_app.GetProfileString("Connection", "IPAddress", "x"), "x");
}

TEST_F(Profile, StandardSectionsGoBackAsTheyWereRead) {
  m_config.Write(
      "[Recent%20File%20List]\nFile1=/tmp/a\nFile3=/tmp/c\n[Settings]\nPreviewPages=2\n");
  m_app.LoadStdProfileSettings(10);
  m_app.ExitInstance();
  EXPECT_EQ(m_app.GetProfileString("Recent File List", "File1"), "/tmp/a");
  EXPECT_EQ(m_app.GetProfileString("Recent File List", "File3"), "/tmp/c");
  EXPECT_EQ(m_app.GetProfileInt("Settings", "PreviewPages", 0), 2u);
}

TEST_F(Profile, NothingIsWrittenAtExitWhenTheStoreIsEmpty) {
  m_app.LoadStdProfileSettings(10);
  m_app.ExitInstance();
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(m_config.SettingsFile())));
}

}  // namespace
