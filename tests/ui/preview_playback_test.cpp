// preview_playback_test.cpp: the preview with the real media backend on a clip
// made by ffmpeg at test time: it plays at once, Space pauses, the arrow, Home
// and End keys seek, a click on the scrubber jumps there, a released scrubber
// lands exactly, and the end rewinds without playing again.
#include <QAudioOutput>
#include <QMediaPlayer>
#include <QProcess>
#include <QSlider>
#include <QTest>

#include "ui/preview_dialog.h"
#include "ui_fixture.h"

using namespace reelkeep;
using namespace reelkeep::test;

TEST_F(ViewModelTest, PreviewPlaysScrubsExactlyAndRewindsAtTheEnd) {
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("clip.mp4"));
    const int made = QProcess::execute(
        QStringLiteral("ffmpeg"), {"-v", "error", "-f", "lavfi", "-i",
                                   "testsrc=size=320x240:rate=25:duration=2", "-pix_fmt", "yuv420p", clip});
    if (made != 0) GTEST_SKIP() << "ffmpeg cannot make the clip";
    SimulatedAsset asset = fastVideo("clip", 5000);
    asset.duration = 2;
    asset.localFilePath = clip;
    library->addAsset(asset);
    startAndScan();

    PreviewDialog dialog(*media, viewModel->itemsFor({"clip"}).first());
    dialog.open();
    ASSERT_TRUE(reelkeep::testing::pumpUntil([&] { return dialog.state() != PreviewDialog::State::loading; },
                                             std::chrono::seconds(15)));
    ASSERT_EQ(dialog.state(), PreviewDialog::State::ready) << dialog.errorText().toStdString();
    QMediaPlayer* player = dialog.player();
    ASSERT_NE(player, nullptr);
    ASSERT_TRUE(waitUntil([&] { return player->playbackState() == QMediaPlayer::PlayingState; }));

    QTest::keyClick(&dialog, Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return player->playbackState() == QMediaPlayer::PausedState; }));
    auto* scrubber = dialog.findChild<QSlider*>("scrubber");
    ASSERT_TRUE(scrubber->isEnabled());

    // The clip is 2 s: a 5 s step lands on either end.
    QTest::keyClick(&dialog, Qt::Key_Right);
    EXPECT_TRUE(waitUntil([&] { return player->position() >= 1900; })) << player->position();
    QTest::keyClick(&dialog, Qt::Key_Left);
    EXPECT_TRUE(waitUntil([&] { return player->position() == 0; })) << player->position();
    QTest::keyClick(&dialog, Qt::Key_End);
    EXPECT_TRUE(waitUntil([&] { return player->position() >= 1900; })) << player->position();
    QTest::keyClick(&dialog, Qt::Key_Home);
    EXPECT_TRUE(waitUntil([&] { return player->position() == 0; })) << player->position();
    // A click three quarters along the groove jumps there, not a page step.
    QTest::mouseClick(scrubber, Qt::LeftButton, {},
                      QPoint(scrubber->width() * 3 / 4, scrubber->height() / 2));
    EXPECT_TRUE(waitUntil([&] { return std::abs(player->position() - 1500) <= 250; })) << player->position();
    if (QAudioOutput* audio = player->audioOutput()) {  // none on a machine without sound
        QTest::keyClick(&dialog, Qt::Key_M);
        EXPECT_TRUE(audio->isMuted());
        QTest::keyClick(&dialog, Qt::Key_M);
        EXPECT_FALSE(audio->isMuted());
    }
    scrubber->setSliderDown(true);
    scrubber->setValue(1200);
    EXPECT_TRUE(dialog.isScrubbing());
    scrubber->setSliderDown(false);
    EXPECT_TRUE(waitUntil([&] { return std::abs(player->position() - 1200) <= 80; })) << player->position();

    QTest::keyClick(&dialog, Qt::Key_Space);
    ASSERT_TRUE(reelkeep::testing::pumpUntil(
        [&] { return player->playbackState() != QMediaPlayer::PlayingState; }, std::chrono::seconds(10)));
    EXPECT_TRUE(waitUntil([&] { return player->position() == 0; })) << player->position();
    settle();
    EXPECT_NE(player->playbackState(), QMediaPlayer::PlayingState);  // no restart by itself

    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
}
