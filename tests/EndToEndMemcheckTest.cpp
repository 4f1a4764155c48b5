// The real program under valgrind's memcheck, from start to SIGTERM, against the simulated
// device: the changer's start-up, a coin, a changer reset at the device, closing. Memcheck must
// report no error and nothing definitely lost. Registered only where valgrind exists and the
// build carries no sanitizer; labelled "valgrind" (ctest -LE valgrind leaves it out).
#include "TestSupport.h"

#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>

using namespace testing_support;

namespace {

// The ports move with the process ID within this test's own hundred, so that two copies of the
// suite running at once (two build folders on one machine) seldom meet.
const unsigned kComm = 23500 + 2 * static_cast<unsigned>(getpid() % 50);
const unsigned kControl = kComm + 1;

TEST(EndToEndMemcheck, AWholeSessionHasNoMemoryErrorsAndLeaksNothing) {
  CTempConfig config;
  QDir().mkpath(QString::fromStdString(config.Path() + "/Tessaline"));
  std::ofstream(config.SettingsFile())
      << "[Connection]\nIPAddress=127.0.0.2\nPortCommunication=" << kComm
      << "\nPortControl=" << kControl << "\n[AcceptorControl]\nCoinAccept=63\n";
  // The device ticks slowly enough for a program that runs some fifty times slower than usual.
  CSimProcess sim;
  ASSERT_TRUE(sim.Start(kComm, kControl, 40));

  const std::string strLog = config.Path() + "/memcheck.log";
  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_CONFIG_HOME", QString::fromStdString(config.Path()));
  env.insert("QT_QPA_PLATFORM", "offscreen");
  program.setProcessEnvironment(env);
  program.setProcessChannelMode(QProcess::ForwardedChannels);
  program.start(QStringLiteral(VALGRIND_EXE),
                {"--tool=memcheck", "--leak-check=full", "--show-leak-kinds=definite",
                 "--errors-for-leak-kinds=definite", "--error-exitcode=99", "--num-callers=40",
                 "--suppressions=" MINTORA_VALGRIND_SUPPRESSIONS,
                 QString::fromStdString("--log-file=" + strLog), MINTORA_EXE});
  ASSERT_TRUE(program.waitForStarted(10000));

  // Start-up: control codes, then the changer is set up and its coins enabled.
  EXPECT_TRUE(sim.WaitFor("RX CTRL 3 08 03 12", 120000));
  EXPECT_TRUE(sim.WaitFor("ENABLED accept 003F", 120000));
  sim.Type("insert 3");
  EXPECT_TRUE(sim.WaitFor("TX COMM 3 08 53", 60000));
  EXPECT_TRUE(sim.WaitFor("RX COMM 1 0A TUBE STATUS", 60000));
  EXPECT_TRUE(sim.WaitFor("ENABLED accept 003F", 60000));
  sim.Type("reset");
  EXPECT_TRUE(sim.WaitFor("RX COMM 1 08 RESET", 60000));
  EXPECT_TRUE(sim.WaitFor("ENABLED accept 003F", 120000));

  ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
  EXPECT_TRUE(sim.WaitFor("RX CTRL 3 08 03 00", 60000));
  ASSERT_TRUE(PumpUntil([&] { return program.state() == QProcess::NotRunning; }, 120000));
  const std::string strReport = ReadWholeFile(strLog);
  // The summary lines, for the record.
  std::istringstream lines(strReport);
  for (std::string strLine; std::getline(lines, strLine);) {
    if (strLine.find("in use at exit") != std::string::npos ||
        strLine.find("lost:") != std::string::npos ||
        strLine.find("ERROR SUMMARY") != std::string::npos)
      std::printf("%s\n", strLine.c_str());
  }
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0) << strReport;
  EXPECT_NE(strReport.find("ERROR SUMMARY: 0 errors"), std::string::npos) << strReport;
  const bool bNoneLost = strReport.find("definitely lost: 0 bytes") != std::string::npos ||
                         strReport.find("All heap blocks were freed") != std::string::npos;
  EXPECT_TRUE(bNoneLost) << strReport;
}

}  // namespace
