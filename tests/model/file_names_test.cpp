#include <gtest/gtest.h>

#include "model/file_names.h"
#include "support/qt_printers.h"

using namespace reelkeep;

TEST(SafeFileComponent, ReducesHostileNamesToOneComponent) {
    const QString longBase(300, QLatin1Char('a'));
    const struct {
        QString name;
        QString safe;
    } cases[] = {
        {"clip.mov", "clip.mov"},
        {"Beach Day (2).MOV", "Beach Day (2).MOV"},
        {"../../etc/passwd", "passwd"},
        {"a/b/c.mp4", "c.mp4"},
        {"dir/", "video"},
        {"", "video"},
        {".", "video"},
        {"..", "video"},
        {QStringLiteral("line\nbreak\t.mov"), "line_break_.mov"},
        {QStringLiteral("nul\u0000.mov"), "nul_.mov"},
        {QStringLiteral("caf\u00E9 \U0001F600.mov"), QStringLiteral("caf\u00E9 \U0001F600.mov")},
    };
    for (const auto& c : cases) EXPECT_EQ(safeFileComponent(c.name), c.safe) << c.name.toStdString();

    // Long names leave room for " (9999)" and never split a character.
    const QString shortened = safeFileComponent(longBase + ".mov");
    EXPECT_EQ(shortened.toUtf8().size(), 255 - 7);
    EXPECT_TRUE(shortened.endsWith(".mov"));
    const QString emoji = safeFileComponent(QString::fromUcs4(U"\U0001F600").repeated(100) + ".mp4");
    EXPECT_LE(emoji.toUtf8().size() + 7, 255);
    EXPECT_FALSE(emoji.toUcs4().contains(0xFFFD));  // no broken surrogate pair
    const QString hugeExtension = safeFileComponent("a." + longBase);
    EXPECT_LE(hugeExtension.toUtf8().size() + 7, 255);
}

TEST(UniqueName, CountsUpPastUsedAndTakenNames) {
    const QSet<QString> taken{"clip.mov", "clip (2).mov", "notes"};
    const auto isTaken = [&](const QString& name) { return taken.contains(name); };
    EXPECT_EQ(uniqueName("fresh.mov", {}, isTaken), "fresh.mov");
    EXPECT_EQ(uniqueName("clip.mov", {}, isTaken), "clip (3).mov");
    EXPECT_EQ(uniqueName("clip.mov", {"clip (3).mov"}, isTaken), "clip (4).mov");
    EXPECT_EQ(uniqueName("notes", {}, isTaken), "notes (2)");
    EXPECT_EQ(uniqueName(".hidden", {".hidden"}, isTaken), ".hidden (2)");
    EXPECT_EQ(uniqueName("Clip.mov", {"clip.mov"}, isTaken), "Clip.mov");  // exact comparison
    // Everything taken: give up instead of looping forever.
    EXPECT_EQ(uniqueName("x.mov", {}, [](const QString&) { return true; }), std::nullopt);
}

TEST(PasteboardLine, LineBreaksBecomeSpaces) {
    EXPECT_EQ(pasteboardLine(QStringLiteral("two\nlines\r\u2028\u2029.mov")), "two lines   .mov");
}
