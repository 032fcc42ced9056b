// video_list_view_model.h: the observable state behind one window and every
// command the window offers: scan orchestration and the status line, the
// derived visible list, sidebar buckets and statistics, the selection, the item
// actions and the reaction to outside library changes.
//
// Main thread only: every operation, getter and continuation runs there, so no
// lock guards the state. Long work runs as coroutines that hold the view model
// weakly and stop through std::stop_token; the service does the work on its own
// threads and resumes them here. At most one scan or one item action runs.
#pragma once

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>
#include <stop_token>

#include <QCoro/QCoroTask>

#include "library/photo_library_port.h"
#include "library/photo_library_service.h"
#include "model/duplicates.h"
#include "model/filter_index.h"
#include "model/filters.h"
#include "model/near_copies.h"
#include "model/sort_order.h"
#include "model/video_item.h"
#include "viewmodel/environment.h"
#include "viewmodel/status_message.h"
#include "viewmodel/task_owner.h"

namespace reelkeep {

class LibraryChangeObserver;

// Why a library folder was left out of the scan, naming it: one sentence.
QString unavailableFolderText(const LibraryFolder& folder);

class VideoListViewModel : public QObject {
    Q_OBJECT

public:
    // Rows come at once, then the list is refreshed at most this often while a scan runs.
    static constexpr std::chrono::seconds kScanRefreshInterval{1};
    static constexpr std::chrono::milliseconds kChangeSuppression{2000};
    // Up to this many videos changed elsewhere are read again and updated in the
    // list at once; more (a folder copied in, a sync) only offer a rescan.
    static constexpr qsizetype kDirectChangeLimit = 500;

    // The service must outlive the view model.
    VideoListViewModel(PhotoLibraryService& service, Environment environment, QObject* parent = nullptr);
    ~VideoListViewModel() override;

    // Published state.
    const VideoList& visibleItems() const { return m_visibleItems; }
    int rowSetIdentity() const { return m_rowSetIdentity; }
    const LibraryStats& stats() const { return m_stats; }
    const SelectionStats& selectionStats() const { return m_selectionStats; }
    VideoSortOrder sortOrder() const { return m_sortOrder; }
    const QList<VideoTableSortComparator>& tableSortOrder() const { return m_tableSortOrder; }
    SizeFilter sizeFilter() const { return m_sizeFilter; }
    const QString& searchText() const { return m_searchText; }
    const DateFilter& dateFilter() const { return m_dateFilter; }
    const DuplicateSummary& duplicates() const { return m_duplicates; }
    bool showsDuplicates() const { return m_showsDuplicates; }
    // Within duplicates: only verified identical copies, not every same-size video.
    bool showsIdenticalCopies() const { return m_showsDuplicates && m_showsIdenticalCopies; }
    const CopyCheck& copyCheck() const { return m_copyCheck; }
    bool isCheckingCopies() const { return m_isCheckingCopies; }
    const CopyCheckProgress& copyCheckProgress() const { return m_copyCheckProgress; }
    // Near copies: the sets among the listed videos (each best first, largest
    // saving first), their summary, and the comparison that found them.
    const QList<SimilarSet>& similarSets() const { return m_similarSets; }
    const SimilarSummary& similar() const { return m_similar; }
    const SimilarityCheck& similarityCheck() const { return m_similarityCheck; }
    bool isCheckingSimilar() const { return m_isCheckingSimilar; }
    const SimilarityProgress& similarityProgress() const { return m_similarityProgress; }
    // Only members of near-copy sets, set after set, best version first.
    bool showsSimilarVideos() const { return m_showsSimilarVideos; }
    // What the last finished scan spent where, for the command line's --timings.
    struct ScanCosts {
        ScanTimings service;
        std::chrono::nanoseconds listApply{0};  // installing batches into the list
        std::chrono::nanoseconds batches{0};    // wall clock from the first batch to the last
    };
    const ScanCosts& lastScanCosts() const { return m_lastScanCosts; }
    const QList<DateBucket>& yearBuckets() const { return m_yearBuckets; }
    std::optional<int> expandedYear() const { return m_expandedYear; }
    const QSet<QString>& selectedIDs() const { return m_selectedIDs; }
    const QSet<QString>& pendingDeletionIDs() const { return m_pendingDeletionIDs; }
    bool isScanning() const { return m_isScanning; }
    bool isPerformingItemAction() const { return m_isPerformingItemAction; }
    bool isBusy() const { return m_isScanning || m_isPerformingItemAction; }
    std::optional<double> scanProgress() const { return m_scanProgress; }
    int scanCompletedCount() const { return m_scanCompletedCount; }
    int scanTotalCount() const { return m_scanTotalCount; }
    // Videos the walk has found so far, while it counts.
    qsizetype scanFoundCount() const { return m_scanFoundCount; }
    const StatusMessage& status() const { return m_status; }
    AuthorizationStatus authorizationStatus() const { return m_authorizationStatus; }
    bool hasExternalChanges() const { return m_hasExternalChanges; }
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    bool showDeleteConfirmation() const { return m_showDeleteConfirmation; }
    const std::optional<VideoItem>& previewItem() const { return m_previewItem; }
    // Two near copies shown side by side by their fingerprint frames, the better first.
    using ComparedPair = std::pair<VideoItem, VideoItem>;
    const std::optional<ComparedPair>& comparedItems() const { return m_comparedItems; }
    // The pair these two form when they are members of one near-copy set, the better first.
    std::optional<ComparedPair> comparablePair(const VideoList& items) const;
    // The library folders and their states as last checked (after each scan).
    const LibraryFolderList& libraryFolders() const { return m_libraryFolders; }
    // Those that cannot be read now: missing, unreadable, not mounted or not answering.
    QList<LibraryFolder> unavailableFolders() const;
    // The paths of the others, as checked; asks no file system, so the window may.
    QStringList readableFolders() const;
    // How many listed videos lie in this folder (resolved path) or below it.
    int videoCountIn(const QString& resolvedFolder) const;
    // Whether a Move to Trash of this session can still be undone.
    bool canUndoMoveToTrash() const { return !m_trashedBatches.empty(); }
    // The export being written, while one is.
    struct ExportProgress {
        QString fileName;
        std::int64_t writtenBytes = 0;
        std::int64_t totalBytes = 0;
    };
    const std::optional<ExportProgress>& exportProgress() const { return m_exportProgress; }
    // The files the last export wrote, for "Show in Folder": bytes, as a copy
    // keeps the bytes of a source's name that is not UTF-8.
    const QList<QByteArray>& exportedPaths() const { return m_exportedPaths; }

