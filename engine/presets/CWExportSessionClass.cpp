#include "CWExportSessionClass.h"

#include "AudioEncoderCapabilities.h"

namespace CWExportSessionClasses {

namespace {

const int64_t kStandardSampleRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 88200, 96000};

// Every standard rate inside each range, in list order; a single-value range adds its value. Ranges
// are not merged, so a rate may appear twice.
std::vector<int64_t> ratesWithin(const std::vector<AudioEncoderCapabilities::Range>& ranges)
{
    std::vector<int64_t> rates;
    for (const auto& [minimum, maximum] : ranges) {
        if (minimum == maximum) {
            rates.push_back(int64_t(minimum));
            continue;
        }
        for (int64_t rate : kStandardSampleRates)
            if (rate >= minimum && rate <= maximum)
                rates.push_back(rate);
    }
    return rates;
}

} // namespace

bool includeAudioTracksInComposition(CWExportSessionClass) { return true; }

bool includeVideoTracksInComposition(CWExportSessionClass sessionClass) { return sessionClass != CWExportSessionClass::AudioOnly; }

bool writesSoundOnly(CWExportSessionClass sessionClass)
{
    switch (sessionClass) {
    case CWExportSessionClass::AudioOnly:
    case CWExportSessionClass::LameCustom:
    case CWExportSessionClass::QOA:
    case CWExportSessionClass::FLACAudioFile:
    case CWExportSessionClass::AppleLosslessAudioFile:
        return true;
    case CWExportSessionClass::Basic:
    case CWExportSessionClass::AssetWriter:
        break;
    }
    return false;
}

std::optional<std::vector<int64_t>> availableBitrates(CWExportSessionClass sessionClass)
{
    switch (sessionClass) {
    case CWExportSessionClass::FLACAudioFile:
    case CWExportSessionClass::AppleLosslessAudioFile:
        return std::vector<int64_t>{}; // lossless: no bit rate to choose
    default:
        return std::nullopt;
    }
}

std::optional<std::vector<int64_t>> availableSampleRates(CWExportSessionClass sessionClass)
{
    switch (sessionClass) {
    case CWExportSessionClass::FLACAudioFile:
        return ratesWithin(AudioEncoderCapabilities::sampleRates(QStringLiteral("flac")));
    case CWExportSessionClass::AppleLosslessAudioFile:
        return ratesWithin(AudioEncoderCapabilities::sampleRates(QStringLiteral("alac")));
    default:
        return std::nullopt;
    }
}

} // namespace CWExportSessionClasses
