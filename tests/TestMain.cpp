// main for the test programs that need the event loop (socket notification, windows), on either
// platform.
#include "EventPump.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  CEventLoopOwner eventLoop(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