    // Every video of the last scan, in the order the scan delivered them.
    const VideoList& items() const { return m_items; }

    // Inputs the window writes.
    void setSortOrder(VideoSortOrder order);
    void setTableSortOrder(const QList<VideoTableSortComparator>& comparators);
    void setSizeFilter(SizeFilter filter);
    void setSearchText(const QString& text);
    void setSelectedIDs(const QSet<QString>& ids);
    void setShowDeleteConfirmation(bool isShown);
    void clearErrorMessage();
    void setPreviewItem(std::optional<VideoItem> item);
    void setComparedItems(std::optional<ComparedPair> pair);

    // Life and scanning.
    void start();
    void stop();
    void rescan();
    // Whether a finished scan goes on to check same-size videos byte for byte (default: yes).
    void setChecksCopiesAfterScan(bool isChecked) { m_checksCopiesAfterScan = isChecked; }
    // Whether a finished scan, once copies are checked, goes on to compare videos
    // by what they show (default: no; the window asks for it).
    void setChecksSimilarAfterScan(bool isChecked) { m_checksSimilarAfterScan = isChecked; }
    // Stops the scan and the checks for copies and near copies that follow it.
    void cancelScan();

    // Browsing.
    void selectYear(int year);
    void selectMonth(int year, int month);
    void showAllDates();
    void showDuplicates();
    void showIdenticalCopies();
    void showSimilarVideos();
    void setBrowseFilter(const DateFilter& filter, bool showsDuplicates);
    void setBrowseFilter(const DateFilter& filter, bool showsDuplicates, bool identicalOnly);
    void clearFilters();
    QList<DateBucket> monthBuckets(int year) const;
    bool hasActiveFilters() const;

    // Queries for the actions.
    VideoList itemsFor(const QSet<QString>& ids) const;
    VideoList selectedItems() const { return itemsFor({}); }
    bool hasItems() const { return !m_items.isEmpty(); }
    static bool containsNonFavorite(const VideoList& items);
    const VideoItem* itemWithID(const QString& id) const;

