// sidebar.cpp: sections of the sidebar, refreshed from the view model's signals.
#include "sidebar.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "model/display_text.h"
#include "model/texts.h"
#include "ui/date_bucket_row.h"
#include "ui/icons.h"
#include "ui/plain_text.h"
#include "viewmodel/video_list_view_model.h"

namespace reelkeep {

namespace {

QLabel* captionLabel(const QString& text, QWidget* parent) {
    QLabel* label = plainLabel(text, parent);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    label->setWordWrap(true);
    return label;
}

// A flat button in the palette's link colour. A style sheet's palette(link) is
// read once, so the colour is set again whenever the palette changes (a theme
// switch), or the link would stay light-theme blue on a dark window.
class LinkButton : public QPushButton {
public:
    LinkButton(const QIcon& icon, const QString& text, QWidget* parent) : QPushButton(icon, text, parent) {
        setFlat(true);
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
        followPalette();
    }

protected:
    // A hidden link may miss the change; it catches up when shown.
    void showEvent(QShowEvent* event) override {
        QPushButton::showEvent(event);
        followPalette();
    }
    void changeEvent(QEvent* event) override {
        QPushButton::changeEvent(event);
        // Once the change has reached every widget: mid-way the palettes disagree.
        if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
            QMetaObject::invokeMethod(
                this, [this] { followPalette(); }, Qt::QueuedConnection);
    }

private:
    void followPalette() {
        // The application's palette: a style sheet rewrites the widget's own.
        const QColor link = QApplication::palette().color(QPalette::Link);
        if (link == m_shownLink) return;  // setting the sheet changes the palette again
        m_shownLink = link;
        setStyleSheet(QStringLiteral("QPushButton { color: %1; text-align: left; border: none;"
                                     " padding: 2px 0px; }")
                          .arg(link.name()));
    }

    QColor m_shownLink;
};

QPushButton* linkButton(const QString& text, QWidget* parent, const QIcon& icon = {}) {
    return new LinkButton(icon, text, parent);
}

QProgressBar* spinner(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    bar->setFixedSize(36, 6);
    return bar;
}

void clearLayout(QVBoxLayout* layout) {
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* widget = item->widget()) widget->deleteLater();
        delete item;
    }
}

QString integerText(qint64 value) {
    return QLocale().toString(value);
}

}  // namespace

Sidebar::Sidebar(VideoListViewModel& viewModel, QWidget* parent) : QWidget(parent), m_viewModel(viewModel) {
    setMinimumWidth(240);
    setMaximumWidth(320);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(scroll);
    auto* content = new QWidget(scroll);
    scroll->setWidget(content);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(14);

    column->addWidget(makeTotals(content));
    makeLibrarySection(column, content);
    makeScanningSection(column, content);
    makeFilterSection(column, content);
    // Rebuilt as the library changes.
    m_duplicatesSection = makeSection(reelkeep::tr("Duplicates"), column, &m_duplicatesBody);
    m_datesSection = makeSection(reelkeep::tr("By date"), column, &m_datesBody);
    column->addStretch(1);
    column->addLayout(makeStatusLine(content));

    connect(&viewModel, &VideoListViewModel::statsChanged, this, &Sidebar::refresh);
    connect(&viewModel, &VideoListViewModel::sidebarChanged, this, &Sidebar::refresh);
    connect(&viewModel, &VideoListViewModel::filtersChanged, this, &Sidebar::refresh);
    connect(&viewModel, &VideoListViewModel::activityChanged, this, &Sidebar::refreshScanning);
    connect(&viewModel, &VideoListViewModel::activityChanged, this, &Sidebar::refreshStatus);
    connect(&viewModel, &VideoListViewModel::statusChanged, this, &Sidebar::refreshStatus);
    refresh();
    refreshScanning();
    refreshStatus();
}

