// display_text.h: the text forms of sizes, lengths, dates and resolutions, shared
// by every view. Formatting is for display only; nothing sorts or filters on these.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "video_item.h"

namespace reelkeep {

// Decimal multiples (1 KB = 1,000 bytes), in the user's current locale: bytes and KB
// without decimals, MB with one, GB and larger with two, trailing zeros dropped,
// zero spelled out ("Zero KB"). A value that rounds up to 1,000 moves to the next unit.
QString byteCountText(std::int64_t bytes);

QString sizeText(std::optional<std::int64_t> bytes);
QString durationText(double seconds);
QString dateText(Timestamp date);
QString dateTimeText(Timestamp date);
QString resolutionText(std::int64_t width, std::int64_t height);
// 2160 lines or more on the shorter side: what resolutionText calls "4K".
bool isFourK(std::int64_t width, std::int64_t height);
QString resolutionDetailText(std::int64_t width, std::int64_t height);
// Bits a second in decimal multiples: "850 kbit/s", "12.4 Mbit/s"; a dash when unknown.
QString bitrateText(std::optional<double> bitsPerSecond);

// Sidebar titles: the year alone and the abbreviated month alone.
QString yearTitle(int year);
QString monthTitle(int year, int month);

}  // namespace reelkeep
