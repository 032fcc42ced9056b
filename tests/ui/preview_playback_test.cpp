// preview_playback_test.cpp: the preview with the real media backend on a clip
// made by ffmpeg at test time: it plays at once, Space pauses, a released
// scrubber lands exactly, and the end rewinds without playing again.
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

    PreviewDialog dialog(viewModel->service(), viewModel->itemsFor({"clip"}).first());
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
