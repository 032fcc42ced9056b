// ui_fixture.h: a view model over a simulated library for the widget tests, with
// the fake desktop services of the view-model tests and time-limited waits.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include "viewmodel/view_model_fixture.h"

namespace reelkeep::test {

// Runs the event loop for a while; for checks that something does NOT happen.
inline void settle(std::chrono::milliseconds time = std::chrono::milliseconds(200)) {
    reelkeep::testing::pumpUntil([] { return false; }, time);
}

}  // namespace reelkeep::test
