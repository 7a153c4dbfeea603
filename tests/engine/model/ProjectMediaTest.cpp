#include "CWFrameInformation.h"
#include "CWProject.h"
#include "MediaAsset.h"
#include "support/TestMedia.h"

#include <gtest/gtest.h>

using namespace TestMedia;

// A real video: the 30 thumbnails and the frame information arrive after creation returned.
TEST(CWProjectMedia, ThumbnailsAndFrameInformationArriveInTheBackground)
{
    auto project = CWProject::forAVAsset(openAsset(h264WithBFrames()));
    EXPECT_TRUE(project->thumbnails().size() < 30) << "creation does not wait for loading";
    int changes = 0;
    QObject::connect(project.get(), &CWProject::projectChanged, [&] { ++changes; });
    ASSERT_TRUE(runEventLoopUntil([&] { return project->thumbnails().size() == 30 && project->frameInformation(); }, 60000));
    ASSERT_TRUE(runEventLoopUntil([&] { return changes >= 30; }));
    // 10 s at 25 fps: the request times are i × 1/3 s; each picture shows the frame of its time.
    const auto strip = project->thumbnails();
    for (const auto& thumbnail : strip) {
        const double t = CMTimeGetSeconds(thumbnail->time());
        EXPECT_EQ(frameNumberInImage(thumbnail->image()), int(std::floor(t * 25 + 1e-9)));
        EXPECT_EQ(thumbnail->size(), QSizeF(160, 120));
    }
    EXPECT_EQ(project->frameInformation()->totalFrameCount(), 250u);
    // The last picture strictly before 5 s: request 15 (at 5 s − 1/3 tick) shows the frame at 4.96 s.
    EXPECT_EQ(project->thumbnailAt(CMTimeMake(5, 1))->time(), strip[15]->time());
    EXPECT_EQ(project->thumbnailAt(kCMTimeZero)->time(), strip[0]->time());

    // A new cut gets a picture of its start.
    ASSERT_TRUE(project->addCutAt(CMTimeMake(2, 1)));
    ASSERT_TRUE(runEventLoopUntil([&] {
        auto segment = project->splitAtIndex(0);
        return segment && segment->startThumbnail();
    }));
    EXPECT_EQ(frameNumberInImage(project->splitAtIndex(0)->startThumbnail()->image()), 50);
}

TEST(CWProjectMedia, ToolProjectsLoadNoPreviews)
{
    auto project = CWProject::forAVAsset(openAsset(h264WithBFrames()), CWProject::Options{false});
    project->addCutAt(CMTimeMake(2, 1));
    runEventLoopUntil([] { return false; }, 500);
    EXPECT_TRUE(project->thumbnails().empty());
    EXPECT_FALSE(project->frameInformation());
    EXPECT_FALSE(project->splitAtIndex(0)->startThumbnail());
}

TEST(CWProjectMedia, ProjectsCanBeDroppedWhileLoading)
{
    for (int i = 0; i < 5; ++i) {
        auto project = CWProject::forAVAsset(openAsset(h264WithBFrames()));
        project->addCutAt(CMTimeMake(i, 1));
    }
    runEventLoopUntil([] { return false; }, 300);
    SUCCEED();
}
