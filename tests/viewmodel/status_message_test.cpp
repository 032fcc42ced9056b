#include <gtest/gtest.h>

#include "support/qt_printers.h"
#include "viewmodel/status_message.h"

using namespace reelkeep;

TEST(StatusMessage, RendersCountsWithTheNounAgreeing) {
    const struct {
        const char* key;
        QList<QVariant> arguments;
        const char* english;
    } cases[] = {
        {"Loaded %lld of ^[%lld video](inflect: true).", {400, 450}, "Loaded 400 of 450 videos."},
        {"Loaded %lld of ^[%lld video](inflect: true).", {1, 1}, "Loaded 1 of 1 video."},
        {"^[%lld video](inflect: true), size known for %lld.", {1, 0}, "1 video, size known for 0."},
        {"^[%lld video](inflect: true), size known for %lld.", {0, 0}, "0 videos, size known for 0."},
        {"Copied ^[%lld name](inflect: true).", {2}, "Copied 2 names."},
        {"Copied %@.", {QStringLiteral("beach ^[day]")}, "Copied beach ^[day]."},
        {"Downloading %lld of %lld…", {3, 1}, "Downloading 3 of 1…"},
        {"Ready to scan your Photos library.", {}, "Ready to scan your Photos library."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StatusMessage(c.key, c.arguments).text(), QString::fromUtf8(c.english)) << c.key;
}
