// Cost of one datagram in the changer driver, host calls included but doing no work.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "ChangerDriver.h"

namespace {

class CNullHost : public IChangerHost {
public:
  void SendChangerCommand(const std::uint8_t* pBytes, unsigned nLength) override {
    m_nSent += nLength;
    benchmark::DoNotOptimize(pBytes);
  }
  std::uint32_t GetProfileInt(const char* lpszSection, const char* lpszEntry, std::uint32_t nDefault) override {
    benchmark::DoNotOptimize(lpszSection);
    benchmark::DoNotOptimize(lpszEntry);
    return nDefault + 0x801F;
  }
  void UpdateCreditDisplay() override { ++m_nDisplayUpdates; }

  std::uint64_t m_nSent = 0;
  std::uint64_t m_nDisplayUpdates = 0;
};

const std::vector<std::uint8_t> kTick = {0x08};
const std::vector<std::uint8_t> kDeposit = {0x08, 0x52};
const std::vector<std::uint8_t> kSetupResponse = {0x09, 0x03, 0x18, 0x40, 0x05, 0x02, 0x00, 0x07, 0x01, 0x02, 0x05,
                                                  0x0A, 0x14, 0x32, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const std::vector<std::uint8_t> kIdentResponse = {0x0F, 'T', 'S', 'L', '0', '0', '0', '0', '0', '0', '0', '0',
                                                  '0', '0', '4', '2', 'C', 'G', '-', '7', ' ', ' ', ' ', ' ',
                                                  ' ', ' ', ' ', ' ', 0x01, 0x23, 0, 0, 0, 0x05};
const std::vector<std::uint8_t> kTubeResponse = {0x0A, 0x00, 0x02, 3, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

void Feed(CChangerDriver& driver, const std::vector<std::uint8_t>& datagram) {
  driver.OnDatagram(datagram.data(), static_cast<unsigned>(datagram.size()));
}

// Creation to Polling: 10 + 1 datagrams of settling, RESET, 3 more, then the queries.
void StartUp(CChangerDriver& driver) {
  for (int i = 0; i < 16; ++i)
    Feed(driver, kTick);
  Feed(driver, kTick);
  Feed(driver, kSetupResponse);
  Feed(driver, kTick);
  Feed(driver, kIdentResponse);
  Feed(driver, kTick);
  Feed(driver, kTick);
  Feed(driver, kTubeResponse);
  Feed(driver, kTick);
}

void ReportPerDatagram(benchmark::State& state, std::int64_t nDatagramsPerIteration) {
  state.SetItemsProcessed(state.iterations() * nDatagramsPerIteration);
  state.counters["per_datagram"] = benchmark::Counter(static_cast<double>(state.iterations() * nDatagramsPerIteration),
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Tick, deposit, tube response, tick: one coin from Polling back to Polling.
void BM_DepositCycle(benchmark::State& state) {
  CNullHost host;
  CChangerDriver driver(host);
  StartUp(driver);
  for (auto _ : state) {
    Feed(driver, kTick);
    Feed(driver, kDeposit);
    Feed(driver, kTubeResponse);
    Feed(driver, kTick);
    if (driver.GetCredit() > 0x7FFFFFFF)
      driver.DebitCredit(driver.GetCredit());
  }
  if (driver.GetState() != CChangerDriver::Polling)
    state.SkipWithError("deposit cycle did not return to Polling");
  ReportPerDatagram(state, 4);
}
BENCHMARK(BM_DepositCycle);

// The most common datagram: nothing to report while polling.
void BM_PollingTick(benchmark::State& state) {
  CNullHost host;
  CChangerDriver driver(host);
  StartUp(driver);
  for (auto _ : state)
    Feed(driver, kTick);
  ReportPerDatagram(state, 1);
}
BENCHMARK(BM_PollingTick);

// A working session: start-up, then five coins among ticks and a busy status, then change return.
void BM_MixedStream(benchmark::State& state) {
  CNullHost host;
  CChangerDriver driver(host);
  std::vector<const std::vector<std::uint8_t>*> stream;
  const std::vector<std::uint8_t> kBusy = {0x08, 0x02};
  for (int nCoin = 0; nCoin < 5; ++nCoin) {
    for (int i = 0; i < 30; ++i)
      stream.push_back(&kTick);
    stream.push_back(&kDeposit);
    stream.push_back(&kTick);
    stream.push_back(&kTubeResponse);
    stream.push_back(&kTick);
    stream.push_back(&kBusy);
  }
  const std::int64_t nStartUp = 24;
  for (auto _ : state) {
    driver.SetState(CChangerDriver::ResetWait);
    StartUp(driver);
    for (const auto* pDatagram : stream)
      Feed(driver, *pDatagram);
    driver.SetState(CChangerDriver::PayoutSend);
    Feed(driver, kTick);
  }
  if (driver.GetCredit() != 0 || host.m_nDisplayUpdates == 0)
    state.SkipWithError("the session did not pay out its credit");
  ReportPerDatagram(state, nStartUp + static_cast<std::int64_t>(stream.size()) + 1);
}
BENCHMARK(BM_MixedStream);

}  // namespace

BENCHMARK_MAIN();
