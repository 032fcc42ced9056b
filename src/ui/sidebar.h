// sidebar.h: the window's left column: total size, library facts, scan
// progress, the minimum-size filter, the duplicates entry and the year/month
// browser, then the status line. It reads the view model's published state and
// calls its operations; it keeps nothing of its own.
#pragma once

#include <QList>
#include <QWidget>
#include <functional>

class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace reelkeep {

class DateBucketRow;
class VideoListViewModel;

class Sidebar : public QWidget {
    Q_OBJECT

public:
    explicit Sidebar(VideoListViewModel& viewModel, QWidget* parent = nullptr);

    void refresh();

private:
    QWidget* makeTotals(QWidget* content);
    void makeLibrarySection(QVBoxLayout* column, QWidget* content);
    void makeScanningSection(QVBoxLayout* column, QWidget* content);
    void makeFilterSection(QVBoxLayout* column, QWidget* content);
    QHBoxLayout* makeStatusLine(QWidget* content);
    QWidget* makeSection(const QString& header, QVBoxLayout* into, QVBoxLayout** body);
    void refreshLibrary();
    void refreshScanning();
    void refreshFilter();
    void rebuildDuplicates();
    void addCopyRows();
    void rebuildDates();
    void refreshStatus();

    VideoListViewModel& m_viewModel;
    QLabel* m_totalSize;
    QLabel* m_videoCount;
    QLabel* m_shownLabel;
    QLabel* m_shownCount;
    QLabel* m_unknownLabel;
    QLabel* m_unknownCount;
    QLabel* m_unknownFooter;
    QWidget* m_scanningSection;
    QProgressBar* m_scanProgress;
    QLabel* m_scanCounts;
    QWidget* m_countingRow;
    QLabel* m_countingLabel;
    QComboBox* m_sizeFilter;
    QPushButton* m_clearFilters;
    QWidget* m_duplicatesSection;
    QVBoxLayout* m_duplicatesBody;
    QWidget* m_datesSection;
    QVBoxLayout* m_datesBody;
    QPushButton* m_backButton = nullptr;
    QList<DateBucketRow*> m_dateRows;
    QList<std::function<void()>> m_dateActions;  // by row, replaced on each refresh
    QProgressBar* m_actionSpinner;
    QLabel* m_status;
};

}  // namespace reelkeep
