// The surroundings of a test that runs the program's windows in this process.
#pragma once

#include "TestDialogs.h"
#include "TestMessages.h"
#include "TestStore.h"

#include <gtest/gtest.h>

namespace testing_support {

/// A settings store of its own, the application object App, message boxes and beeps caught, and
/// every modal dialog answered once it is shown.
template <typename App = CTestApp>
class AppFixture : public ::testing::Test {
protected:
  CTempConfig m_config;  // before the application, which finds its settings there
  App m_app;
  CMessageCapture m_capture;
  CDialogAnswers m_answers;
};

}  // namespace testing_support
