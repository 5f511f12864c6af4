#pragma once

#include <cstdint>

// Each option's accepted values, inclusive at both ends. The proofs of the error bounds read
// them too (OptionRanges in proofs/run_proofs.py): a range made wider must be proven anew.
inline constexpr int32_t kMinKb = 1;
inline constexpr int32_t kMaxKb = 1000000;
inline constexpr int32_t kMinSampleRate = 1000;
inline constexpr int32_t kMaxSampleRate = 96000;
inline constexpr int32_t kMinChannels = 1;
inline constexpr int32_t kMaxChannels = 6;
inline constexpr int32_t kMinBytesPerSample = 1;
inline constexpr int32_t kMaxBytesPerSample = 4;
inline constexpr double kMinFrequency = 1.0;
inline constexpr double kMaxFrequency = 48000.0;
inline constexpr double kMinLevelDb = -45.0;
inline constexpr double kMaxLevelDb = 0.0;
inline constexpr double kMinModFrequency = 0.0;
inline constexpr double kMaxModFrequency = 1000.0;
inline constexpr double kMinModRangePercent = 0.0;
inline constexpr double kMaxModRangePercent = 100.0;
