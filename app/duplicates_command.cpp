// duplicates_command.cpp: `reelkeep duplicates`, the window's duplicate views
// in a terminal: the same view model scans and checks copies byte for byte,
// the same keep rule picks the copy to keep, and --trash-extra-copies moves
// the rest through the same service call as the window's Move to Trash.
// Nothing moves without a yes: asked on a terminal, --yes otherwise.
// Exit codes as scan's: 0 done (every selected copy moved), 2 usage, 3 no
// readable library, 4 the scan failed, 5 standard output not written; and
// 1 declined at the question, 6 some selected copies did not move.
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

void printError(const QString& message) {
    QTextStream(stderr) << "reelkeep: " << escapeForTerminal(message) << '\n';
}

int usageError(const QString& message) {
    printError(message);
    QTextStream(stderr) << tr("Try 'reelkeep duplicates --help'.") << '\n';
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
            const std::optional<QByteArray> path = libraryFilePath(member.localIdentifier);
            members.append(QJsonObject{
                {"id", member.localIdentifier},
                {"path", path ? QString::fromUtf8(*path) : member.path},
                {"kept", i == 0},
                {"hard_links_outside", member.hardLinksOutside},
                {"shared_data", member.sharesData},
                {"freeable_bytes", qint64(i == 0 ? 0 : member.freeableBytes())},
            });
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

bool askOnTerminal(const QString& question) {
    QTextStream(stderr) << question << " [y/N] " << Qt::flush;
    QTextStream in(stdin);
    const QString answer = in.readLine().trimmed().toLower();
    return answer == QLatin1String("y") || answer == QLatin1String("yes");
}

}  // namespace

int runDuplicatesCommand(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    setApplicationIdentity();
    installTranslations();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        tr("Finds identical copies among your videos: same size, then the same bytes.\n\n"
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
    const QCommandLineOption yesOption(QStringLiteral("yes"), tr("Do not ask before moving."));
    const QCommandLineOption dryRunOption(QStringLiteral("dry-run"),
                                          tr("Print what would move; move nothing."));
    parser.addOptions({libraryOption, jsonOption, sameSizeOption, trashOption, yesOption, dryRunOption});
    if (!parser.parse(QCoreApplication::arguments())) return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) parser.showHelp(kDone);
    if (parser.positionalArguments() != QStringList{QStringLiteral("duplicates")})
        return usageError(tr("Expected the command 'duplicates'."));
    const bool isTrashing = parser.isSet(trashOption);
    if (isTrashing && parser.isSet(sameSizeOption))
        return usageError(tr("--trash-extra-copies moves only verified copies; drop --same-size-only."));
    if ((parser.isSet(yesOption) || parser.isSet(dryRunOption)) && !isTrashing)
        return usageError(tr("--yes and --dry-run go with --trash-extra-copies."));

    LibraryRequest request;
    request.folders = parser.values(libraryOption);
    const LibraryPorts ports = openLibrary(request);
    auto session = std::make_unique<LibrarySession>(
        ports,
        Environment{systemClock(), nullptr, nullptr, nullptr, systemScanLog(QLatin1String(kApplicationId))});
    VideoListViewModel* viewModel = &session->viewModel;
    viewModel->setChecksCopiesAfterScan(!parser.isSet(sameSizeOption));

    scanUntilIdle(*viewModel);

    const AuthorizationStatus access = viewModel->authorizationStatus();
    if (access != AuthorizationStatus::authorized && access != AuthorizationStatus::limited) {
        printError(tr("No library folder can be read. Pass --library DIR or set REELKEEP_LIBRARY."));
        return kNoLibrary;
    }
    if (const std::optional<QString> failure = viewModel->errorMessage()) {
        printError(*failure);
        return kFailed;
    }

    // Every write checked: a list that did not arrive is a failure, never a silent success.
    DescriptorOutput device(STDOUT_FILENO);
    QTextStream out(&device);
    QTextStream err(stderr);
    const auto finishOutput = [&](int code) {
        out.flush();
        if (device.finish() && out.status() == QTextStream::Ok) return code;
        printError(tr("The list could not be written to standard output: %1.")
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
    VideoList extras = viewModel->selectedItems();
    std::sort(extras.begin(), extras.end(), [](const VideoItem& a, const VideoItem& b) {
        return a.localIdentifier() < b.localIdentifier();
    });
    const SelectionStats selection = viewModel->selectionStats();
    out << tr("Extra copies to move to the Trash: %1 (frees %2 once the Trash is emptied)")
               .arg(QLocale().toString(extras.size()), byteCountText(selection.freeableBytes))
        << '\n';
    QStringList ids;
    for (const VideoItem& item : extras) {
        ids.append(item.localIdentifier());
        out << "  " << pathText(item.localIdentifier()) << '\n';
    }
    out.flush();
    if (parser.isSet(dryRunOption) || extras.isEmpty()) return finishOutput(kDone);
    if (!parser.isSet(yesOption)) {
        if (::isatty(STDIN_FILENO) != 1) {
            printError(tr("Not moving anything without --yes when not on a terminal."));
            return finishOutput(kUsage);
        }
        if (!askOnTerminal(tr("Move %Ln file(s) to the Trash?", nullptr, int(extras.size())))) {
            err << tr("Nothing moved.") << '\n';
            return finishOutput(kDeclined);
        }
    }

    std::optional<DeletionOutcome> outcome;
    QCoro::connect(session->service.deleteVideos(ids), &app, [&](DeletionOutcome result) {
        outcome = std::move(result);
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    const QStringList moved = outcome ? outcome->deletedIdentifiers() : QStringList{};
    for (const QString& id : moved)
        out << tr("moved: ") << pathText(id) << " -> "
            << escapeForTerminal(outcome->trashLocations().value(id, tr("the Trash"))) << '\n';
    out.flush();
    int notMoved = 0;
    for (const QString& id : ids) {
        if (moved.contains(id)) continue;
        ++notMoved;
        err << tr("not moved (changed since it was checked, or it could not be moved): ") << pathText(id)
            << '\n';
    }
    if (outcome && outcome->message()) printError(*outcome->message());
    return finishOutput(notMoved == 0 ? kDone : kNotAllMoved);
}

}  // namespace reelkeep
