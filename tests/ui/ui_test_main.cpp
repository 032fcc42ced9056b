// ui_test_main.cpp: the process setup of every test binary, with a QApplication
// instead of a QCoreApplication because these tests build widgets.
#include <gtest/gtest.h>
#include <unicode/ucal.h>
#include <unicode/uloc.h>
#include <QApplication>
#include <QStandardPaths>
#include <cstdlib>

#include "viewmodel/translations.h"

int main(int argc, char** argv) {
    ::setenv("TZ", "America/New_York", 1);
    ::setenv("LANG", "en_US.UTF-8", 1);
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("QT_MEDIA_BACKEND", "gstreamer", 1);  // the backend the application chooses
    // No desktop session: the portal and the file manager are never asked.
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    UErrorCode status = U_ZERO_ERROR;
    uloc_setDefault("en_US", &status);
    status = U_ZERO_ERROR;
    ucal_setDefaultTimeZone(u"America/New_York", &status);

    QStandardPaths::setTestModeEnabled(true);  // settings never touch the user's own
    QApplication app(argc, argv);
    reelkeep::installTranslations(QLocale(QStringLiteral("en_US")));
    QApplication::setOrganizationName(QStringLiteral("ReelkeepTests"));
    QApplication::setApplicationName(QStringLiteral("ui_tests"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