QWidget* Sidebar::makeTotals(QWidget* content) {
    auto* totals = new QWidget(content);
    auto* totalsLayout = new QVBoxLayout(totals);
    totalsLayout->setContentsMargins(0, 0, 0, 0);
    totalsLayout->setSpacing(4);
    totalsLayout->addWidget(captionLabel(reelkeep::tr("Total size"), totals));
    m_totalSize = plainLabel({}, totals);
    m_totalSize->setObjectName(QStringLiteral("totalSize"));
    QFont big = m_totalSize->font();
    big.setPointSizeF(big.pointSizeF() * 2.0);
    big.setWeight(QFont::DemiBold);
    m_totalSize->setFont(big);
    totalsLayout->addWidget(m_totalSize);
    return totals;
}

void Sidebar::makeLibrarySection(QVBoxLayout* column, QWidget* content) {
    QVBoxLayout* libraryBody = nullptr;
    makeSection(reelkeep::tr("Library"), column, &libraryBody);
    auto* grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setColumnStretch(0, 1);
    m_videoCount = plainLabel({}, content);
    m_videoCount->setObjectName(QStringLiteral("videoCount"));
    m_shownLabel = plainLabel(reelkeep::tr("Shown"), content);
    m_shownCount = plainLabel({}, content);
    m_unknownLabel = plainLabel(reelkeep::tr("Size unknown"), content);
    m_unknownCount = plainLabel({}, content);
    grid->addWidget(plainLabel(reelkeep::tr("Videos"), content), 0, 0);
    grid->addWidget(m_videoCount, 0, 1, Qt::AlignRight);
    grid->addWidget(m_shownLabel, 1, 0);
    grid->addWidget(m_shownCount, 1, 1, Qt::AlignRight);
    grid->addWidget(m_unknownLabel, 2, 0);
    grid->addWidget(m_unknownCount, 2, 1, Qt::AlignRight);
    libraryBody->addLayout(grid);
    m_unknownFooter =
        captionLabel(reelkeep::tr("Videos whose files could not be read have no known size."), content);
    libraryBody->addWidget(m_unknownFooter);
}

void Sidebar::makeScanningSection(QVBoxLayout* column, QWidget* content) {
    QVBoxLayout* scanningBody = nullptr;
    m_scanningSection = makeSection(reelkeep::tr("Scanning"), column, &scanningBody);
    m_scanProgress = new QProgressBar(content);
    m_scanProgress->setTextVisible(false);
    m_scanProgress->setMaximumHeight(8);
    m_scanCounts = captionLabel({}, content);
    m_countingRow = new QWidget(content);
    auto* countingLayout = new QHBoxLayout(m_countingRow);
    countingLayout->setContentsMargins(0, 0, 0, 0);
    countingLayout->setSpacing(8);
    countingLayout->addWidget(spinner(m_countingRow));
    m_countingLabel = captionLabel(reelkeep::tr("Counting videos…"), m_countingRow);
    m_countingLabel->setObjectName(QStringLiteral("countingLabel"));
    countingLayout->addWidget(m_countingLabel, 1);
    scanningBody->addWidget(m_scanProgress);
    scanningBody->addWidget(m_scanCounts);
    scanningBody->addWidget(m_countingRow);
}

void Sidebar::makeFilterSection(QVBoxLayout* column, QWidget* content) {
    QVBoxLayout* filterBody = nullptr;
    makeSection(reelkeep::tr("Filter"), column, &filterBody);
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(plainLabel(reelkeep::tr("Minimum size"), content));
    m_sizeFilter = new QComboBox(content);
    m_sizeFilter->setObjectName(QStringLiteral("sizeFilter"));
    m_sizeFilter->setAccessibleName(reelkeep::tr("Minimum size"));
    for (const SizeFilter filter : kAllSizeFilters) m_sizeFilter->addItem(label(filter), int(filter));
    filterRow->addWidget(m_sizeFilter, 1);
    filterBody->addLayout(filterRow);
    m_clearFilters = linkButton(reelkeep::tr("Clear filters"), content);
    m_clearFilters->setObjectName(QStringLiteral("clearFilters"));
    filterBody->addWidget(m_clearFilters);
    connect(m_sizeFilter, &QComboBox::activated, this,
            [this](int row) { m_viewModel.setSizeFilter(SizeFilter(m_sizeFilter->itemData(row).toInt())); });
    connect(m_clearFilters, &QPushButton::clicked, this, [this] { m_viewModel.clearFilters(); });
}

