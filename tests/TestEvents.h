// Running the event loop from a test until something has happened.
#pragma once

#include "EventPump.h"

#include <chrono>
#include <functional>

namespace testing_support {

/// The time left until a deadline, in milliseconds, never below 0.
class CDeadline {
public:
  explicit CDeadline(int nMilliseconds)
      : m_end(std::chrono::steady_clock::now() + std::chrono::milliseconds(nMilliseconds)) {}
  bool HasExpired() const { return std::chrono::steady_clock::now() >= m_end; }
  int Remaining() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        m_end - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
  }

private:
  std::chrono::steady_clock::time_point m_end;
};

/// Processes events until pred() holds or the time is up. @returns pred().
inline bool PumpUntil(const std::function<bool()>& pred, int nMilliseconds = 3000) {
  const CDeadline deadline(nMilliseconds);
  while (!pred()) {
    if (deadline.HasExpired())
      return false;
    AfxPumpEvents(deadline.Remaining() < 10 ? deadline.Remaining() : 10);
  }
  return true;
}

/// Processes events for a while, for a measurement over that time. Never as "long enough for
/// anything to arrive": a loaded machine can take longer; wait for an event that must follow.
inline void PumpFor(int nMilliseconds) {
  PumpUntil([] { return false; }, nMilliseconds);
}

}  // namespace testing_support