    // Actions.
    void requestDeletion(const VideoList& items);
    void confirmDeletion();
    void toggleFavorites(const VideoList& items);
    void download(const VideoList& items);
    void copyNames(const VideoList& items);
    // Full paths, one a line; videos without a file of their own are left out.
    void copyPaths(const VideoList& items);
    void showInFolder(const VideoItem& item);
    void showPreview(const VideoItem& item);
    void selectExtraCopies();
    // Every lesser version of the sets shown, never a favorite, never a member of
    // a set whose best version a filter hides. Outside "Similar videos" it only
    // shows the sets: the user sees them before anything is selected.
    void selectLesserVersions();
    // Puts back the videos of the newest Move to Trash not yet undone.
    void undoMoveToTrash();
    void showTrash();
    // Checks the folders again on the service's thread; libraryFoldersChanged follows.
    void refreshLibraryFolders();
    // Keeps these as the library folders and rescans.
    void setLibraryFolders(std::vector<QByteArray> folders);
    void selectAllVisible();
    // Stops the export under way; what was being written is removed.
    void cancelExport();
    // The file manager, with a file the last export wrote selected.
    void showExportedFile(const QByteArray& path);

signals:
    // A new visible list, worked out anew by its viewers (a scan, a filter, a sort).
    void visibleItemsChanged();
    // The visible list after an action, naming the rows: these changed in place,
    // left, or came, while every other row kept its value and order.
    void itemsChanged(const QStringList& ids);
    void itemsRemoved(const QStringList& ids);
    void itemsInserted(const QStringList& ids);
    void statsChanged();
    void selectionChanged();
    void filtersChanged();
    void sidebarChanged();
    void activityChanged();  // isScanning, isPerformingItemAction, progress and counts
    void statusChanged();
    void authorizationStatusChanged();
    void externalChangesChanged();
    void errorMessageChanged();
    void deleteConfirmationChanged();
    void previewItemChanged();
    void comparedItemsChanged();
    void scanFinished();
    void exportProgressChanged();
    void exportSucceeded();  // exportedPaths() holds where the copies went
    void itemActionFinished();
    void undoChanged();
    void libraryFoldersChanged();

private:
    friend struct ViewModelInternals;  // benchmarks time the installation

    struct DownloadPair {
        VideoItem item;
        QString destination;
        ExportNaming naming;  // a folder's names may move on if taken meanwhile
    };

    QCoro::Task<> runScan(std::stop_token stop);
    QCoro::Task<> performScan(std::stop_token stop);
    QCoro::Task<> endScanWithError(PhotoLibraryError error);
    void startCopyCheck();
    void stopCopyCheck();
    QCoro::Task<> runCopyCheck(std::stop_token stop);
    void setCopyCheckProgress(const CopyCheckProgress& progress);
    void applyExtraCopySelection(bool isPartial);
    void startSimilarCheck();
    void stopSimilarCheck();
    QCoro::Task<> runSimilarCheck(std::stop_token stop);
    void setSimilarityProgress(const SimilarityProgress& progress);
    bool rebuildSimilar();
    void logScanTimings(const ScanTimings& timings);
    void showFoundCount(qsizetype count);
    void takeEarlyRows(VideoList rows);
    void showEarlyRows();
    // The scan's items so far, then the early rows no batch has brought yet.
    VideoList withEarlyRows(const VideoList& confirmed) const;
    // Clears the early rows; true when the list showed any.
    bool forgetEarlyRows();
    // Whether these are the listed items, each equal, in any order.
    bool showsExactly(const VideoList& items) const;
    // The listed items in the scan's order, without a word to the viewers.
    void adoptScanOrder(VideoList items);

    using ItemOperation = std::function<QCoro::Task<>(std::stop_token)>;
    void runItemAction(StatusMessage status, ItemOperation operation);
    QCoro::Task<> runActionTask(ItemOperation operation, std::stop_token stop);
    QCoro::Task<> deleteOperation(QStringList ids, std::stop_token stop);
    QCoro::Task<> refreshFoldersTask(std::stop_token stop);
    QCoro::Task<> saveFoldersTask(std::vector<QByteArray> folders, std::stop_token stop);
    QCoro::Task<> restoreOperation(VideoList batch, std::stop_token stop);
    QCoro::Task<> favoriteOperation(QStringList ids, bool makeFavorite, std::stop_token stop);
    QCoro::Task<> downloadOperation(QList<DownloadPair> plan, std::stop_token stop);
    QCoro::Task<> chooseAndExport(VideoList items);

    QCoro::Task<> showFileTask(QString localIdentifier, std::stop_token stop);

    void handleLibraryChange(const LibraryChange& change);
    QCoro::Task<> reconcileWithLibrary(std::stop_token stop);
    QCoro::Task<> applyOutsideChanges(QStringList ids, std::stop_token stop);
    void forgetCopyVerdicts(const QSet<QString>& ids);
    void forgetFingerprints(const QSet<QString>& ids);

    // What an item change may mean for the visible rows.
    enum class ItemChange { any, removals, insertions };
    void replaceItems(VideoList items);
    void deriveFromItems(ItemChange change);
    void recomputeVisibleItems(bool resetRows, ItemChange change = ItemChange::any);
    void refreshSelectionStats();
    void dropHiddenSelection();
    QSet<QString> visibleAmong(const QSet<QString>& ids) const;
    bool rebuildDateBuckets();
    bool rebuildDuplicates();
    void removeItems(const QSet<QString>& ids);
    void insertItems(const VideoList& items);
    void updateItems(const VideoList& items);
    qsizetype indexOf(const QString& id) const;  // into m_items, or -1
    const FilterIndex& sortedIndex();