QHBoxLayout* Sidebar::makeStatusLine(QWidget* content) {
    auto* statusRow = new QHBoxLayout;
    statusRow->setSpacing(6);
    m_actionSpinner = spinner(content);
    m_status = captionLabel({}, content);
    m_status->setObjectName(QStringLiteral("statusLine"));
    statusRow->addWidget(m_actionSpinner);
    statusRow->addWidget(m_status, 1);
    return statusRow;
}

QWidget* Sidebar::makeSection(const QString& header, QVBoxLayout* into, QVBoxLayout** body) {
    auto* section = new QWidget(this);
    auto* layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    QLabel* title = plainLabel(header, section);
    QFont font = title->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 0.85);
    title->setFont(font);
    title->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(title);
    *body = new QVBoxLayout;
    (*body)->setSpacing(2);
    layout->addLayout(*body);
    into->addWidget(section);
    return section;
}

void Sidebar::refresh() {
    refreshLibrary();
    refreshFilter();
    rebuildDuplicates();
    rebuildDates();
}

void Sidebar::refreshLibrary() {
    const LibraryStats& stats = m_viewModel.stats();
    m_totalSize->setText(byteCountText(stats.knownBytes));
    m_videoCount->setText(integerText(stats.totalCount));
    const bool isFiltered = m_viewModel.hasActiveFilters();
    m_shownLabel->setVisible(isFiltered);
    m_shownCount->setVisible(isFiltered);
    m_shownCount->setText(integerText(stats.visibleCount));
    const bool hasUnknown = stats.unknownSizeCount > 0;
    m_unknownLabel->setVisible(hasUnknown);
    m_unknownCount->setVisible(hasUnknown);
    m_unknownFooter->setVisible(hasUnknown);
    m_unknownCount->setText(integerText(stats.unknownSizeCount));
}

void Sidebar::refreshScanning() {
    m_scanningSection->setVisible(m_viewModel.isScanning());
    const bool hasTotal = m_viewModel.scanTotalCount() > 0;
    m_scanProgress->setVisible(hasTotal);
    m_scanCounts->setVisible(hasTotal);
    m_countingRow->setVisible(!hasTotal);
    if (const auto progress = m_viewModel.scanProgress()) {
        m_scanProgress->setRange(0, 1000);
        m_scanProgress->setValue(int(*progress * 1000));
    } else {
        m_scanProgress->setRange(0, 0);  // indeterminate until the first batch
    }
    const qsizetype found = m_viewModel.scanFoundCount();
    m_countingLabel->setText(
        found > 0 ? fillArguments(reelkeep::tr("Counting videos… %1 found"), {qlonglong(found)})
                  : reelkeep::tr("Counting videos…"));
    m_scanCounts->setText(
        reelkeep::tr("%1 of %2")
            .arg(integerText(m_viewModel.scanCompletedCount()), integerText(m_viewModel.scanTotalCount())));
}

void Sidebar::refreshFilter() {
    const int row = m_sizeFilter->findData(int(m_viewModel.sizeFilter()));
    if (row >= 0 && row != m_sizeFilter->currentIndex()) m_sizeFilter->setCurrentIndex(row);
    m_clearFilters->setVisible(m_viewModel.hasActiveFilters());
}

