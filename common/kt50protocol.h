// SPDX-License-Identifier: Apache-2.0
// The KT50's command stream as the printer takes it, in plain constants: the
// command bytes, the job header record, the page bitmap and its lanes, and
// the largest page the driver accepts. Shared by the filter, the dialog
// plug-in's header writer, the stream decoder and the printer application;
// it depends on nothing but the standard library.
#pragma once

#include <array>
#include <cstdint>

// Every command is ESC "|" and a command byte; numbers of 16 bits follow
// low byte first, one-byte values are the value's low 8 bits.
inline constexpr uint8_t kEsc = 0x1B;
inline constexpr uint8_t kBar = 0x7C;

// Command bytes of the job header record.
inline constexpr uint8_t kCmdWriteDensity = 0x44;  // D
inline constexpr uint8_t kCmdWriteSpeed = 0x73;    // s
inline constexpr uint8_t kCmdWriteRepeat = 0x50;   // P
inline constexpr uint8_t kCmdLineEnhance = 0x41;   // A
inline constexpr uint8_t kCmdLaneOverlap = 0x56;   // V
inline constexpr uint8_t kCmdAdjustLength = 0x43;  // C
// Command bytes of a page.
inline constexpr uint8_t kCmdInit = 0x40;
inline constexpr uint8_t kCmdSize = 0x45;      // width, height: 16 bits each
inline constexpr uint8_t kCmdLaneNo = 0x4C;    // lane 1 to 4
inline constexpr uint8_t kCmdOffsetY = 0x59;   // first row of the lane block: 16 bits
inline constexpr uint8_t kCmdRaster = 0x30;    // bytes a row, rows: 16 bits each
inline constexpr uint8_t kCmdFormFeed = 0x0C;  // end of page

// Page bitmap: 1 = ink, leftmost pixel in the most significant bit, rows of
// 1240 bytes one after another, four lanes of 310 bytes per row.
inline constexpr int32_t kPageBitmapWidth = 9920;
inline constexpr int32_t kPageBitmapRowBytes = 1240;
inline constexpr int32_t kPageBitmapHeight = 14645;
inline constexpr int32_t kPageBitmapSize = kPageBitmapRowBytes * kPageBitmapHeight;
inline constexpr int32_t kLaneCount = 4;
inline constexpr int32_t kLaneWidth = 2480;
inline constexpr int32_t kLaneBytes = 310;
// The size command never announces less than this in either direction.
inline constexpr int32_t kMinPageExtent = 2364;

// The largest page the driver takes: twice the bitmap each way. Wider and
// taller pages are drawn from their top-left 9920 x 14645 pixels, but a page
// beyond these can only be a fault, and its lines would cost time for nothing.
inline constexpr uint32_t kMaxRasterWidth = 2 * kPageBitmapWidth;
inline constexpr uint32_t kMaxRasterHeight = 2 * kPageBitmapHeight;
// Bytes a raster line may carry beyond its pixels.
inline constexpr uint32_t kMaxLinePadding = 4096;

// Page command templates; the parameter bytes are filled in when written.
inline constexpr std::array<uint8_t, 3> g_ucESC_INIT{kEsc, kBar, kCmdInit};
inline constexpr std::array<uint8_t, 7> g_ucESC_SIZE{kEsc, kBar, kCmdSize, 0, 0, 0, 0};
inline constexpr std::array<uint8_t, 4> g_ucESC_LANE_NO{kEsc, kBar, kCmdLaneNo, 0};
inline constexpr std::array<uint8_t, 5> g_ucESC_OFFSET_Y{kEsc, kBar, kCmdOffsetY, 0, 0};
inline constexpr std::array<uint8_t, 7> g_ucESC_RASTER{
    kEsc, kBar, kCmdRaster, kLaneBytes & 0xFF, kLaneBytes >> 8, 0, 0};
inline constexpr std::array<uint8_t, 3> g_ucESC_FF{kEsc, kBar, kCmdFormFeed};

// The job header record: six commands with one value each, the length
// adjustment's 16 bits last. The template's values are all 0.
inline constexpr int kJobHeaderSize = 25;
inline constexpr std::array<uint8_t, kJobHeaderSize> g_JobHeader{
    kEsc, kBar, kCmdWriteDensity, 0x00,
    kEsc, kBar, kCmdWriteSpeed,   0x00,
    kEsc, kBar, kCmdWriteRepeat,  0x00,
    kEsc, kBar, kCmdLineEnhance,  0x00,
    kEsc, kBar, kCmdLaneOverlap,  0x00,
    kEsc, kBar, kCmdAdjustLength, 0x00, 0x00,
};
// Where each header command starts; its value follows the command's 3 bytes.
inline constexpr int kHeaderAtWriteDensity = 0;
inline constexpr int kHeaderAtWriteSpeed = 4;
inline constexpr int kHeaderAtWriteRepeat = 8;
inline constexpr int kHeaderAtLineEnhance = 12;
inline constexpr int kHeaderAtLaneOverlap = 16;
inline constexpr int kHeaderAtAdjustLength = 20;
