#include "CompositionReader.h"
#include "CWExportProject.h"
#include "CWPreset.h"
#include "MediaAsset.h"
#include "SampleBufferInternal.h"
#include "support/EngineFixtures.h"
#include "support/TestMedia.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace TestMedia;
using EngineFixtures::exportProject;

namespace {

std::vector<int32_t> audioTrackIDs(const Composition& composition)
{
    std::vector<int32_t> ids;
    for (const CompositionTrack* track : composition.tracksWithMediaType(MediaType::Audio))
        ids.push_back(track->trackID);
    return ids;
}

// The frame number drawn by the fixture pattern into a yuv420p picture.
int frameNumber(const AVFrame* frame)
{
    auto level = [&](int x) {
        const int y = frame->data[0][size_t(frame->height / 2) * frame->linesize[0] + x];
        return int(std::lround((y - 16) / 14.0));
    };
    return level(frame->width / 4) + 16 * level(frame->width * 3 / 4);
}

} // namespace

// Three kept pieces: exactly the kept samples and exactly the kept frames, back to back.
TEST(CompositionReader, ThreeSlicesAreExactInSamplesAndFrames)
{
    auto project = exportProject(h264WithBFrames(), {{2, 4}, {6, 6}, {8.02, 8.5}}, "h264");
    ASSERT_TRUE(project);
    CompositionReader reader(project->asset(), *project->composition());
    const PcmFormat format{48000, 2, 0, PcmFormat::Sample::Int16};
    auto audio = reader.addAudioMixOutput(audioTrackIDs(*project->composition()), project->audioMix(), format);
    auto video = reader.addVideoCompositionOutput(*project->videoComposition());
    Error error;
    ASSERT_TRUE(reader.startReading(&error)) << error.message.toStdString();

    int64_t samples = 0;
    CMTime expectedTime = kCMTimeZero;
    while (auto buffer = audio->copyNextSampleBuffer()) {
        auto pcm = std::static_pointer_cast<PcmBuffer>(buffer);
        EXPECT_EQ(pcm->presentationTime, expectedTime);
        expectedTime = CMTimeAdd(expectedTime, pcm->duration);
        samples += pcm->frameCount();
    }
    EXPECT_EQ(audio->status(), ReaderOutput::Status::Completed);
    // Kept: 0–2, 4–8.02, 8.5–10 s = 7.52 s.
    EXPECT_EQ(samples, 7.52 * 48000);

    std::vector<int> numbers;
    CMTime next = kCMTimeZero;
    while (auto buffer = video->copyNextSampleBuffer()) {
        auto frame = std::static_pointer_cast<VideoFrameBuffer>(buffer);
        EXPECT_EQ(frame->presentationTime, next) << "no gap or overlap at frame " << numbers.size();
        next = CMTimeAdd(frame->presentationTime, frame->duration);
        numbers.push_back(frameNumber(frame->frame().frame.get()));
        EXPECT_EQ(frame->size(), QSize(160, 120));
    }
    EXPECT_EQ(video->status(), ReaderOutput::Status::Completed);
    EXPECT_NEAR(CMTimeGetSeconds(next), 7.52, 1e-9);
    // Frames 0–49, 100–200 (8.02 s falls inside frame 200, shown until 8.04 s), 212–249.
    std::vector<int> expected;
    for (int i = 0; i < 50; ++i)
        expected.push_back(i);
    for (int i = 100; i <= 200; ++i)
        expected.push_back(i);
    for (int i = 212; i < 250; ++i)
        expected.push_back(i);
    EXPECT_EQ(numbers, expected);
    EXPECT_EQ(reader.status(), CompositionReader::Status::Completed);
}

TEST(CompositionReader, RotatedVideoComesOutUpright)
{
    auto project = exportProject(rotatedMov(), {{0.5, 1.0}}, "h264");
    ASSERT_TRUE(project);
    EXPECT_EQ(project->videoComposition()->renderSize, QSize(120, 160));
    CompositionReader reader(project->asset(), *project->composition());
    auto video = reader.addVideoCompositionOutput(*project->videoComposition());
    Error error;
    ASSERT_TRUE(reader.startReading(&error));
    int count = 0;
    while (auto buffer = video->copyNextSampleBuffer()) {
        auto frame = std::static_pointer_cast<VideoFrameBuffer>(buffer);
        ASSERT_EQ(frame->size(), QSize(120, 160));
        // Turned clockwise: the stored left half (frame number mod 16) is now the top half.
        const AVFrame* f = frame->frame().frame.get();
        const int top = f->data[0][size_t(f->height / 4) * f->linesize[0] + f->width / 2];
        // Frames 0–12 (frame 12 is shown from 0.48 s to 0.52 s), then from frame 25 at 1 s.
        const int expectedFrame = count < 13 ? count : count + 12;
        EXPECT_EQ(int(std::lround((top - 16) / 14.0)), expectedFrame % 16) << count;
        ++count;
    }
    EXPECT_EQ(count, 13 + 25);
}