void Sidebar::rebuildDuplicates() {
    clearLayout(m_duplicatesBody);
    const DuplicateSummary& duplicates = m_viewModel.duplicates();
    const SimilarSummary& similar = m_viewModel.similar();
    const bool hasSameSize = !duplicates.countsBySize.isEmpty();
    const bool hasSimilar = similar.setCount > 0 || m_viewModel.isCheckingSimilar();
    m_duplicatesSection->setVisible(hasSameSize || hasSimilar);
    if (hasSameSize) addCopyRows();
    if (!hasSimilar) return;
    // The row counts videos, as its neighbours do; its tooltip counts the sets.
    auto* similarRow =
        new DateBucketRow({reelkeep::tr("Similar videos"), similar.videoCount, similar.reclaimableBytes,
                           std::nullopt, m_viewModel.showsSimilarVideos(), false, false},
                          m_duplicatesSection);
    similarRow->setObjectName(QStringLiteral("similarVideosRow"));
    similarRow->setToolTip(
        reelkeep::tr("Sets: %1. The videos of a set show the same thing: re-encoded, resized or re-wrapped.")
            .arg(integerText(similar.setCount)));
    connect(similarRow, &QAbstractButton::clicked, this, [this] { m_viewModel.showSimilarVideos(); });
    m_duplicatesBody->addWidget(similarRow);
    QPushButton* select = linkButton(reelkeep::tr("Select Lesser Versions"), m_duplicatesSection);
    select->setObjectName(QStringLiteral("selectLesserVersions"));
    // Only over the sets on screen: nothing is chosen in sets the user has not seen.
    select->setEnabled(m_viewModel.showsSimilarVideos() && !m_viewModel.isCheckingSimilar());
    connect(select, &QPushButton::clicked, this, [this] { m_viewModel.selectLesserVersions(); });
    m_duplicatesBody->addWidget(select);
    const QString caption =
        m_viewModel.isCheckingSimilar()
            ? reelkeep::tr("Comparing videos… Near copies show the same pictures at the same moments.")
            : reelkeep::tr(
                  "Keeping the best version of each set (highest resolution, then bitrate) frees the "
                  "space shown once the Trash is emptied.");
    m_duplicatesBody->addWidget(captionLabel(caption, m_duplicatesSection));
}

void Sidebar::addCopyRows() {
    const DuplicateSummary& duplicates = m_viewModel.duplicates();
    auto* row = new DateBucketRow(
        {reelkeep::tr("Same size"), duplicates.videoCount, duplicates.reclaimableBytes, std::nullopt,
         m_viewModel.showsDuplicates() && !m_viewModel.showsIdenticalCopies(), false, false},
        m_duplicatesSection);
    row->setObjectName(QStringLiteral("sameSizeRow"));
    connect(row, &QAbstractButton::clicked, this, [this] { m_viewModel.showDuplicates(); });
    m_duplicatesBody->addWidget(row);
    const CopySummary& copies = duplicates.copies;
    auto* identical =
        new DateBucketRow({reelkeep::tr("Identical copies"), copies.videoCount, copies.reclaimableBytes,
                           std::nullopt, m_viewModel.showsIdenticalCopies(), false, false},
                          m_duplicatesSection);
    identical->setObjectName(QStringLiteral("identicalCopiesRow"));
    connect(identical, &QAbstractButton::clicked, this, [this] { m_viewModel.showIdenticalCopies(); });
    m_duplicatesBody->addWidget(identical);
    QPushButton* select = linkButton(reelkeep::tr("Select Extra Copies"), m_duplicatesSection);
    select->setObjectName(QStringLiteral("selectExtraCopies"));
    connect(select, &QPushButton::clicked, this, [this] { m_viewModel.selectExtraCopies(); });
    m_duplicatesBody->addWidget(select);
    const QString caption =
        m_viewModel.isCheckingCopies()
            ? reelkeep::tr("Checking copies… Only files with the same bytes count as copies.")
            : reelkeep::tr(
                  "Keeping the favorite or earliest copy of each set of identical copies frees the "
                  "space shown once the Trash is emptied.");
    m_duplicatesBody->addWidget(captionLabel(caption, m_duplicatesSection));
}

