// The encode sample rates of an audio encoder of libavcodec as ranges (minimum, maximum). An encoder
// that declares a list gives one single-value range per entry; one that declares none takes any rate,
// given as one range over the common rates (8 kHz to 96 kHz). Unknown encoders give an empty list.
// Plain function, any thread.
#pragma once

#include <QString>

#include <utility>
#include <vector>

namespace AudioEncoderCapabilities {
using Range = std::pair<double, double>;
std::vector<Range> sampleRates(const QString& encoderName);
} // namespace AudioEncoderCapabilities
