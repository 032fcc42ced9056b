// duplicates_command.cpp: `reelkeep duplicates`, the window's duplicate views
// in a terminal: the same view model scans and checks copies byte for byte,
// the same keep rule picks the copy to keep, and --trash-extra-copies moves
// the rest through the same service call as the window's Move to Trash.
// --similar lists near copies instead (the same video re-encoded, resized or
// re-wrapped), the window's best version first, and --trash-lesser-versions
// moves the others through the window's Select Lesser Versions: never a
// favorite, never a best version.
// Nothing moves without a yes: asked on a terminal, --yes otherwise.
// Exit codes as scan's: 0 done (every selected copy moved), 2 usage, 3 no
// readable library, 4 the scan failed, 5 standard output not written; and
// 1 declined at the question, 6 some selected copies did not move.
#include "app/duplicates_command.h"

#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTextStream>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <QCoro/QCoroTask>

#include "app/application.h"
#include "app/library_factory.h"
#include "app/output.h"
#include "app/scan_report.h"
#include "app/system_environment.h"
#include "model/copies.h"
#include "model/display_text.h"
#include "model/near_copies.h"
#include "model/saturating.h"
#include "model/texts.h"
#include "viewmodel/library_session.h"
#include "viewmodel/translations.h"

namespace reelkeep {
namespace {

enum ExitCode {
    kDone = 0,
    kDeclined = 1,
    kUsage = 2,
    kNoLibrary = 3,
    kFailed = 4,
    kNotWritten = 5,
    kNotAllMoved = 6
};

// Messages may carry names from the disk or the command line: escaped like the lists.
void printError(QTextStream& err, const QString& message) {
    err << "reelkeep: " << escapeForTerminal(message) << '\n';
}

int usageError(QTextStream& err, const QString& message) {
    printError(err, message);
    err << tr("Try 'reelkeep duplicates --help'.") << '\n';
    return kUsage;
}

QString reasonText(KeepReason reason) {
    switch (reason) {
        case KeepReason::favorite:
            return QStringLiteral("favorite");
        case KeepReason::earliestDate:
            return QStringLiteral("earliest date");
        case KeepReason::noCopySuffix:
            return QStringLiteral("no copy suffix");
        case KeepReason::shortestPath:
            return QStringLiteral("shortest path");
        case KeepReason::smallestIdentifier:
            return QStringLiteral("first by name");
    }
    return {};
}

QString rawReason(KeepReason reason) {
    switch (reason) {
        case KeepReason::favorite:
            return QStringLiteral("favorite");
        case KeepReason::earliestDate:
            return QStringLiteral("earliestDate");
        case KeepReason::noCopySuffix:
            return QStringLiteral("noCopySuffix");
        case KeepReason::shortestPath:
            return QStringLiteral("shortestPath");
        case KeepReason::smallestIdentifier:
            return QStringLiteral("smallestIdentifier");
    }
    return {};
}

// A file's path for JSON: its text, and when its name is not UTF-8 also its
// bytes (base64), as scan --json gives them.
void addPath(QJsonObject& json, const QString& localIdentifier) {
    const std::optional<QByteArray> path = libraryFilePath(localIdentifier);
    if (!path) {
        json.insert(QStringLiteral("path"), localIdentifier);
        return;
    }
    json.insert(QStringLiteral("path"), QString::fromUtf8(*path));
    if (!QByteArrayView(*path).isValidUtf8())
        json.insert(QStringLiteral("path_bytes"), QString::fromLatin1(path->toBase64()));
}

QString pathText(const QString& localIdentifier) {
    const std::optional<QByteArray> path = libraryFilePath(localIdentifier);
    return escapeForTerminal(path ? QFile::decodeName(*path) : localIdentifier);
}

QString memberNote(const CopyMember& member) {
    if (member.hardLinksOutside > 0)
        return QStringLiteral("  [hard-linked outside the library: frees nothing]");
    if (member.sharesData)
        return QStringLiteral("  [shared data: frees %1]").arg(byteCountText(member.freeableBytes()));
    return {};
}

void printSets(const QList<ResolvedSet>& sets, const CopySummary& summary, QTextStream& out) {
    for (const ResolvedSet& set : sets) {
        out << byteCountText(set.set->bytes) << " × " << set.memberPositions.size() << '\n';
        for (qsizetype i = 0; i < set.memberPositions.size(); ++i) {
            const CopyMember& member = set.set->members[set.memberPositions[i]];
            out << (i == 0 ? QStringLiteral("  keep   ") : QStringLiteral("  extra  "))
                << pathText(member.localIdentifier);
            if (i == 0) out << "  (" << reasonText(set.reason) << ')';
            out << memberNote(member) << '\n';
        }
    }
    out << tr("Identical copies: %1 in %2; reclaimable: %3")
               .arg(tr("%Ln video(s)", nullptr, summary.videoCount),
                    tr("%Ln set(s)", nullptr, int(sets.size())), byteCountText(summary.reclaimableBytes))
        << '\n';
}

QJsonObject setsJson(const QList<ResolvedSet>& sets, const CopyCheck& check, const CopySummary& summary) {
    QJsonArray array;
    for (const ResolvedSet& set : sets) {
        QJsonArray members;
        for (qsizetype i = 0; i < set.memberPositions.size(); ++i) {
            const CopyMember& member = set.set->members[set.memberPositions[i]];
            QJsonObject json{
                {"id", member.localIdentifier},
                {"kept", i == 0},
                {"hard_links_outside", member.hardLinksOutside},
                {"shared_data", member.sharesData},
                {"freeable_bytes", qint64(i == 0 ? 0 : member.freeableBytes())},
            };
            addPath(json, member.localIdentifier);
            members.append(json);
        }
        array.append(QJsonObject{
            {"bytes", qint64(set.set->bytes)}, {"keep_reason", rawReason(set.reason)}, {"members", members}});
    }
    QJsonArray notVerified;
    QStringList ids(check.notVerified.begin(), check.notVerified.end());
    std::sort(ids.begin(), ids.end());
    for (const QString& id : ids) notVerified.append(id);
    return QJsonObject{{"identical_sets", array},
                       {"reclaimable_bytes", qint64(summary.reclaimableBytes)},
                       {"not_verified", notVerified},
                       {"complete", check.isComplete}};
}

QJsonObject sameSizeJson(const VideoList& items, const DuplicateSummary& duplicates) {
    QList<std::int64_t> sizes = duplicates.countsBySize.keys();
    std::sort(sizes.begin(), sizes.end(), std::greater<>());
    QJsonArray groups;
    for (const std::int64_t size : sizes) {
        QJsonArray paths;
        for (const VideoItem& item : items)
            if (item.sizeState().byteCount() == size) {
                const std::optional<QByteArray> path = libraryFilePath(item.localIdentifier());
                paths.append(path ? QString::fromUtf8(*path) : item.localIdentifier());
            }
        groups.append(QJsonObject{{"bytes", qint64(size)}, {"paths", paths}});
    }
    return QJsonObject{{"same_size_groups", groups},
                       {"reclaimable_bytes", qint64(duplicates.reclaimableBytes)}};
}

QString bestReasonText(BestReason reason) {
    switch (reason) {
        case BestReason::resolution:
            return QStringLiteral("highest resolution");
        case BestReason::bitrate:
            return QStringLiteral("highest bitrate");
        case BestReason::favorite:
            return QStringLiteral("favorite");
        case BestReason::earliestDate:
            return QStringLiteral("earliest date");
        case BestReason::smallestIdentifier:
            return QStringLiteral("first by name");
    }
    return {};
}

QString rawBestReason(BestReason reason) {
    switch (reason) {
        case BestReason::resolution:
            return QStringLiteral("resolution");
        case BestReason::bitrate:
            return QStringLiteral("bitrate");
        case BestReason::favorite:
            return QStringLiteral("favorite");
        case BestReason::earliestDate:
            return QStringLiteral("earliestDate");
        case BestReason::smallestIdentifier:
            return QStringLiteral("smallestIdentifier");
    }
    return {};
}

// The rule's bitrate in whole bits a second; a near-zero length would
// overflow the conversion.
std::optional<std::int64_t> wholeBitrate(const VideoItem& item) {
    const std::optional<double> bits = bitsPerSecond(item);
    if (!bits) return std::nullopt;
    return std::int64_t(std::min(*bits, 9e18));
}

QString bitrateText(std::optional<std::int64_t> bits) {
    if (!bits) return QStringLiteral("\u2014");
    const QLocale locale;
    if (*bits < 1'000) return tr("%1 bit/s").arg(locale.toString(*bits));
    if (*bits < 1'000'000) return tr("%1 kbit/s").arg(locale.toString(double(*bits) / 1e3, 'f', 0));
    return tr("%1 Mbit/s").arg(locale.toString(double(*bits) / 1e6, 'f', 1));
}

QString pixelsText(const VideoItem& item) {
    if (item.pixelWidth() <= 0 || item.pixelHeight() <= 0) return QStringLiteral("\u2014");
    return QStringLiteral("%1\u00D7%2").arg(item.pixelWidth()).arg(item.pixelHeight());
}

// The members of each set still listed, best first; a set whose best is gone is left out.
QList<VideoList> similarMembers(const QList<SimilarSet>& sets, const VideoList& items) {
    QHash<QString, const VideoItem*> byID;
    for (const VideoItem& item : items) byID.insert(item.localIdentifier(), &item);
    QList<VideoList> result;
    for (const SimilarSet& set : sets) {
        VideoList members;
        for (const QString& id : set.memberIDs)
            if (const VideoItem* item = byID.value(id)) members.append(*item);
        if (members.size() >= 2 && members.first().localIdentifier() == set.memberIDs.first())
            result.append(members);
        else
            result.append(VideoList{});
    }
    return result;
}

// What moving a set's lesser versions gives back: favorites stay; hard links
// and shared data keep what they keep.
std::int64_t lesserBytes(const VideoList& members, const QHash<QString, std::int64_t>& freeableByID) {
    std::int64_t bytes = 0;
    for (qsizetype i = 1; i < members.size(); ++i)
        if (!members[i].isFavorite()) {
            const std::int64_t size = members[i].sizeState().byteCount().value_or(0);
            bytes = saturatingAdd(bytes, freeableByID.value(members[i].localIdentifier(), size));
        }
    return bytes;
}

// The copy check's word on what trashing a near copy frees, where it frees less than its size.
QString freeingNote(const QString& localIdentifier, const CopySummary& copies) {
    if (copies.hardLinkedIDs.contains(localIdentifier))
        return QStringLiteral("  [hard-linked outside the library: frees nothing]");
    if (const auto found = copies.freeableByID.constFind(localIdentifier);
        found != copies.freeableByID.cend())
        return QStringLiteral("  [shared data: frees %1]").arg(byteCountText(*found));
    return {};
}

void printSimilarSets(const QList<SimilarSet>& sets, const QList<VideoList>& members,
                      const SimilarSummary& summary, const CopySummary& copies, QTextStream& out) {
    for (qsizetype s = 0; s < sets.size(); ++s) {
        if (members[s].isEmpty()) continue;
        out << tr("Similar ×%1; reclaimable: %2")
                   .arg(members[s].size())
                   .arg(byteCountText(lesserBytes(members[s], copies.freeableByID)))
            << '\n';
        for (qsizetype i = 0; i < members[s].size(); ++i) {
            const VideoItem& item = members[s][i];
            out << (i == 0 ? QStringLiteral("  best    ") : QStringLiteral("  lesser  "))
                << pixelsText(item).rightJustified(9) << "  "
                << bitrateText(wholeBitrate(item)).rightJustified(13) << "  "
                << sizeText(item.sizeState().byteCount()).rightJustified(9) << "  "
                << pathText(item.localIdentifier());
            if (i == 0)
                out << "  (" << bestReasonText(sets[s].reason) << ')';
            else if (item.isFavorite())
                out << QStringLiteral("  [favorite: kept]");
            else
                out << freeingNote(item.localIdentifier(), copies);
            out << '\n';
        }
    }
    out << tr("Near copies: %1 in %2; reclaimable: %3")
               .arg(tr("%Ln video(s)", nullptr, summary.videoCount),
                    tr("%Ln set(s)", nullptr, summary.setCount), byteCountText(summary.reclaimableBytes))
        << '\n';
}

QJsonObject similarJson(const QList<SimilarSet>& sets, const QList<VideoList>& members,
                        const SimilarityCheck& check, const SimilarSummary& summary,
                        const CopySummary& copies) {
    QJsonArray array;
    for (qsizetype s = 0; s < sets.size(); ++s) {
        if (members[s].isEmpty()) continue;
        QJsonArray memberArray;
        for (qsizetype i = 0; i < members[s].size(); ++i) {
            const VideoItem& item = members[s][i];
            const std::optional<std::int64_t> bytes = item.sizeState().byteCount();
            const std::optional<std::int64_t> bits = wholeBitrate(item);
            QJsonObject json{
                {"id", item.localIdentifier()},
                {"width", qint64(item.pixelWidth())},
                {"height", qint64(item.pixelHeight())},
                {"bitrate", bits ? QJsonValue(qint64(*bits)) : QJsonValue()},
                {"bytes", bytes ? QJsonValue(qint64(*bytes)) : QJsonValue()},
                {"favorite", item.isFavorite()},
                {"best", i == 0},
                {"reason", i == 0 ? QJsonValue(rawBestReason(sets[s].reason)) : QJsonValue()},
            };
            addPath(json, item.localIdentifier());
            memberArray.append(json);
        }
        array.append(QJsonObject{{"reclaimable_bytes", qint64(lesserBytes(members[s], copies.freeableByID))},
                                 {"members", memberArray}});
    }
    QStringList failed(check.failed.begin(), check.failed.end());
    std::sort(failed.begin(), failed.end());
    QJsonArray notCompared;
    for (const QString& id : failed) {
        QJsonObject json;
        addPath(json, id);
        notCompared.append(json);
    }
    return QJsonObject{{"similar_sets", array},
                       {"summary", QJsonObject{{"sets", summary.setCount},
                                               {"videos", summary.videoCount},
                                               {"reclaimable_bytes", qint64(summary.reclaimableBytes)},
                                               {"complete", check.isComplete}}},
                       {"not_compared", notCompared}};
}

std::optional<bool> askOnTerminal(const QString& question) {
    if (::isatty(STDIN_FILENO) != 1) return std::nullopt;
    QTextStream(stderr) << question << " [y/N] " << Qt::flush;
    QTextStream in(stdin);
    const QString answer = in.readLine().trimmed().toLower();
    return answer == QLatin1String("y") || answer == QLatin1String("yes");
}

// The window's Move to Trash for what the view model selected: asked first
// unless --yes, each moved file printed with its place in the Trash.
struct MoveRequest {
    QString title;  // "…: %1 (frees %2 once the Trash is emptied)"
    bool isDryRun = false;
    bool isConfirmed = false;
};

int moveSelected(LibrarySession& session, const MoveRequest& request, const CommandStreams& streams,
                 DescriptorOutput& device, QTextStream& out, QTextStream& err) {
    // Written out, not only buffered: the list must be on the screen before the question.
    const auto show = [&] {
        out.flush();
        device.finish();  // a failure stays recorded for the end
        err.flush();
    };
    VideoList selected = session.viewModel.selectedItems();
    std::sort(selected.begin(), selected.end(), [](const VideoItem& a, const VideoItem& b) {
        return a.localIdentifier() < b.localIdentifier();
    });
    const SelectionStats selection = session.viewModel.selectionStats();
    out << request.title.arg(QLocale().toString(selected.size()), byteCountText(selection.freeableBytes))
        << '\n';
    QStringList ids;
    for (const VideoItem& item : selected) {
        ids.append(item.localIdentifier());
        out << "  " << pathText(item.localIdentifier()) << '\n';
    }
    show();
    if (request.isDryRun || selected.isEmpty()) return kDone;
    if (!request.isConfirmed) {
        const std::optional<bool> answer =
            streams.ask ? streams.ask(tr("Move %Ln file(s) to the Trash?", nullptr, int(selected.size())))
                        : std::nullopt;
        if (!answer) {
            printError(err, tr("Not moving anything without --yes when not on a terminal."));
            return kUsage;
        }
        if (!*answer) {
            err << tr("Nothing moved.") << '\n';
            return kDeclined;
        }
    }

    std::optional<DeletionOutcome> outcome;
    QObject context;
    QCoro::connect(session.service.deleteVideos(ids), &context, [&](DeletionOutcome result) {
        outcome = std::move(result);
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    const QStringList moved = outcome ? outcome->deletedIdentifiers() : QStringList{};
    for (const QString& id : moved)
        out << tr("moved: ") << pathText(id) << " -> "
            << escapeForTerminal(outcome->trashLocations().value(id, tr("the Trash"))) << '\n';
    show();
    int notMoved = 0;
    for (const QString& id : ids) {
        if (moved.contains(id)) continue;
        ++notMoved;
        err << tr("not moved (changed since it was checked, or it could not be moved): ") << pathText(id)
            << '\n';
    }
    if (outcome && outcome->message()) printError(err, *outcome->message());
    return notMoved == 0 ? kDone : kNotAllMoved;
}

}  // namespace

int runDuplicatesCommand(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    setApplicationIdentity();
    installTranslations();
    return runDuplicates(QCoreApplication::arguments(),
                         CommandStreams{STDOUT_FILENO, stderr, askOnTerminal,
                                        [](const LibraryRequest& request) { return openLibrary(request); }});
}

int runDuplicates(const QStringList& arguments, const CommandStreams& streams) {
    QTextStream err(streams.errors);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        tr("Finds identical copies among your videos: same size, then the same bytes; with --similar, "
           "near copies: the same video re-encoded, resized or re-wrapped.\n\n"
           "Exit codes: 0 done, 1 declined, 2 usage error, 3 no readable library, 4 the scan failed, "
           "5 standard output could not be written, 6 not every selected copy was moved."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("duplicates"), tr("Find identical copies."));
    const QCommandLineOption libraryOption(QStringLiteral("library"), tr("A library folder (repeatable)."),
                                           QStringLiteral("DIR"));
    const QCommandLineOption jsonOption(QStringLiteral("json"), tr("Print JSON."));
    const QCommandLineOption sameSizeOption(QStringLiteral("same-size-only"),
                                            tr("List same-size groups without reading any video."));
    const QCommandLineOption trashOption(QStringLiteral("trash-extra-copies"),
                                         tr("Move every extra copy to the Trash, keeping one of each set."));
    const QCommandLineOption similarOption(
        QStringLiteral("similar"),
        tr("List near copies, compared by what they show, and the best version of each set."));
    const QCommandLineOption trashLesserOption(
        QStringLiteral("trash-lesser-versions"),
        tr("With --similar: move every lesser version to the Trash, never a favorite."));
    const QCommandLineOption yesOption(QStringLiteral("yes"), tr("Do not ask before moving."));
    const QCommandLineOption dryRunOption(QStringLiteral("dry-run"),
                                          tr("Print what would move; move nothing."));
    parser.addOptions({libraryOption, jsonOption, sameSizeOption, trashOption, similarOption,
                       trashLesserOption, yesOption, dryRunOption});
    if (!parser.parse(arguments)) return usageError(err, parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) parser.showHelp(kDone);
    if (parser.positionalArguments() != QStringList{QStringLiteral("duplicates")})
        return usageError(err, tr("Expected the command 'duplicates'."));
    const bool isSimilar = parser.isSet(similarOption);
    const bool isTrashing = parser.isSet(trashOption) || parser.isSet(trashLesserOption);
    if (parser.isSet(trashOption) && parser.isSet(sameSizeOption))
        return usageError(err, tr("--trash-extra-copies moves only verified copies; drop --same-size-only."));
    if (parser.isSet(trashLesserOption) && !isSimilar)
        return usageError(err, tr("--trash-lesser-versions goes with --similar."));
    if (isSimilar && parser.isSet(sameSizeOption))
        return usageError(err, tr("--similar compares what videos show; drop --same-size-only."));
    if (isSimilar && parser.isSet(trashOption))
        return usageError(err, tr("--trash-extra-copies moves identical copies; with --similar, use "
                                  "--trash-lesser-versions."));
    if ((parser.isSet(yesOption) || parser.isSet(dryRunOption)) && !isTrashing)
        return usageError(err,
                          tr("--yes and --dry-run go with --trash-extra-copies or --trash-lesser-versions."));

    LibraryRequest request;
    request.folders = parser.values(libraryOption);
    const LibraryPorts ports = streams.openLibrary(request);
    auto session = std::make_unique<LibrarySession>(
        ports,
        Environment{systemClock(), nullptr, nullptr, nullptr, systemScanLog(QLatin1String(kApplicationId))});
    VideoListViewModel* viewModel = &session->viewModel;
    viewModel->setChecksCopiesAfterScan(!parser.isSet(sameSizeOption));
    viewModel->setChecksSimilarAfterScan(isSimilar);

    scanUntilIdle(*viewModel);

    const AuthorizationStatus access = viewModel->authorizationStatus();
    if (access != AuthorizationStatus::authorized && access != AuthorizationStatus::limited) {
        printError(err, tr("No library folder can be read. Pass --library DIR or set REELKEEP_LIBRARY."));
        return kNoLibrary;
    }
    if (const std::optional<QString> failure = viewModel->errorMessage()) {
        printError(err, *failure);
        return kFailed;
    }

    // Every write checked: a list that did not arrive is a failure, never a silent success.
    DescriptorOutput device(streams.outputFd);
    QTextStream out(&device);
    const auto finishOutput = [&](int code) {
        out.flush();
        err.flush();
        if (device.finish() && out.status() == QTextStream::Ok) return code;
        printError(err, tr("The list could not be written to standard output: %1.")
                            .arg(QString::fromLocal8Bit(
                                std::strerror(device.errorNumber() ? device.errorNumber() : EIO))));
        return code == kDone ? int(kNotWritten) : code;
    };
    const DuplicateSummary& duplicates = viewModel->duplicates();
    if (parser.isSet(sameSizeOption)) {
        if (parser.isSet(jsonOption)) {
            out << QJsonDocument(sameSizeJson(viewModel->items(), duplicates))
                       .toJson(QJsonDocument::Indented);
        } else {
            viewModel->showDuplicates();
            if (!writeTable(viewModel->visibleItems(), out)) return finishOutput(kNotWritten);
            out << tr("Same size: %1; at most %2 reclaimable if every one is a copy")
                       .arg(tr("%Ln video(s)", nullptr, duplicates.videoCount),
                            byteCountText(duplicates.reclaimableBytes))
                << '\n';
        }
        return finishOutput(kDone);
    }

    const MoveRequest move{{}, parser.isSet(dryRunOption), parser.isSet(yesOption)};
    if (isSimilar) {
        const SimilarityCheck& check = viewModel->similarityCheck();
        QStringList failed(check.failed.begin(), check.failed.end());
        std::sort(failed.begin(), failed.end());
        for (const QString& id : failed) err << tr("could not be compared: ") << pathText(id) << '\n';
        if (!check.isComplete) printError(err, tr("Comparing videos stopped: not every video was compared."));
        const QList<SimilarSet>& sets = viewModel->similarSets();
        const QList<VideoList> members = similarMembers(sets, viewModel->items());
        if (!parser.isSet(trashLesserOption) || !parser.isSet(jsonOption)) {
            if (parser.isSet(jsonOption))
                out << QJsonDocument(similarJson(sets, members, check, viewModel->similar(),
                                                 viewModel->duplicates().copies))
                           .toJson(QJsonDocument::Indented);
            else
                printSimilarSets(sets, members, viewModel->similar(), viewModel->duplicates().copies, out);
        }
        // Every video failed: nothing was compared, and an empty list would say "no near copies".
        if (!failed.isEmpty() && failed.size() >= viewModel->items().size()) {
            printError(err, tr("No video could be compared."));
            return finishOutput(kFailed);
        }
        if (!parser.isSet(trashLesserOption)) return finishOutput(kDone);
        // The window's command: the sets are shown first, then their lesser versions selected.
        viewModel->showSimilarVideos();
        viewModel->selectLesserVersions();
        MoveRequest lesser = move;
        lesser.title = tr("Lesser versions to move to the Trash: %1 (frees %2 once the Trash is emptied)");
        return finishOutput(moveSelected(*session, lesser, streams, device, out, err));
    }

    const CopyCheck check = viewModel->copyCheck();
    const QList<ResolvedSet> sets = resolveCopySets(check, viewModel->items());
    QStringList notVerified(check.notVerified.begin(), check.notVerified.end());
    std::sort(notVerified.begin(), notVerified.end());
    for (const QString& id : notVerified) err << tr("not verified: ") << pathText(id) << '\n';
    if (!isTrashing || !parser.isSet(jsonOption)) {
        if (parser.isSet(jsonOption))
            out << QJsonDocument(setsJson(sets, check, duplicates.copies)).toJson(QJsonDocument::Indented);
        else
            printSets(sets, duplicates.copies, out);
    }
    if (!isTrashing) return finishOutput(kDone);

    // The window's command: only verified extra copies, the keep rule's choice kept.
    viewModel->selectExtraCopies();
    MoveRequest extras = move;
    extras.title = tr("Extra copies to move to the Trash: %1 (frees %2 once the Trash is emptied)");
    return finishOutput(moveSelected(*session, extras, streams, device, out, err));
}

}  // namespace reelkeep