void Sidebar::rebuildDates() {
    const QList<DateBucket>& years = m_viewModel.yearBuckets();
    m_datesSection->setVisible(!years.isEmpty());
    const DateFilter& filter = m_viewModel.dateFilter();
    const std::optional<int> expanded = years.isEmpty() ? std::nullopt : m_viewModel.expandedYear();
    QList<DateBucketRowContent> contents;
    QList<std::function<void()>> actions;
    if (expanded) {
        const int year = *expanded;
        DateBucket bucket{year, std::nullopt, 0, 0};
        for (const DateBucket& candidate : years)
            if (candidate.year == year) bucket = candidate;
        const bool isYearSelected = filter.kind() == DateFilter::Kind::year && filter.year() == year;
        contents.append(
            {yearTitle(year), bucket.count, bucket.knownBytes, std::nullopt, isYearSelected, false, false});
        actions.append([this, year] { m_viewModel.selectYear(year); });
        const QList<DateBucket> months = m_viewModel.monthBuckets(year);
        std::int64_t largest = 0;
        for (const DateBucket& month : months) largest = std::max(largest, month.knownBytes);
        for (const DateBucket& month : months) {
            const int number = month.month.value_or(0);
            const bool isSelected =
                filter.kind() == DateFilter::Kind::month && filter.year() == year && filter.month() == number;
            contents.append({monthTitle(year, number), month.count, month.knownBytes,
                             DateBucketRow::fraction(month.knownBytes, largest), isSelected, false, true});
            actions.append([this, year, number] {
                m_viewModel.setBrowseFilter(DateFilter::ofMonth(year, number), false);
            });
        }
    } else if (!years.isEmpty()) {
        const LibraryStats& stats = m_viewModel.stats();
        contents.append({reelkeep::tr("All dates"), stats.totalCount, stats.knownBytes, std::nullopt,
                         filter.kind() == DateFilter::Kind::all && !m_viewModel.showsDuplicates(), false,
                         false});
        actions.append([this] { m_viewModel.setBrowseFilter(DateFilter::all(), false); });
        std::int64_t largest = 0;
        for (const DateBucket& year : years) largest = std::max(largest, year.knownBytes);
        for (const DateBucket& year : years) {
            const int number = year.year;
            const bool isSelected = filter.kind() == DateFilter::Kind::year && filter.year() == number;
            contents.append({yearTitle(number), year.count, year.knownBytes,
                             DateBucketRow::fraction(year.knownBytes, largest), isSelected, true, false});
            actions.append([this, number] { m_viewModel.selectYear(number); });
        }
    }
    m_dateActions = std::move(actions);

    // The same rows as shown: updated in place, so the row just activated keeps the focus.
    const bool hasSameRows = expanded.has_value() == (m_backButton != nullptr) &&
                             contents.size() == m_dateRows.size() &&
                             std::equal(contents.begin(), contents.end(), m_dateRows.begin(),
                                        [](const DateBucketRowContent& content, const DateBucketRow* row) {
                                            return row->content().title == content.title &&
                                                   row->content().isIndented == content.isIndented;
                                        });
    if (hasSameRows) {
        for (qsizetype i = 0; i < contents.size(); ++i) m_dateRows[i]->setContent(contents[i]);
        return;
    }

    // Rebuilt (a year opened or closed): the focus moves to the new row of the same title.
    QString focusedTitle;
    bool hadFocus = false;
    if (QWidget* focused = QApplication::focusWidget(); focused && m_datesSection->isAncestorOf(focused)) {
        hadFocus = true;
        if (auto* row = qobject_cast<DateBucketRow*>(focused)) focusedTitle = row->content().title;
    }
    clearLayout(m_datesBody);
    m_dateRows.clear();
    m_backButton = nullptr;
    if (expanded) {
        m_backButton =
            linkButton(reelkeep::tr("All dates"), m_datesSection, symbolIcon(QStringLiteral("chevron.left")));
        m_backButton->setObjectName(QStringLiteral("allDatesButton"));
        connect(m_backButton, &QPushButton::clicked, this, [this] { m_viewModel.showAllDates(); });
        m_datesBody->addWidget(m_backButton);
    }
    for (qsizetype i = 0; i < contents.size(); ++i) {
        auto* row = new DateBucketRow(contents[i], m_datesSection);
        connect(row, &QAbstractButton::clicked, this, [this, i] {
            if (i < m_dateActions.size()) m_dateActions[i]();
        });
        m_datesBody->addWidget(row);
        m_dateRows.append(row);
    }
    if (!hadFocus) return;
    for (DateBucketRow* row : m_dateRows) {
        if (row->content().title == focusedTitle) {
            row->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    if (m_backButton)
        m_backButton->setFocus(Qt::OtherFocusReason);
    else if (!m_dateRows.isEmpty())
        m_dateRows.first()->setFocus(Qt::OtherFocusReason);
}

void Sidebar::refreshStatus() {
    m_actionSpinner->setVisible(m_viewModel.isPerformingItemAction());
    m_status->setText(m_viewModel.status().text());
}

}  // namespace reelkeep
