// command_values.h: the values `reelkeep scan` options take, read the way a
// Linux user writes them: lowercase words with hyphens ("size", "date-newest")
// and byte amounts in decimal units ("500MB", "1.5G"), with the earlier
// spellings ("sizeDesc", "atLeast1GB") still understood.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "model/sort_order.h"

namespace reelkeep {

// Case-insensitive; nothing for an unknown order.
std::optional<VideoSortOrder> parseSortOrder(const QString& text);
// The orders as --help and the man page list them.
QString sortOrderWords();

// The least size a listed video has, in bytes; 0 keeps every video. "none",
// the size filters ("1gb", "atLeast1GB"), or an amount: a whole or decimal
// number with an optional unit B, K, KB, M, MB, G, GB, T, TB (powers of 1000,
// as every size on screen) or KiB, MiB, GiB, TiB (powers of 1024). A fraction
// of a byte rounds up. Nothing for anything else, a negative amount or one
// beyond 2^63 bytes.
std::optional<std::int64_t> parseMinimumSize(const QString& text);

// Every value of --NAME (as "--NAME VALUE" or "--NAME=VALUE") before a "--",
// as the raw bytes of argv: a folder name that is not UTF-8 is lost once
// QCoreApplication::arguments() has decoded it.
std::vector<QByteArray> rawOptionValues(int argc, const char* const* argv, std::string_view name);

}  // namespace reelkeep
