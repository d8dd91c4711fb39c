// The setup most core tests share: fresh state, shutdown gate and language tables, a scratch
// folder that is the current one (the log and the catalogue files land there) and a window that
// records what it is shown.
#pragma once
#include <gtest/gtest.h>

#include "core/log.h"
#include "kitehttp.h"
#include "platform/files.h"
#include "core/shutdown_gate.h"
#include "core/state.h"
#include "support/event_ui.h"
#include "support/test_support.h"
#include "texts/language.h"

namespace qvk::test {

class CoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetState();
        ResetShutdownGateForTests();
        FillLanguageTables();
        kite::SetSystemHooks(platform::MoveFileOver, platform::SystemErrorText);  // as at start-up
    }
    void TearDown() override {
        CloseLog();
        ResetState();
    }
    std::string LogText() {
        CloseLog();
        return ReadWholeFile("qvk.log").value_or("");
    }
    ScratchDir cwd{true};
    ScopedUi window;
    EventUi& ui = window.ui;
};

}  // namespace qvk::test
