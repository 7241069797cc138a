// SPDX-License-Identifier: Apache-2.0
// The job options that the filter, the dialog plug-in and the printer
// application share: one table of the ten settings (keyword, range or
// choices, default, the record field it fills), the record itself, and the
// writer of the 25-byte job header record. Built into every deliverable, so
// it depends on nothing but the standard library.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "kt50protocol.h"

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

// The screening methods by their codes. None, Rough, Fine and Solid are the
// simple road's fixed 8x8 screens; FrequencyAngle (the AM screen) and
// ErrorDiffusion take the image road.
enum class DotScreening : int32_t { None, Rough, Fine, FrequencyAngle, ErrorDiffusion, Solid };
inline constexpr int32_t kDotScreeningCount = 6;
constexpr int32_t Code(DotScreening method) { return static_cast<int32_t>(method); }

// A choice: its name in the options and the PPD, its code, and its keyword
// as the printer application's IPP attribute offers it. A list ends with an
// entry without a name.
struct tagCHOICE {
  const char *name;
  int32_t code;
  const char *ippKeyword;
};

inline constexpr std::array<tagCHOICE, 4> g_LineEnhanceList{{
    {"TKEnhanceNone", 0, "none"},
    {"TKEnhanceBold1", 1, "bold-1"},
    {"TKEnhanceBold2", 2, "bold-2"},
    {nullptr, 0, nullptr},
}};

inline constexpr std::array<tagCHOICE, 3> g_MirrorList{{
    {"TKMirrorOFF", 0, "false"},
    {"TKMirrorON", 1, "true"},
    {nullptr, 0, nullptr},
}};

inline constexpr std::array<tagCHOICE, kDotScreeningCount + 1> g_DotScreeningList{{
    {"TKScreeningNone", Code(DotScreening::None), "threshold"},
    {"TKScreeningRough", Code(DotScreening::Rough), "rough"},
    {"TKScreeningFine", Code(DotScreening::Fine), "fine"},
    {"TKScreeningFrequencyAngle", Code(DotScreening::FrequencyAngle), "frequency-angle"},
    {"TKScreeningErrorDiffusion", Code(DotScreening::ErrorDiffusion), "error-diffusion"},
    {"TKScreeningSolid", Code(DotScreening::Solid), "solid"},
    {nullptr, 0, nullptr},
}};

// The ten job settings, in the order the page loop takes them. A fresh
// record holds every setting's default from g_JobOptions.
struct tagJOBSETTINGS {
  constexpr tagJOBSETTINGS();
  int32_t writeDensity{};
  int32_t adjustLength{};
  int32_t writeSpeed{};
  int32_t writeRepeat{};
  int32_t lineEnhance{};  // code of g_LineEnhanceList
  int32_t laneOverlap{};
  int32_t mirror{};        // code of g_MirrorList
  int32_t dotScreening{};  // code of g_DotScreeningList, a DotScreening
  int32_t frequency{};
  int32_t angle{};
};

// An option's keyword, accepted range (both ends included; for a choice, its
// codes) and default. Values outside the range are replaced by the default,
// never clamped.
struct tagINTOPTION {
  const char *keyword;
  int32_t min;
  int32_t max;
  int32_t def;
};

// How a setting is chosen: a number typed in, one of a few numbers in a
// list, a named choice, or on and off.
enum class OptionKind : uint8_t { Number, Steps, Choice, Switch };

struct tagJOBOPTION {
  tagINTOPTION option;
  OptionKind kind;
  std::span<const tagCHOICE> choices;  // Choice and Switch; without the end entry
  const char *ippAttribute;            // the printer application's "kt50-..." attribute
  int32_t tagJOBSETTINGS::*field;
};

constexpr std::span<const tagCHOICE> Named(std::span<const tagCHOICE> list) {
  return list.first(list.size() - 1);
}

