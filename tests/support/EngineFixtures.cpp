#include "EngineFixtures.h"

#include "CWExportSession.h"
#include "CWPreset.h"
#include "TestMedia.h"

#include <gtest/gtest.h>

namespace EngineFixtures {

std::shared_ptr<CWExportProject> exportProject(const QString& path, std::initializer_list<std::pair<double, double>> cuts,
                                               const char* presetIdentifier)
{
    CWPreset::registerStandardPresets();
    auto asset = TestMedia::openAsset(path);
    std::vector<std::shared_ptr<CWExcludedSegment>> list;
    for (const auto& [start, stop] : cuts)
        list.push_back(CWExcludedSegment::startingAt(CMTimeMakeWithSeconds(start, 1000), CMTimeMakeWithSeconds(stop, 1000)));
    const CWPresetClass* presetClass = CWPreset::classWithIdentifier(QString::fromLatin1(presetIdentifier));
    EXPECT_TRUE(presetClass) << presetIdentifier;
    if (!asset || !presetClass)
        return nullptr;
    Error error;
    auto project = CWExportProject::fromAsset(asset, list, presetClass->create(), CWProjectConfiguration::defaultConfiguration(), &error);
    EXPECT_TRUE(project) << error.message.toStdString();
    return project;
}

SessionOutcome runSession(const std::shared_ptr<CWExportProject>& project, const QString& path, int timeoutMs)
{
    SessionOutcome outcome;
    Error error;
    auto session = CWExportSession::exportProject(project, path, project->preset(), &error);
    EXPECT_TRUE(session) << error.message.toStdString();
    if (!session)
        return outcome;
    bool ended = false;
    session->startExport([](double, CMTime) { return true; },
                         [&](const std::optional<Error>& e, int64_t status) {
                             outcome.error = e;
                             outcome.status = status;
                             ended = true;
                         });
    EXPECT_TRUE(runEventLoopUntil([&] { return ended; }, timeoutMs));
    return outcome;
}

} // namespace EngineFixtures