TEST(CompositionReader, TwoAudioTracksAreMixedAndSubtitlesCopied)
{
    auto project = exportProject(twoAudioAndSubtitle(), {{1, 2.5}}, "h264");
    ASSERT_TRUE(project);
    CompositionReader reader(project->asset(), *project->composition());
    const PcmFormat mono{48000, 1, 0, PcmFormat::Sample::Float32};
    auto mix = reader.addAudioMixOutput(audioTrackIDs(*project->composition()), project->audioMix(), mono);
    const auto subtitleTracks = project->composition()->tracksWithMediaType(MediaType::Subtitle);
    ASSERT_EQ(subtitleTracks.size(), 1u);
    auto subtitles = reader.addTrackOutput(subtitleTracks.front()->trackID);
    Error error;
    ASSERT_TRUE(reader.startReading(&error)) << error.message.toStdString();
    std::vector<float> signal;
    while (auto buffer = mix->copyNextSampleBuffer()) {
        auto pcm = std::static_pointer_cast<PcmBuffer>(buffer);
        signal.insert(signal.end(), pcm->floatSamples(), pcm->floatSamples() + pcm->frameCount());
    }
    EXPECT_EQ(signal.size(), size_t(2.5 * 48000));
    const double low = toneStrength(signal, 440), high = toneStrength(signal, 880), off = toneStrength(signal, 660);
    EXPECT_GT(low, 20 * off);
    EXPECT_GT(high, 20 * off);

    // "Hello" 0.5–1.5 s is cut to 0.5–1.0 s; "World" 2.0–3.0 s shows from 2.5 s, which is 1.0 s of output.
    std::vector<std::pair<double, double>> shown;
    while (auto buffer = subtitles->copyNextSampleBuffer()) {
        // The muxer fills the time between subtitles with empty samples (a zero text length).
        if (std::static_pointer_cast<PacketBuffer>(buffer)->packet().packet->size > 2)
            shown.emplace_back(CMTimeGetSeconds(buffer->presentationTime), CMTimeGetSeconds(buffer->duration));
    }
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_NEAR(shown[0].first, 0.5, 1e-3);
    EXPECT_NEAR(shown[0].second, 0.5, 1e-3);
    EXPECT_NEAR(shown[1].first, 1.0, 1e-3);
    EXPECT_NEAR(shown[1].second, 0.5, 1e-3);
}

TEST(CompositionReader, ResamplesDownmixesAndCancels)
{
    // A 44.1 kHz mono MP3 read as 48 kHz stereo, two pieces: still exact in samples.
    auto project = exportProject(mp3WithCover(), {{1, 1.5}}, "lame");
    ASSERT_TRUE(project);
    CompositionReader reader(project->asset(), *project->composition());
    auto audio = reader.addAudioMixOutput(audioTrackIDs(*project->composition()), project->audioMix(),
                                          PcmFormat{48000, 2, 0, PcmFormat::Sample::Int16});
    Error error;
    ASSERT_TRUE(reader.startReading(&error));
    int64_t frames = 0;
    while (auto buffer = audio->copyNextSampleBuffer())
        frames += std::static_pointer_cast<PcmBuffer>(buffer)->frameCount();
    EXPECT_EQ(frames, std::llround(CMTimeGetSeconds(project->composition()->duration()) * 48000));

    CompositionReader cancelled(project->asset(), *project->composition());
    auto output = cancelled.addAudioMixOutput(audioTrackIDs(*project->composition()), project->audioMix(),
                                              PcmFormat{48000, 2, 0, PcmFormat::Sample::Int16});
    ASSERT_TRUE(cancelled.startReading(&error));
    EXPECT_TRUE(output->copyNextSampleBuffer());
    cancelled.cancelReading();
    EXPECT_FALSE(output->copyNextSampleBuffer());
    EXPECT_EQ(output->status(), ReaderOutput::Status::Cancelled);
    EXPECT_EQ(cancelled.status(), CompositionReader::Status::Cancelled);
}
