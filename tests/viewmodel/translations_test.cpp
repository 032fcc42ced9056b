// translations_test.cpp: status texts through the real catalogues: plural forms
// and digit grouping in English and German, arguments filled once, and no
// text naming what a Linux desktop does not have.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include "support/qt_printers.h"
#include "viewmodel/status_message.h"
#include "viewmodel/translations.h"

using namespace reelkeep;

namespace {

// Switches catalogues and number formats for one test, then back to English.
class Language {
public:
    explicit Language(const char* name) {
        QLocale::setDefault(QLocale(QLatin1String(name)));
        installTranslations(QLocale(QLatin1String(name)));
    }
    ~Language() {
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        installTranslations(QLocale(QStringLiteral("en_US")));
    }
};

}  // namespace

TEST(Translations, StatusTextsAgreeWithTheirCountInEachLanguage) {
    const struct {
        const char* language;
        StatusMessage message;
        const char* expected;
    } cases[] = {
        {"en_US",
         StatusMessage::counted(QT_TRANSLATE_N_NOOP("reelkeep", "Loaded %1 of %Ln video(s)."), 1, {1}),
         "Loaded 1 of 1 video."},
        {"en_US",
         StatusMessage::counted(QT_TRANSLATE_N_NOOP("reelkeep", "Loaded %1 of %Ln video(s)."), 100000,
                                {12000}),
         "Loaded 12,000 of 100,000 videos."},
        {"en_US",
         StatusMessage::counted(QT_TRANSLATE_N_NOOP("reelkeep", "Moved %Ln video(s) to the Trash."), 0),
         "Moved 0 videos to the Trash."},
        {"de", StatusMessage::counted(QT_TRANSLATE_N_NOOP("reelkeep", "Loaded %1 of %Ln video(s)."), 1, {1}),
         "1 von 1 Video geladen."},
        {"de", StatusMessage::counted(QT_TRANSLATE_N_NOOP("reelkeep", "Loaded %1 of %Ln video(s)."), 2, {2}),
         "2 von 2 Videos geladen."},
        {"de",
         StatusMessage::counted(QT_TRANSLATE_N_NOOP("reelkeep", "Loaded %1 of %Ln video(s)."), 100000,
                                {12000}),
         "12.000 von 100.000 Videos geladen."},
        {"de", StatusMessage::counted(QT_TRANSLATE_N_NOOP("reelkeep", "Moved %Ln video(s) to the Trash."), 1),
         "1 Video in den Papierkorb verschoben."},
        {"de", StatusMessage::counted(QT_TRANSLATE_N_NOOP("reelkeep", "Moved %Ln video(s) to the Trash."), 2),
         "2 Videos in den Papierkorb verschoben."},
        // A name is filled in once: its own "%2" stays as it is.
        {"en_US", StatusMessage(QT_TRANSLATE_NOOP("reelkeep", "Copied %1."), {QStringLiteral("50%2 off")}),
         "Copied 50%2 off."},
    };
    for (const auto& c : cases) {
        const Language language(c.language);
        EXPECT_EQ(c.message.text(), QString::fromUtf8(c.expected)) << c.language << ' ' << c.message.key();
    }
}

TEST(Translations, NoTextNamesAnotherPlatformsPlaces) {
    // Linux has the Trash and folders; these belong to another system.
    const QRegularExpression retired(QStringLiteral(
        "\\b(Photos|iCloud|Recently Deleted|System Settings|Privacy Settings|Download\\w*)\\b"));
    QFile file(QStringLiteral(REELKEEP_SOURCE_DIR "/translations/reelkeep_en.ts"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader reader(&file);
    int sources = 0;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != QLatin1String("source"))
            continue;
        const QString text = reader.readElementText();
        ++sources;
        EXPECT_FALSE(retired.match(text).hasMatch()) << qPrintable(text);
    }
    EXPECT_FALSE(reader.hasError()) << qPrintable(reader.errorString());
    EXPECT_GT(sources, 100);  // the template was read, not skipped
}
