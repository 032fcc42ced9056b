// thumbnail_loader_test.cpp: requests for rows that left the screen stop, a
// missing picture is asked for again, and a late picture lands on the row its
// video occupies now.
#include <QSignalSpy>

#include "ui/thumbnail_loader.h"
#include "ui/video_table_model.h"
#include "ui_fixture.h"

using namespace reelkeep;
using namespace reelkeep::test;

namespace {

class ThumbnailTest : public ViewModelTest {
protected:
    void SetUp() override {
        ViewModelTest::SetUp();
        library->addAssets(numberedVideos(3));
        loader = std::make_unique<ThumbnailLoader>(*media);
        QObject::connect(loader.get(), &ThumbnailLoader::thumbnailReady,
                         [this](const QString& id) { ready << id; });
    }

    void TearDown() override {
        loader.reset();
        viewModel.reset();
        media.reset();
        service.reset();
        // Requests still waiting when the service went resume, cancelled, on this loop.
        settle(std::chrono::milliseconds(100));
    }

    std::unique_ptr<ThumbnailLoader> loader;
    QStringList ready;
};

}  // namespace

TEST_F(ThumbnailTest, RowsScrolledAwayStopAndOnlyWantedPicturesLand) {
    library->setLatency(SimulatedCall::requestImage, std::chrono::milliseconds(300));
    loader->request({"v000", "v001"});
    EXPECT_EQ(loader->requestsInFlight(), 2);
    loader->request({"v002"});  // scrolled: the first two are no longer wanted
    EXPECT_EQ(loader->requestsInFlight(), 1);
    ASSERT_TRUE(waitUntil([&] { return ready.contains("v002"); }));
    settle(std::chrono::milliseconds(600));
    EXPECT_EQ(ready, QStringList{"v002"});
    EXPECT_TRUE(loader->image("v000").isNull());
    EXPECT_FALSE(loader->image("v002").isNull());
    loader->request({"v002"});  // kept: nothing to ask
    EXPECT_EQ(loader->requestsInFlight(), 0);
}

TEST_F(ThumbnailTest, AMissingPictureIsAskedForAgain) {
    SimulatedAsset blank = fastVideo("blank", 10);
    blank.image = ImageBehavior::noImage;
    library->addAsset(blank);
    loader->request({"blank"});
    ASSERT_TRUE(waitUntil([&] { return loader->requestsInFlight() == 0; }));
    EXPECT_TRUE(loader->image("blank").isNull());
    EXPECT_TRUE(ready.isEmpty());
    loader->request({"blank"});
    EXPECT_EQ(loader->requestsInFlight(), 1);
}

TEST_F(ThumbnailTest, ALatePictureLandsOnTheVideosCurrentRow) {
    library->setLatency(SimulatedCall::requestImage, std::chrono::milliseconds(100));
    VideoTableModel model(*viewModel);
    model.setThumbnailLoader(loader.get());
    const auto item = [](const QString& id) {
        return VideoItem(id, id + ".mov", 1.6e9, 1, 64, 40, false, false, SizeState::unavailable());
    };
    model.showRows({item("v000"), item("v001")}, 0, {});
    loader->request({"v000"});
    model.showRows({item("v001"), item("v000")}, 0, {});  // the row moved while decoding
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    ASSERT_TRUE(waitUntil([&] { return ready.contains("v000"); }));
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.first().at(0).toModelIndex().row(), 1);
    EXPECT_FALSE(model.index(1, 0).data(VideoTableModel::ThumbnailRole).value<QImage>().isNull());
    EXPECT_FALSE(model.index(0, 0).data(VideoTableModel::ThumbnailRole).isValid());
}
