// library_generator.cpp: file names in the styles cameras and phones really use,
// log-spread lengths and bit rates, and exact-size duplicates (re-imports, copies
// sent back and forth) so that the duplicates view has something to find, and
// smaller re-encodes of earlier videos for the near-copy finder. Near copies
// draw from their own dice, so a seed's other values stay as they were.
#include "library_generator.h"

#include <QDateTime>
#include <QHash>
#include <algorithm>
#include <cmath>
#include <random>

namespace reelkeep {

namespace {

class Dice {
public:
    explicit Dice(std::uint64_t seed) : m_engine(seed) {}
    double unit() { return double(m_engine() >> 11) * 0x1.0p-53; }  // [0, 1)
    std::uint64_t below(std::uint64_t bound) { return bound == 0 ? 0 : m_engine() % bound; }
    bool chance(double p) { return unit() < p; }
    double logUniform(double lo, double hi) { return lo * std::pow(hi / lo, unit()); }
    std::uint64_t raw() { return m_engine(); }

private:
    std::mt19937_64 m_engine;
};

QString fileName(Dice& dice, const QDateTime& when, bool isScreenRecording, int serial) {
    const QString stamp = when.toString(QStringLiteral("yyyyMMdd_HHmmss"));
    if (isScreenRecording)
        return QStringLiteral("Screen Recording %1 at %2.mov")
            .arg(when.toString(QStringLiteral("yyyy-MM-dd")), when.toString(QStringLiteral("HH.mm.ss")));
    switch (dice.below(8)) {
        case 0:
        case 1:
            return QStringLiteral("IMG_%1.MOV").arg(serial % 10000, 4, 10, QLatin1Char('0'));
        case 2:
            return QStringLiteral("VID_%1.mp4").arg(stamp);
        case 3:
            return QStringLiteral("PXL_%1%2.mp4").arg(stamp).arg(dice.below(1000), 3, 10, QLatin1Char('0'));
        case 4:
            return QStringLiteral("GOPR%1.MP4").arg(dice.below(10000), 4, 10, QLatin1Char('0'));
        case 5:
            return QStringLiteral("DJI_%1.MP4").arg(dice.below(10000), 4, 10, QLatin1Char('0'));
        case 6:
            return QStringLiteral("clip %1 (%2).mov").arg(dice.below(300) + 1).arg(dice.below(9) + 1);
        default:
            return QStringLiteral("trip-%1-%2.m4v").arg(when.date().year()).arg(dice.below(100) + 1);
    }
}

}  // namespace

QList<SimulatedAsset> generateLibrary(const GeneratorOptions& options) {
    Dice dice(options.seed);
    Dice nearDice(options.seed ^ 0x6e656172ULL);
    QList<SimulatedAsset> entries;
    entries.reserve(std::max(options.assetCount, 0));
    std::vector<std::int64_t> sizes;
    sizes.reserve(std::size_t(std::max(options.assetCount, 0)));
    const double span = double(options.years) * 365.25 * 86400.0;
    constexpr std::int64_t kResolutions[][2] = {
        {1920, 1080}, {3840, 2160}, {1280, 720}, {1080, 1920}, {640, 480}};

    // One folder a year, as a camera import would sort them; shared like a real scan's.
    QHash<int, VideoLocationRef> folders;
    for (int i = 0; i < options.assetCount; ++i) {
        SimulatedAsset entry;
        entry.localIdentifier = QStringLiteral("%1-%2/L0/001")
                                    .arg(dice.raw() & 0xffffffffu, 8, 16, QLatin1Char('0'))
                                    .arg(i, 7, 10, QLatin1Char('0'))
                                    .toUpper();
        const Timestamp created = std::floor(options.newest - dice.unit() * span);
        entry.creationDate = created;
        const QDateTime when = QDateTime::fromSecsSinceEpoch(qint64(created), Qt::UTC);
        const bool isScreenRecording = dice.chance(0.04);
        entry.mediaSubtypes = isScreenRecording ? kMediaSubtypeVideoScreenRecording : 0;
        entry.duration = std::round(dice.logUniform(2.0, 1800.0) * 1000.0) / 1000.0;
        const auto& resolution = kResolutions[dice.below(std::size(kResolutions))];
        entry.pixelWidth = resolution[0];
        entry.pixelHeight = resolution[1];
        entry.isFavorite = dice.chance(0.05);

        std::int64_t bytes = 0;
        if (!sizes.empty() && dice.chance(options.duplicateShare)) {
            bytes = sizes[dice.below(sizes.size())];
        } else {
            const double bitsPerSecond = dice.logUniform(2e6, 60e6);
            bytes = std::max<std::int64_t>(std::int64_t(entry.duration * bitsPerSecond / 8.0), 4096);
        }
        if (!entries.isEmpty() && nearDice.chance(options.nearCopyShare)) {
            SimulatedAsset& source = entries[qsizetype(nearDice.below(std::uint64_t(entries.size())))];
            if (source.visualTag.isEmpty()) source.visualTag = source.localIdentifier;
            entry.visualTag = source.visualTag;
            entry.duration = source.duration;
            entry.pixelWidth = std::max<std::int64_t>(source.pixelWidth / 2, 2);
            entry.pixelHeight = std::max<std::int64_t>(source.pixelHeight / 2, 2);
            const std::int64_t sourceBytes = source.resources.front().dataSize.value_or(bytes);
            bytes = std::max<std::int64_t>(sourceBytes / 4, 4096);
        }
        sizes.push_back(bytes);

        const QString name = fileName(dice, when, isScreenRecording, i);
        entry.resources = {SimulatedResource{int(ResourceType::video), name, bytes}};
        const double route = dice.unit();
        if (route < options.cloudOnlyShare) {
            entry.withFastFilename(name);  // named, but no size until downloaded
        } else if (route < options.cloudOnlyShare + options.slowPathShare) {
            entry.withMetadataSize(bytes);  // only the resource list route finds it
            entry.localFilePath = QStringLiteral("/simulated/library/%1").arg(name);
        } else {
            entry.withFastFilename(name).withFastSize(bytes);
            entry.localFilePath = QStringLiteral("/simulated/library/%1").arg(name);
        }
        if (entry.localFilePath) {
            VideoLocationRef& folder = folders[when.date().year()];
            if (!folder) {
                const QString year = QString::number(when.date().year());
                folder = std::make_shared<VideoLocation>(VideoLocation{
                    QStringLiteral("library/") + year, QStringLiteral("/simulated/library/") + year});
            }
            entry.location = folder;
        }
        entries.append(std::move(entry));
    }
    return entries;
}

}  // namespace reelkeep
