// The engine's side of the benchmarks: one operation on one file, as a whole process, so that the
// scripts can time it the same way as the peer tool. Prints what it did and its own elapsed time.
//   clipwell_bench open FILE          open, list tracks, duration and metadata
//   clipwell_bench thumbnails FILE N OFFSET  N exact frames at i × duration / N + OFFSET seconds, fitted into 300 × 300
//   clipwell_bench frametiming FILE   frame timing of the first video track
//   clipwell_bench project FILE       a project: time to the first editing answer, to 30 thumbnails and
//                                     to the frame information
//   clipwell_bench read FILE A B C D E F   decode (video and audio) the composition of the three kept
//                                     ranges A–B, C–D, E–F seconds, writing nothing
//   clipwell_bench tiles FILE         the film strip's tiles of a 1920-pixel strip with ten cuts: median time of
//                                     one enumeration, beside one blocking project query per tile (how the
//                                     tiles were found before the strip took one snapshot per call)
//   clipwell_bench qoa SECONDS        QOA-encode that much stereo noise-and-tone, printing sample frames per second
//   clipwell_bench seek FILE T...     the player's exact seeks to each time, one after the other: milliseconds
//                                     from the request to the frame on screen, one line each
//   clipwell_bench play FILE START SECONDS  the player plays that long from START on the system clock:
//                                     frames shown and dropped, and the process's CPU seconds
//   clipwell_bench scrub FILE SECONDS   a drag across the whole file lasting SECONDS, one scrub every 16 ms
//                                     (as pointer moves come): picture updates per second, and how long the
//                                     exact frame at the drag's end took after the last move
#include "CompositionReader.h"
#include "CWExportProject.h"
#include "CWFrameInformation.h"
#include "CWPreset.h"
#include "CWProject.h"
#include "CWQOAEncoder.h"
#include "CWTimelineLayout.h"
#include "FrameTiming.h"
#include "ImageGenerator.h"
#include "MediaAsset.h"
#include "Player.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <thread>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: clipwell_bench open|thumbnails|frametiming FILE [N]\n");
        return 2;
    }
    const QString command = QString::fromUtf8(argv[1]);
    const QString path = QString::fromUtf8(argv[2]);
    QElapsedTimer timer;
    timer.start();
    Error error;
    auto asset = command == QLatin1String("qoa") ? nullptr : MediaAsset::open(path, &error);
    if (!asset && command != QLatin1String("qoa")) {
        std::fprintf(stderr, "%s\n", qPrintable(error.message));
        return 1;
    }
    if (command == QLatin1String("open")) {
        for (const MediaTrack& t : asset->tracks())
            std::printf("track %d %s %s %dx%d\n", t.trackID, qPrintable(mediaTypeName(t.mediaType)), qPrintable(t.codecName),
                        t.naturalSize.width(), t.naturalSize.height());
        std::printf("duration %.3f s, %zu metadata items\n", CMTimeGetSeconds(asset->duration()), asset->metadata().size());
    } else if (command == QLatin1String("thumbnails")) {
        const int count = argc > 3 ? std::atoi(argv[3]) : 30;
        const double offset = argc > 4 ? std::atof(argv[4]) : 0.0;
        ImageGenerator generator(asset);
        generator.setMaximumSize(QSize(300, 300));
        generator.setAppliesPreferredTrackTransform(true);
        std::vector<CMTime> times;
        const CMTime d = asset->duration();
        for (int i = 0; i < count; ++i)
            times.push_back(CMTimeAdd(CMTimeMake(i * (d.value / count), d.timescale), CMTimeMakeWithSeconds(offset, 1000)));
        std::atomic<int> done{0}, ok{0};
        generator.generateImagesAsynchronously(times, [&](CMTime, const QImage& image, CMTime, ImageGenerator::Result r, const Error&) {
            ok += r == ImageGenerator::Result::Succeeded && !image.isNull();
            ++done;
        });
        while (done.load() < count)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::printf("%d of %d thumbnails\n", ok.load(), count);
    } else if (command == QLatin1String("frametiming")) {
        QElapsedTimer own;
        own.start();
        FrameTiming::Source source{};
        const auto samples = FrameTiming::read(*asset, asset->tracksWithMediaType(MediaType::Video).at(0).trackID, &error, &source);
        if (!samples) {
            std::fprintf(stderr, "%s\n", qPrintable(error.message));
            return 1;
        }
        std::printf("%zu frames from the %s in %.4f s\n", samples->size(),
                    source == FrameTiming::Source::SampleTable ? "sample table" : "packet scan", own.nsecsElapsed() / 1e9);
    } else if (command == QLatin1String("project")) {
        QElapsedTimer own;
        own.start();
        auto project = CWProject::forAVAsset(asset);
        project->addCutAt(CMTimeMake(1, 1));
        project->addCutAt(CMTimeMake(2, 1));
        std::printf("project made and two cuts answered in %.4f s\n", own.nsecsElapsed() / 1e9);
        const bool framed = !asset->tracksWithMediaType(MediaType::Video).empty();
        double thumbnails = 0, frames = 0;
        while ((!thumbnails || (framed && !frames)) && own.elapsed() < 120000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (!thumbnails && project->thumbnails().size() == 30)
                thumbnails = own.nsecsElapsed() / 1e9;
            if (!frames && project->frameInformation())
                frames = own.nsecsElapsed() / 1e9;
        }
        std::printf("30 thumbnails after %.4f s; frame information (%llu frames) after %.4f s\n", thumbnails,
                    project->frameInformation() ? (unsigned long long)project->frameInformation()->totalFrameCount() : 0ULL, frames);
    } else if (command == QLatin1String("tiles")) {
        auto project = CWProject::forAVAsset(asset);
        while (project->thumbnails().size() < 30 && timer.elapsed() < 120000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const double seconds = CMTimeGetSeconds(asset->duration());
        for (int i = 1; i <= 10; ++i)
            project->addCutAt(CMTimeMakeWithSeconds(seconds * i / 11, 1000));
        const auto playerImage = project->thumbnails().front();
        const QSizeF strip(1920, 60);
        auto median = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        std::vector<double> ours, perTile;
        int tiles = 0;
        for (int run = 0; run < 101; ++run) {
            QElapsedTimer t;
            t.start();
            tiles = 0;
            CWTimelineLayout::enumerateThumbnailTimesAndSplits(project->timelineSnapshot(), strip, kCMTimeZero, playerImage,
                                                               [&](CMTime, const std::shared_ptr<CWThumbnail>&, QRectF) { ++tiles; });
            ours.push_back(t.nsecsElapsed() / 1e6);
            t.restart();
            CWTimelineLayout::enumerateThumbnailTimesAndSplits(
                project->timelineSnapshot(), strip, kCMTimeZero, playerImage,
                [&](CMTime time, const std::shared_ptr<CWThumbnail>&, QRectF) { project->thumbnailAt(time); });
            perTile.push_back(t.nsecsElapsed() / 1e6);
        }
        const double a = median(ours), b = median(perTile);
        std::printf("%d tiles: ours %.4f ms   one query per tile %.4f ms   ratio %.2f\n", tiles, a, b, a / b);
    } else if (command == QLatin1String("read") && argc >= 9) {
        CWPreset::registerStandardPresets();
        // The cuts that leave exactly the three ranges.
        std::vector<double> edges{0};
        for (int i = 3; i < 9; ++i)
            edges.push_back(std::atof(argv[i]));
        edges.push_back(CMTimeGetSeconds(asset->duration()));
        std::vector<std::shared_ptr<CWExcludedSegment>> cuts;
        for (size_t i = 0; i + 1 < edges.size(); i += 2)
            if (edges[i + 1] > edges[i])
                cuts.push_back(
                    CWExcludedSegment::startingAt(CMTimeMakeWithSeconds(edges[i], 1000), CMTimeMakeWithSeconds(edges[i + 1], 1000)));
        auto project = CWExportProject::fromAsset(asset, cuts, CWPreset::classWithIdentifier(QStringLiteral("h264"))->create(),
                                                  CWProjectConfiguration::defaultConfiguration(), &error);
        if (!project) {
            std::fprintf(stderr, "%s\n", qPrintable(error.message));
            return 1;
        }
        CompositionReader reader(asset, *project->composition());
        auto video = reader.addVideoCompositionOutput(*project->videoComposition());
        std::vector<int32_t> audioIDs;
        for (const CompositionTrack* track : project->composition()->tracksWithMediaType(MediaType::Audio))
            audioIDs.push_back(track->trackID);
        const MediaTrack firstAudio = asset->tracksWithMediaType(MediaType::Audio).at(0);
        auto audio = reader.addAudioMixOutput(audioIDs, project->audioMix(),
                                              PcmFormat{firstAudio.sampleRate, firstAudio.channelCount, 0, PcmFormat::Sample::Int16});
        if (!reader.startReading(&error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error.message));
            return 1;
        }
        int64_t frames = 0, samples = 0;
        std::thread audioThread([&] {
            while (auto buffer = audio->copyNextSampleBuffer())
                samples += std::static_pointer_cast<PcmBuffer>(buffer)->frameCount();
        });
        while (video->copyNextSampleBuffer())
            ++frames;
        audioThread.join();
        std::printf("%lld frames, %lld audio samples\n", (long long)frames, (long long)samples);
    } else if (command == QLatin1String("qoa")) {
        const int frames = int(std::atof(argv[2]) * 44100);
        std::vector<int16_t> pcm(size_t(frames) * 2);
        uint32_t noise = 1;
        for (size_t i = 0; i < pcm.size(); ++i) {
            noise = noise * 1664525u + 1013904223u;
            pcm[i] = int16_t(8000 * std::sin(double(i / 2) * 0.0627) + int(noise >> 22) - 512);
        }
        QElapsedTimer own;
        own.start();
        // Two channels' halves of the file on two cores would be the next step; one encoder here.
        CWQOAEncoder encoder(2, 44100);
        std::vector<uint8_t> out;
        for (int at = 0; at < frames; at += CWQOAEncoder::kFrameLength) {
            out.clear();
            encoder.encodeFrame(pcm.data() + size_t(at) * 2, std::min(CWQOAEncoder::kFrameLength, frames - at), out);
        }
        const double seconds = own.nsecsElapsed() / 1e9;
        std::printf("%.0f stereo sample frames per second (%.3f s)\n", frames / seconds, seconds);
    } else if (command == QLatin1String("seek") || command == QLatin1String("play") || command == QLatin1String("scrub")) {
        Player player(asset);
        // The event loop sleeps between events, as the application's does; the condition is checked
        // after every event and every few milliseconds.
        auto waitFor = [](const std::function<bool()>& condition) {
            QEventLoop loop;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (condition())
                    loop.quit();
            });
            poll.start(2);
            if (!condition())
                loop.exec();
        };
        waitFor([&] { return player.status() != Player::Status::Loading && !player.currentFrame().image.isNull(); });
        if (command == QLatin1String("scrub")) {
            const double seconds = std::atof(argv[3]);
            const CMTime duration = player.duration();
            int updates = 0;
            QObject::connect(&player, &Player::frameChanged, [&] { ++updates; });
            QElapsedTimer drag;
            drag.start();
            bool done = false;
            QTimer pointer;
            QObject::connect(&pointer, &QTimer::timeout, [&] {
                const double along = std::min(1.0, drag.nsecsElapsed() / 1e9 / seconds);
                player.scrubToFrameStart(CMTimeMake(int64_t(along * double(duration.value)), duration.timescale),
                                         [&](bool finished) { done = finished; });
                if (along >= 1.0)
                    pointer.stop();
            });
            pointer.start(16);
            waitFor([&] { return !pointer.isActive(); });
            const double dragged = drag.nsecsElapsed() / 1e9;
            const int duringDrag = updates;
            QElapsedTimer settle;
            settle.start();
            waitFor([&] { return done; });
            std::printf("scrub %d updates in %.2f s: %.1f per second; exact frame %.0f ms after the last move\n", duringDrag, dragged,
                        duringDrag / dragged, settle.nsecsElapsed() / 1e6);
        } else if (command == QLatin1String("seek")) {
            for (int i = 3; i < argc; ++i) {
                bool done = false;
                QElapsedTimer one;
                one.start();
                player.seekToTime(CMTimeMakeWithSeconds(std::atof(argv[i]), 90000), kCMTimeZero, kCMTimeZero, [&](bool) { done = true; });
                waitFor([&] { return done; });
                std::printf("seek %s %.2f ms\n", argv[i], one.nsecsElapsed() / 1e6);
            }
        } else {
            bool done = false;
            player.seekToTime(CMTimeMakeWithSeconds(std::atof(argv[3]), 90000), kCMTimeZero, kCMTimeZero, [&](bool) { done = true; });
            waitFor([&] { return done; });
            int shown = 0;
            QObject::connect(&player, &Player::frameChanged, [&] { ++shown; });
            const double until = std::atof(argv[3]) + std::atof(argv[4]);
            player.play();
            waitFor([&] { return CMTimeGetSeconds(player.currentTime()) >= until || player.rate() == 0.0f; });
            player.pause();
            rusage usage{};
            getrusage(RUSAGE_SELF, &usage);
            std::printf("shown %d dropped %d cpu %.3f\n", shown, player.droppedFrameCount(),
                        usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6);
        }
    } else {
        std::fprintf(stderr, "unknown command %s\n", argv[1]);
        return 2;
    }
    std::printf("elapsed %.4f s\n", timer.nsecsElapsed() / 1e9);
    return 0;
}
