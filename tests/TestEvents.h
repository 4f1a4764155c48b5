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

/// Processes events for a while (to let anything that would arrive, arrive).
inline void PumpFor(int nMilliseconds) {
  PumpUntil([] { return false; }, nMilliseconds);
}

}  // namespace testing_support
