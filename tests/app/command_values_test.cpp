// command_values_test.cpp: option values as users type them, old spellings
// included, and amounts that must come out exact.
#include <gtest/gtest.h>

#include <QByteArray>
#include <vector>

#include "app/command_values.h"

namespace reelkeep {
namespace {

TEST(CommandValues, RawOptionValuesKeepTheBytesOfArgv) {
    const char* const argv[] = {
        "reelkeep",      "scan", "--library", "/v/caf\xe9", "--json", "--library=/v/\xff\xfe",
        "--libraryx=no", "--",   "--library", "/after"};
    const std::vector<QByteArray> values = rawOptionValues(int(std::size(argv)), argv, "library");
    EXPECT_EQ(values, (std::vector<QByteArray>{"/v/caf\xe9", "/v/\xff\xfe"}));
    const char* const last[] = {"reelkeep", "--library"};  // no value: the parser reports it
    EXPECT_TRUE(rawOptionValues(2, last, "library").empty());
}

TEST(CommandValues, SortOrdersReadNewAndOldSpellings) {
    struct Case {
        const char* text;
        std::optional<VideoSortOrder> expected;
    };
    const Case cases[] = {
        {"size", VideoSortOrder::sizeDesc},
        {"size-asc", VideoSortOrder::sizeAsc},
        {"date-newest", VideoSortOrder::creationDateDesc},
        {"date-oldest", VideoSortOrder::creationDateAsc},
        {"name", VideoSortOrder::nameAsc},
        {"length", VideoSortOrder::durationDesc},
        {"resolution-asc", VideoSortOrder::resolutionAsc},
        {"SIZE", VideoSortOrder::sizeDesc},
        {"creationDateDesc", VideoSortOrder::creationDateDesc},  // the earlier spelling
        {"durationasc", VideoSortOrder::durationAsc},
        {"biggest", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(parseSortOrder(QString::fromUtf8(c.text)), c.expected) << c.text;
}

TEST(CommandValues, MinimumSizesAreDecimalAmountsOrNamedFilters) {
    struct Case {
        const char* text;
        std::optional<std::int64_t> expected;
    };
    const Case cases[] = {
        {"none", 0},
        {"1gb", 1'000'000'000},
        {"100mb", 100'000'000},
        {"atLeast1GB", 1'000'000'000},  // the earlier spelling, now decimal like its label
        {"atLeast100MB", 100'000'000},
        {"500MB", 500'000'000},
        {"2GB", 2'000'000'000},
        {"1.5G", 1'500'000'000},
        {"1.1G", 1'100'000'000},  // exact: no binary fraction sneaks in
        {"0.5 kB", 500},
        {"1.5", 2},  // a fraction of a byte rounds up
        {"1.0000000000000000001", 2},
        {"12345", 12'345},
        {"2GiB", 2'147'483'648},
        {".5M", 500'000},
        {"9223372036854775807", 9'223'372'036'854'775'807},
        {"9223372036854775808", std::nullopt},
        {"10000000T", std::nullopt},
        {"-1GB", std::nullopt},
        {"1 gigabyte", std::nullopt},
        {"1e9", std::nullopt},
        {"GB", std::nullopt},
        {".", std::nullopt},
        {"", std::nullopt},
        {"\xd9\xa1GB", std::nullopt},  // an Arabic-Indic digit
    };
    for (const Case& c : cases) EXPECT_EQ(parseMinimumSize(QString::fromUtf8(c.text)), c.expected) << c.text;
}

}  // namespace
}  // namespace reelkeep
