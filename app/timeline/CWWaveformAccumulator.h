// Reduces the first channel of a file, handed over chunk by chunk, to the waveform's bars: B buckets of
// k samples, each bar the mean absolute value of its bucket, and the peak absolute value. k is estimated
// from the first chunk (its frame count over the fraction of the file it covers, divided by B; at least
// 1). A bar is also closed at the end of a chunk when only one is missing; once B bars exist the rest of
// that chunk is not looked at (neither for the bars nor for the peak), and each later chunk may still add
// one bar at its first multiple of k, beyond the strip's right edge. A file read in one chunk of L ≥ B
// frames thus gives exactly B bars of L / B samples.
//
// Plain value, one thread at a time (the main thread, in the application).
#pragma once

#include <cstdint>
#include <vector>

class CWWaveformAccumulator {
public:
    // The bars for a reference width: trunc(max(width, 1920)) / (line width 1 + spacing 1).
    static uint64_t barCountForWidth(double totalScreenWidth);

    explicit CWWaveformAccumulator(uint64_t barCount) : barCount_(barCount) {}
    // frames samples of the first channel; progress is how much of the file has been read, in percent.
    void addChunk(const float* samples, int64_t frames, double progress);
    // The last, partial bucket becomes a bar while bars are missing.
    void finish();

    const std::vector<float>& bars() const { return bars_; }
    float maxSample() const { return peak_; }
    uint64_t samplesPerBar() const { return samplesPerBucket_; }

private:
    uint64_t barCount_;
    std::vector<float> bars_;
    uint64_t inBucket_ = 0;         // n
    uint64_t samplesPerBucket_ = 0; // k; 0 until the first chunk
    uint64_t emitted_ = 0;          // m
    uint64_t seen_ = 0;             // T
    float sum_ = 0.0f;              // S
    float peak_ = 0.0f;             // P
};
