// group_fingerprints.cpp: `reelkeep-near-copy-groups` reads the JSON lines
// reelkeep-fingerprints prints and writes the near-copy sets the matcher finds
// among them, one JSON array of paths a line, in the matcher's order. Lines
// with an error are left out, as the library skips files it cannot decode.
// Measuring the matcher on a corpus needs no library, no index and no window.
#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "model/near_copies.h"

namespace {

std::optional<reelkeep::VisualFingerprint> fingerprintOf(const QJsonObject& line) {
    const QJsonArray hashes = line[QLatin1String("hashes")].toArray();
    if (line.contains(QLatin1String("error")) || hashes.size() != reelkeep::kFingerprintFrames) return {};
    reelkeep::VisualFingerprint fingerprint;
    fingerprint.durationSeconds = line[QLatin1String("duration")].toDouble();
    fingerprint.aspectRatio = line[QLatin1String("aspect")].toDouble();
    fingerprint.frameCount = line[QLatin1String("frames")].toInt();
    for (int i = 0; i < reelkeep::kFingerprintFrames; ++i) {
        bool isNumber = false;
        fingerprint.frameHashes[i] = hashes[i].toString().toULongLong(&isNumber, 16);
        if (!isNumber) return {};
    }
    return fingerprint;
}

}  // namespace

int main() {
    std::vector<QString> paths;
    std::vector<reelkeep::VisualFingerprint> fingerprints;
    int unreadable = 0;
    for (std::string text; std::getline(std::cin, text);) {
        if (text.empty()) continue;
        const QJsonObject line = QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
        const auto fingerprint = fingerprintOf(line);
        if (!fingerprint) {
            ++unreadable;
            continue;
        }
        paths.push_back(line[QLatin1String("path")].toString());
        fingerprints.push_back(*fingerprint);
    }
    for (const std::vector<std::size_t>& group : reelkeep::nearCopyGroups(fingerprints)) {
        QJsonArray members;
        for (const std::size_t position : group) members.append(paths[position]);
        const QByteArray line = QJsonDocument(members).toJson(QJsonDocument::Compact);
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
        std::fputc('\n', stdout);
    }
    if (unreadable > 0) std::fprintf(stderr, "%d lines without a fingerprint left out\n", unreadable);
    return 0;
}