    void setStatus(StatusMessage status);
    void setErrorMessage(std::optional<QString> message);
    void setExternalChanges(bool hasChanges);
    void assertMainThread() const;

    PhotoLibraryService& m_service;
    Environment m_environment;

    VideoList m_visibleItems;
    int m_rowSetIdentity = 0;
    LibraryStats m_stats;
    SelectionStats m_selectionStats;
    VideoSortOrder m_sortOrder = VideoSortOrder::sizeDesc;
    QList<VideoTableSortComparator> m_tableSortOrder{tableComparator(VideoSortOrder::sizeDesc)};
    SizeFilter m_sizeFilter = SizeFilter::none;
    QString m_searchText;
    DateFilter m_dateFilter = DateFilter::all();
    DuplicateSummary m_duplicates;
    CopyCheck m_copyCheck;
    bool m_showsIdenticalCopies = false;
    bool m_isCheckingCopies = false;
    bool m_checksCopiesAfterScan = true;
    bool m_selectsExtrasWhenChecked = false;  // "Select Extra Copies" waits for the check
    CopyCheckProgress m_copyCheckProgress;
    StatusMessage m_scanSummary;        // what the status line returns to once copies are checked
    SimilarityCheck m_similarityCheck;  // fingerprints of videos in a set only
    QList<SimilarSet> m_similarSets;
    SimilarSummary m_similar;
    bool m_isCheckingSimilar = false;
    bool m_checksSimilarAfterScan = false;
    bool m_showsSimilarVideos = false;
    SimilarityProgress m_similarityProgress;
    bool m_showsDuplicates = false;
    QList<DateBucket> m_yearBuckets;
    std::optional<int> m_expandedYear;
    QSet<QString> m_selectedIDs;
    QSet<QString> m_pendingDeletionIDs;
    bool m_isScanning = false;
    bool m_isPerformingItemAction = false;
    std::optional<double> m_scanProgress;
    int m_scanCompletedCount = 0;
    int m_scanTotalCount = 0;
    qsizetype m_scanFoundCount = 0;
    // Rows the port told before its count, shown while it counts: the batches
    // replace them, and a scan that ends otherwise drops those left.
    VideoList m_earlyItems;
    QSet<QString> m_earlyIDs;
    bool m_isTakingEarlyRows = false;
    bool m_isEarlyRowsTimerSet = false;
    bool m_areEarlyRowsShown = false;
    std::chrono::nanoseconds m_earlyRowsCost{0};  // of showing them last
    StatusMessage m_status{QT_TRANSLATE_NOOP("reelkeep", "Ready to scan your video folders.")};
    AuthorizationStatus m_authorizationStatus = AuthorizationStatus::notDetermined;
    bool m_hasExternalChanges = false;
    std::optional<QString> m_errorMessage;
    bool m_showDeleteConfirmation = false;
    std::optional<VideoItem> m_previewItem;
    std::optional<ComparedPair> m_comparedItems;
    // The videos of each Move to Trash of this session, oldest first, as they were listed.
    std::vector<VideoList> m_trashedBatches;
    LibraryFolderList m_libraryFolders;
    bool m_isRescanPending = false;  // the folders changed during a scan
    std::optional<ExportProgress> m_exportProgress;
    QList<QByteArray> m_exportedPaths;

    VideoList m_items;
    mutable std::optional<QHash<QString, qsizetype>> m_indexByID;  // built on first lookup
    QHash<int, QList<DateBucket>> m_monthBucketsByYear;
    // m_items sorted by m_sortOrder, ready for keystroke filtering; dropped on any change.
    std::optional<FilterIndex> m_sortedIndex;

    std::shared_ptr<LibraryChangeObserver> m_changeObserver;
    std::chrono::nanoseconds m_suppressChangesUntil = std::chrono::nanoseconds::min();
    std::chrono::nanoseconds m_uiApplyTime{0};
    std::chrono::nanoseconds m_scanWallClock{0};
    ScanCosts m_lastScanCosts;

    // Last: they stop their coroutines before anything those read goes.
    TaskOwner m_scanTask{this};
    TaskOwner m_copyCheckTask{this};
    TaskOwner m_similarTask{this};
    TaskOwner m_actionTask{this};   // item actions, and choosing where an export goes
    TaskOwner m_lookupTasks{this};  // the file manager's file, the folder list
    TaskOwner m_changeTasks{this};  // outside changes being read
};

}  // namespace reelkeep
