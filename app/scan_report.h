// scan_report.h: how `reelkeep scan` prints a list: an aligned table with the
// window's texts, or JSON. Names are library data, so control characters are
// escaped before they reach a terminal and paths that are not UTF-8 travel as
// base64 bytes next to their lossy text. JSON is written by hand, escaped as
// the grammar requires (and U+2028/U+2029), never built as a tree. Columns
// align by the cells a terminal gives each character (two for CJK and emoji,
// none for combining marks).
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QTextStream>
#include <functional>
#include <optional>

#include "model/duplicates.h"
#include "model/file_facts.h"
#include "model/video_date.h"
#include "model/video_item.h"

namespace reelkeep {

// Control characters as \n, \t, \r or \xNN; everything else unchanged.
QString escapeForTerminal(const QString& text);

// Terminal cells the text takes, by grapheme cluster: two for East Asian wide
// and emoji presentation, none for marks and format characters, else one.
int terminalWidth(QStringView text);

// The JSON's size_source: what the number is on Linux, whichever way it was
// read: "st_size" (the file's length, as ls -l shows it) or "st_blocks" (the
// space it takes on disk, st_blocks × 512, as du shows it).
QString sizeSourceWord(SizeSource source);

QString formatTable(const VideoList& items);

// Compact: no spaces, one video a line. Pretty: indented by four, one member a line.
enum class JsonLayout { compact, pretty };

// The same texts, written as they are made: a list of 100,000 videos is never
// held as one text, nor as a JSON tree, next to the list itself. False as soon
// as a write fails; nothing more is written then.
[[nodiscard]] bool writeTable(const VideoList& items, QTextStream& out);
// `files` gives each item's file facts (its path among them) by its position,
// asked for as the item is written; none when it is empty.
using FileFactsSource = std::function<FileFacts(std::size_t item)>;
[[nodiscard]] bool writeJson(const VideoList& items, const LibraryStats& stats,
                             const DuplicateSummary& duplicates, const FileFactsSource& files, QIODevice& out,
                             JsonLayout layout = JsonLayout::compact);

}  // namespace reelkeep
