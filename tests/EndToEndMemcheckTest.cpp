// The real program under valgrind's memcheck, from start to SIGTERM, against the simulated
// device: the changer's start-up, a coin, a changer reset at the device, closing. Memcheck must
// report no error and nothing definitely lost. Registered where the build carries no sanitizer;
// without valgrind it fails and says so. Labelled "valgrind" (ctest -LE valgrind leaves it out).
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sstream>

using namespace testing_support;

namespace {

TEST(EndToEndMemcheck, AWholeSessionHasNoMemoryErrorsAndLeaksNothing) {
  ASSERT_STRNE(VALGRIND_EXE, "") << "valgrind is not installed (scripts/setup installs it)";
  CTempConfig config;
  const unsigned nComm = TakePorts(EPortRange::Memcheck);
  // The device ticks slowly enough for a program that runs some fifty times slower than usual.
  CSimProcess sim;
  ASSERT_TRUE(sim.Start(nComm, nComm + 1, 40));

  const std::string strLog = config.Path() + "/memcheck.log";
  CMintoraProcess program;
  ASSERT_TRUE(program.Start(
      config, LoopbackStore(nComm, "[AcceptorControl]\nCoinAccept=63\n"),
      {VALGRIND_EXE, "--tool=memcheck", "--leak-check=full", "--show-leak-kinds=definite",
       "--errors-for-leak-kinds=definite", "--error-exitcode=99", "--num-callers=40",
       "--suppressions=" MINTORA_VALGRIND_SUPPRESSIONS,
       QString::fromStdString("--log-file=" + strLog), MINTORA_EXE}));

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

  program.Signal(SIGTERM);
  EXPECT_TRUE(sim.WaitFor("RX CTRL 3 08 03 00", 60000));
  const bool bEndedNormally = program.EndsNormally(120000);
  const std::string strReport = ReadWholeFile(strLog);
  // The summary lines, for the record.
  std::istringstream lines(strReport);
  for (std::string strLine; std::getline(lines, strLine);) {
    if (strLine.find("in use at exit") != std::string::npos ||
        strLine.find("lost:") != std::string::npos ||
        strLine.find("ERROR SUMMARY") != std::string::npos)
      std::printf("%s\n", strLine.c_str());
  }
  EXPECT_TRUE(bEndedNormally) << strReport;
  EXPECT_NE(strReport.find("ERROR SUMMARY: 0 errors"), std::string::npos) << strReport;
  const bool bNoneLost = strReport.find("definitely lost: 0 bytes") != std::string::npos ||
                         strReport.find("All heap blocks were freed") != std::string::npos;
  EXPECT_TRUE(bNoneLost) << strReport;
}

}  // namespace
