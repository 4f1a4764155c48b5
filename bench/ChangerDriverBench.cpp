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
  std::uint32_t GetProfileInt(const char* lpszSection, const char* lpszEntry,
                              std::uint32_t nDefault) override {
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
const std::vector<std::uint8_t> kSetupResponse = {0x09, 0x03, 0x18, 0x40, 0x05, 0x02, 0x00, 0x07,
                                                  0x01, 0x02, 0x05, 0x0A, 0x14, 0x32, 0,    0,
                                                  0,    0,    0,    0,    0,    0,    0,    0};
const std::vector<std::uint8_t> kIdentResponse = {
    0x0F, 'T', 'S', 'L', '0', '0', '0', '0', '0', '0', '0', '0',  '0',  '0', '4', '2', 'C',
    'G',  '-', '7', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 0x01, 0x23, 0,   0,   0,   0x05};
const std::vector<std::uint8_t> kTubeResponse = {0x0A, 0x00, 0x02, 3, 20, 0, 0, 0, 0, 0,
                                                 0,    0,    0,    0, 0,  0, 0, 0, 0};

void Feed(CChangerDriver& driver, const std::vector<std::uint8_t>& datagram) {
  driver.OnDatagram(datagram.data(), static_cast<unsigned>(datagram.size()));
}

// Creation to Polling: 10 + 1 datagrams of settling, RESET, 3 more, then the queries.
std::vector<const std::vector<std::uint8_t>*> StartUpDatagrams() {
  std::vector<const std::vector<std::uint8_t>*> datagrams(17, &kTick);
  for (const auto* pDatagram :
       {&kSetupResponse, &kTick, &kIdentResponse, &kTick, &kTick, &kTubeResponse, &kTick})
    datagrams.push_back(pDatagram);
  return datagrams;
}

void StartUp(CChangerDriver& driver) {
  for (const auto* pDatagram : StartUpDatagrams())
    Feed(driver, *pDatagram);
}

void ReportPerDatagram(benchmark::State& state, std::int64_t nDatagramsPerIteration) {
  state.SetItemsProcessed(state.iterations() * nDatagramsPerIteration);
  state.counters["per_datagram"] =
      benchmark::Counter(static_cast<double>(state.iterations() * nDatagramsPerIteration),
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

const std::vector<std::uint8_t> kBusy = {0x08, 0x02};

// A working session: start-up, then five coins among ticks and a busy status, then change
// return, which pays out on the last datagram.
std::vector<const std::vector<std::uint8_t>*> WorkingSession() {
  std::vector<const std::vector<std::uint8_t>*> session = StartUpDatagrams();
  for (int nCoin = 0; nCoin < 5; ++nCoin) {
    for (int i = 0; i < 30; ++i)
      session.push_back(&kTick);
    session.push_back(&kDeposit);
    session.push_back(&kTick);
    session.push_back(&kTubeResponse);
    session.push_back(&kTick);
    session.push_back(&kBusy);
  }
  session.push_back(&kTick);
  return session;
}

void BM_MixedStream(benchmark::State& state) {
  CNullHost host;
  CChangerDriver driver(host);
  const auto session = WorkingSession();
  for (auto _ : state) {
    driver.SetState(CChangerDriver::ResetWait);
    for (size_t i = 0; i + 1 < session.size(); ++i)
      Feed(driver, *session[i]);
    driver.SetState(CChangerDriver::PayoutSend);
    Feed(driver, *session.back());
  }
  if (driver.GetCredit() != 0 || host.m_nDisplayUpdates == 0)
    state.SkipWithError("the session did not pay out its credit");
  ReportPerDatagram(state, static_cast<std::int64_t>(session.size()));
}
BENCHMARK(BM_MixedStream);

// The floor under a driver step: the same session, each datagram handed through a virtual call
// that only reads its header byte and length.
class IDatagramReader {
public:
  virtual ~IDatagramReader() = default;
  virtual void Read(const std::uint8_t* pBytes, unsigned nLength) = 0;
};

class CHeaderReader final : public IDatagramReader {
public:
  void Read(const std::uint8_t* pBytes, unsigned nLength) override {
    m_nSum += pBytes[0] + nLength;
  }
  std::uint64_t m_nSum = 0;
};

void BM_MixedStreamFloor(benchmark::State& state) {
  CHeaderReader reader;
  IDatagramReader* pReader = &reader;
  const auto session = WorkingSession();
  for (auto _ : state) {
    benchmark::DoNotOptimize(pReader);
    for (const auto* pDatagram : session)
      pReader->Read(pDatagram->data(), static_cast<unsigned>(pDatagram->size()));
  }
  benchmark::DoNotOptimize(reader.m_nSum);
  ReportPerDatagram(state, static_cast<std::int64_t>(session.size()));
}
BENCHMARK(BM_MixedStreamFloor);

}  // namespace

BENCHMARK_MAIN();
