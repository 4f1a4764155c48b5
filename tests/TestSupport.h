// The test harness: every test includes this one header and reads as its situation and its
// expectation. Each part is a header of its own:
//   TestPlatform.h   rows keyed by platform
//   TestStore.h      a private settings store, the application object, store writers
//   TestEvents.h     running the event loop until something happened
//   TestSockets.h    the socket calls Winsock and BSD sockets share, the socket layer's codes
//   TestPorts.h      port numbers, a range per suite
//   TestUdp.h        a UDP peer on 127.0.0.0/8 that plays the device
//   TestMessages.h   message boxes and beeps caught
//   TestDialogs.h    modal dialogs answered once shown, controls by ID, and a test fixture with
//                    all of these for windows run in this process
//   TestProcesses.h  the program and the simulated device as child processes (Linux)
//   TestLink.h       an application object with the link, a recording dialer, their fixture
//                    (for the tests that link the link's library), and the program's own
//                    application object and its fixture (for those that link the application's)
#pragma once

#include "TestDialogs.h"
#include "TestEvents.h"
#include "TestMessages.h"
#include "TestPlatform.h"
#include "TestPorts.h"
#include "TestSockets.h"
#include "TestStore.h"
#include "TestUdp.h"
#ifndef _WIN32
// The suites that start the Linux executables run on Linux only and are written on Qt's files
// and timers as well.
#include "TestProcesses.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#endif

#if __has_include("DeviceLink.h")
#include "TestLink.h"
#endif