// The one table of the job settings, in the order of tagJOBSETTINGS.
inline constexpr std::array<tagJOBOPTION, 10> g_JobOptions{{
    // keyword, range, default                  kind                 choices
    {{kWriteDensity, -16, 16, 0},               OptionKind::Number,  {},
     "kt50-write-density",       &tagJOBSETTINGS::writeDensity},
    {{kAdjustLength, -500, 500, 0},             OptionKind::Number,  {},
     "kt50-adjust-length",       &tagJOBSETTINGS::adjustLength},
    {{kWriteSpeed, 0, 3, 0},                    OptionKind::Steps,   {},
     "kt50-write-speed",         &tagJOBSETTINGS::writeSpeed},
    {{kWriteRepeat, 0, 3, 0},                   OptionKind::Steps,   {},
     "kt50-write-repeat",        &tagJOBSETTINGS::writeRepeat},
    {{kLineEnhance, 0, 2, 0},                   OptionKind::Choice,  Named(g_LineEnhanceList),
     "kt50-line-enhance",        &tagJOBSETTINGS::lineEnhance},
    {{kLaneOverlap, -3, 3, 0},                  OptionKind::Steps,   {},
     "kt50-lane-overlap",        &tagJOBSETTINGS::laneOverlap},
    {{kMirror, 0, 1, 1},                        OptionKind::Switch,  Named(g_MirrorList),
     "kt50-mirror",              &tagJOBSETTINGS::mirror},
    {{kDotScreening, 0, kDotScreeningCount - 1, Code(DotScreening::None)},
                                                OptionKind::Choice,  Named(g_DotScreeningList),
     "kt50-dot-screening",       &tagJOBSETTINGS::dotScreening},
    {{kDotScreeningFrequency, 38, 200, 38},     OptionKind::Number,  {},
     "kt50-screening-frequency", &tagJOBSETTINGS::frequency},
    {{kDotScreeningAngle, 0, 90, 37},           OptionKind::Number,  {},
     "kt50-screening-angle",     &tagJOBSETTINGS::angle},
}};

constexpr tagJOBSETTINGS::tagJOBSETTINGS() {
  for (const tagJOBOPTION &row : g_JobOptions) this->*row.field = row.option.def;
}

// The table's row for a field of tagJOBSETTINGS.
constexpr const tagJOBOPTION &JobOption(int32_t tagJOBSETTINGS::*field) {
  for (const tagJOBOPTION &row : g_JobOptions)
    if (row.field == field) return row;
  return g_JobOptions[0];  // every field has its row
}

// Each option's row by name, for the readers and checks that take one.
inline constexpr const tagINTOPTION &g_WriteDensityOption = JobOption(&tagJOBSETTINGS::writeDensity).option;
inline constexpr const tagINTOPTION &g_AdjustLengthOption = JobOption(&tagJOBSETTINGS::adjustLength).option;
inline constexpr const tagINTOPTION &g_WriteSpeedOption = JobOption(&tagJOBSETTINGS::writeSpeed).option;
inline constexpr const tagINTOPTION &g_WriteRepeatOption = JobOption(&tagJOBSETTINGS::writeRepeat).option;
inline constexpr const tagINTOPTION &g_LineEnhanceOption = JobOption(&tagJOBSETTINGS::lineEnhance).option;
inline constexpr const tagINTOPTION &g_LaneOverlapOption = JobOption(&tagJOBSETTINGS::laneOverlap).option;
inline constexpr const tagINTOPTION &g_MirrorOption = JobOption(&tagJOBSETTINGS::mirror).option;
inline constexpr const tagINTOPTION &g_DotScreeningOption = JobOption(&tagJOBSETTINGS::dotScreening).option;
inline constexpr const tagINTOPTION &g_DotScreeningFrequencyOption = JobOption(&tagJOBSETTINGS::frequency).option;
inline constexpr const tagINTOPTION &g_DotScreeningAngleOption = JobOption(&tagJOBSETTINGS::angle).option;
inline constexpr int32_t kLineEnhanceDefault = g_LineEnhanceOption.def;
inline constexpr int32_t kMirrorDefault = g_MirrorOption.def;
inline constexpr int32_t kDotScreeningDefault = g_DotScreeningOption.def;

// Writes the job's values into the value fields of a 25-byte header record and
// leaves every other byte alone, so a stored job's header can be patched too.
void SetPrintJobHeader(uint8_t *header, int32_t writeDensity, int32_t adjustLength,
                       int32_t writeSpeed, int32_t writeRepeat, int32_t lineEnhance,
                       int32_t laneOverlap);
