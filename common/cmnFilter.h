// SPDX-License-Identifier: Apache-2.0
// The job options that the filter and the dialog plug-in share, and the
// writer of the 25-byte job header record. Built into both deliverables, so
// it depends on nothing but the standard library.
#pragma once

#include <array>
#include <cstdint>

// Every option is stored under "<prefix>.<keyword>"; the filter also accepts
// the bare keyword.
inline constexpr const char g_KeyPrefix[] = "com.tavik.printsettings.VANTREX_KT50";
inline constexpr int kComposedKeySize = 64;

inline constexpr const char kWriteDensity[] = "TKWriteDensity";
inline constexpr const char kAdjustLength[] = "TKAdjustLength";
inline constexpr const char kWriteSpeed[] = "TKWriteSpeed";
inline constexpr const char kWriteRepeat[] = "TKWriteRepeat";
inline constexpr const char kLineEnhance[] = "TKLineEnhance";
inline constexpr const char kLaneOverlap[] = "TKLaneOverlap";
inline constexpr const char kMirror[] = "TKMirror";
inline constexpr const char kDotScreening[] = "TKDotScreening";
inline constexpr const char kDotScreeningFrequency[] = "TKDotScreeningFrequency";
inline constexpr const char kDotScreeningAngle[] = "TKDotScreeningAngle";

// An integer option: accepted range (both ends included) and default.
// Values outside the range are replaced by the default, never clamped.
struct tagINTOPTION {
  const char *keyword;
  int32_t min;
  int32_t max;
  int32_t def;
};

inline constexpr tagINTOPTION g_WriteDensityOption{kWriteDensity, -16, 16, 0};
inline constexpr tagINTOPTION g_AdjustLengthOption{kAdjustLength, -500, 500, 0};
inline constexpr tagINTOPTION g_WriteSpeedOption{kWriteSpeed, 0, 3, 0};
inline constexpr tagINTOPTION g_WriteRepeatOption{kWriteRepeat, 0, 3, 0};
inline constexpr tagINTOPTION g_LaneOverlapOption{kLaneOverlap, -3, 3, 0};
inline constexpr tagINTOPTION g_DotScreeningFrequencyOption{kDotScreeningFrequency, 38, 200, 38};
inline constexpr tagINTOPTION g_DotScreeningAngleOption{kDotScreeningAngle, 0, 90, 37};

// A choice option's names and codes, ended by an entry without a name.
struct tagCHOICE {
  const char *name;
  int32_t code;
};

inline constexpr std::array<tagCHOICE, 4> g_LineEnhanceList{{
    {"TKEnhanceNone", 0},
    {"TKEnhanceBold1", 1},
    {"TKEnhanceBold2", 2},
    {nullptr, 0},
}};
inline constexpr int32_t kLineEnhanceDefault = 0;

inline constexpr std::array<tagCHOICE, 3> g_MirrorList{{
    {"TKMirrorOFF", 0},
    {"TKMirrorON", 1},
    {nullptr, 0},
}};
inline constexpr int32_t kMirrorDefault = 1;

inline constexpr std::array<tagCHOICE, 7> g_DotScreeningList{{
    {"TKScreeningNone", 0},
    {"TKScreeningRough", 1},
    {"TKScreeningFine", 2},
    {"TKScreeningFrequencyAngle", 3},
    {"TKScreeningErrorDiffusion", 4},
    {"TKScreeningSolid", 5},
    {nullptr, 0},
}};
inline constexpr int32_t kDotScreeningDefault = 0;

// The job header record: the template's command bytes with value fields.
inline constexpr int kJobHeaderSize = 25;
inline constexpr std::array<uint8_t, kJobHeaderSize> g_JobHeader{
    0x1B, 0x7C, 0x44, 0x00,  // D: write density
    0x1B, 0x7C, 0x73, 0x00,  // s: write speed
    0x1B, 0x7C, 0x50, 0x00,  // P: write repeat
    0x1B, 0x7C, 0x41, 0x00,  // A: line enhancement
    0x1B, 0x7C, 0x56, 0x00,  // V: lane overlap
    0x1B, 0x7C, 0x43, 0x00, 0x00,  // C: length adjustment, 16-bit little-endian
};

// Writes the job's values into the value fields of a 25-byte header record and
// leaves every other byte alone, so a stored job's header can be patched too.
void SetPrintJobHeader(uint8_t *header, int32_t writeDensity, int32_t adjustLength,
                       int32_t writeSpeed, int32_t writeRepeat, int32_t lineEnhance,
                       int32_t laneOverlap);
