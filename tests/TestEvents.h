// Running the event loop from a test until something has happened.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <functional>

namespace testing_support {

/// Processes events until pred() holds or the time is up. @returns pred().
inline bool PumpUntil(const std::function<bool()>& pred, int nMilliseconds = 3000) {
  QDeadlineTimer deadline(nMilliseconds);
  while (!pred()) {
    if (deadline.hasExpired())
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

/// Processes events for a while, for a measurement over that time. Never as "long enough for
/// anything to arrive": a loaded machine can take longer; wait for an event that must follow.
inline void PumpFor(int nMilliseconds) {
  PumpUntil([] { return false; }, nMilliseconds);
}

}  // namespace testing_support
