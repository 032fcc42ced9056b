// test_main.cpp: one process setup for every test binary: a fixed locale and time
// zone (before anything captures the catalogue calendar) and a QCoreApplication
// so that queued signals and coroutines have an event loop.
#include <gtest/gtest.h>
#include <unicode/ucal.h>
#include <unicode/uloc.h>
#include <QCoreApplication>
#include <cstdlib>

#include "viewmodel/translations.h"

int main(int argc, char** argv) {
    ::setenv("TZ", "America/New_York", 1);
    ::setenv("LANG", "en_US.UTF-8", 1);
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    UErrorCode status = U_ZERO_ERROR;
    uloc_setDefault("en_US", &status);
    status = U_ZERO_ERROR;
    ucal_setDefaultTimeZone(u"America/New_York", &status);

    QCoreApplication app(argc, argv);
    reelkeep::installTranslations(QLocale(QStringLiteral("en_US")));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
