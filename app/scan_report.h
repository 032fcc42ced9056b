// scan_report.h: how `reelkeep scan` prints a list: an aligned table with the
// window's texts, or JSON. Names are library data, so control characters are
// escaped before they reach a terminal and paths that are not UTF-8 travel as
// base64 bytes next to their lossy text.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QJsonDocument>
#include <QString>
#include <QTextStream>
#include <functional>
#include <optional>

#include "model/duplicates.h"
#include "model/video_item.h"

namespace reelkeep {

// Control characters as \n, \t, \r or \xNN; everything else unchanged.
QString escapeForTerminal(const QString& text);

// The file behind an identifier, as raw bytes, when the library knows one.
using PathLookup = std::function<std::optional<QByteArray>(const QString& localIdentifier)>;

QString formatTable(const VideoList& items);
QJsonDocument formatJson(const VideoList& items, const LibraryStats& stats,
                         const DuplicateSummary& duplicates, const PathLookup& pathOf);

// The same texts, written as they are made: a list of 100,000 videos is never
// held as one text, nor as a JSON tree, next to the list itself.
void writeTable(const VideoList& items, QTextStream& out);
void writeJson(const VideoList& items, const LibraryStats& stats, const DuplicateSummary& duplicates,
               const PathLookup& pathOf, QIODevice& out);

}  // namespace reelkeep
