// ui_fixture.h: a view model over a simulated library for the widget tests, with
// the fake desktop services of the view-model tests and time-limited waits.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include "viewmodel/view_model_fixture.h"

namespace reelkeep::test {

inline QList<SimulatedAsset> numberedVideos(int count) {
    QList<SimulatedAsset> assets;
    for (int i = 0; i < count; ++i)
        assets << fastVideo(QStringLiteral("v%1").arg(i, 3, 10, QLatin1Char('0')), 1000 + i,
                            1.6e9 + i * 86400.0);
    return assets;
}

// Runs the event loop for a while; for checks that something does NOT happen.
inline void settle(std::chrono::milliseconds time = std::chrono::milliseconds(200)) {
    reelkeep::testing::pumpUntil([] { return false; }, time);
}

}  // namespace reelkeep::test
