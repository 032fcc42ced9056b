// date_bucket_row.h: one clickable sidebar row for a date bucket or the
// duplicates entry: title, video count, bytes, an optional fraction bar and
// disclosure chevron. Painted; the sidebar holds a few dozen at most.
#pragma once

#include <QAbstractButton>
#include <cstdint>
#include <optional>

namespace reelkeep {

struct DateBucketRowContent {
    QString title;
    int count = 0;
    std::int64_t bytes = 0;
    std::optional<double> fraction;  // absent: no bar
    bool isSelected = false;
    bool showsDisclosure = false;
    bool isIndented = false;
};

class DateBucketRow : public QAbstractButton {
    Q_OBJECT

public:
    explicit DateBucketRow(DateBucketRowContent content, QWidget* parent = nullptr);

    const DateBucketRowContent& content() const { return m_content; }
    // Updates in place: a row that has the focus keeps it.
    void setContent(DateBucketRowContent content);
    QString countText() const;
    QSize sizeHint() const override;

    // Largest known bytes as 1; 0 when either side has none.
    static double fraction(std::int64_t bytes, std::int64_t largestBytes);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    DateBucketRowContent m_content;
};

}  // namespace reelkeep
