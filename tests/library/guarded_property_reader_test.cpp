// guarded_property_reader_test.cpp: every return kind, width and oddity of the
// dynamic-object layer, and the once-only loader.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "library/guarded_property_reader.h"

namespace reelkeep {
namespace {

struct Case {
    const char* name;
    DynamicMember member;
    std::optional<std::int64_t> expected;
};

DynamicMember encoded(const char* encoding, DynamicValue value) {
    return DynamicMember{true, DynamicMethod{encoding, [value] { return value; }}};
}

TEST(GuardedPropertyReader, PositiveIntegerReadsFollowTheEncodedKindAndWidth) {
    constexpr std::uint64_t kJunkHigh = 0xdeadbeef00000000ull;
    const Case cases[] = {
        {"q positive", DynamicMember::integer('q', 1234), 1234},
        {"q zero", DynamicMember::integer('q', 0), std::nullopt},
        {"q negative", DynamicMember::integer('q', std::uint64_t(-5)), std::nullopt},
        {"q max", DynamicMember::integer('q', std::uint64_t(INT64_MAX)), std::nullopt},  // rounds to 2^63
        {"i junk high bits", DynamicMember::integer('i', kJunkHigh | 77), 77},
        {"l junk high bits", DynamicMember::integer('l', kJunkHigh | 78), 78},
        {"i negative low bits", DynamicMember::integer('i', kJunkHigh | 0xffffffffu), std::nullopt},
        {"s low 16 bits", DynamicMember::integer('s', 0xffff0000'00010005ull), 5},
        {"s negative", DynamicMember::integer('s', 0x8000), std::nullopt},
        {"Q fits", DynamicMember::integer('Q', 1ull << 40), std::int64_t(1) << 40},
        {"Q above int64", DynamicMember::integer('Q', 1ull << 63), std::nullopt},
        {"L unsigned 32", DynamicMember::integer('L', kJunkHigh | 0xffffffffu), 0xffffffffll},
        {"I unsigned 32", DynamicMember::integer('I', 0x1'0000'0001ull), 1},
        {"S unsigned 16", DynamicMember::integer('S', 0x1'ffffull), 0xffff},
        {"d truncates", DynamicMember::real(12.9), 12},
        {"d below one", DynamicMember::real(0.5), std::nullopt},
        {"d NaN", DynamicMember::real(std::nan("")), std::nullopt},
        {"d infinity", DynamicMember::real(INFINITY), std::nullopt},
        {"d 2^63", DynamicMember::real(9223372036854775808.0), std::nullopt},
        {"d just below 2^63", DynamicMember::real(9223372036854774784.0), 9223372036854774784ll},
        {"f widened", DynamicMember::realFloat(42.75f), 42},
        {"@ number", DynamicMember::object(makeNumberObject(99.9)), 99},
        {"@ string", DynamicMember::object(makeStringObject("12")), std::nullopt},
        {"@ nil", DynamicMember::object(nullptr), std::nullopt},
        {"forwarding, no method", DynamicMember::forwardingOnly(), std::nullopt},
        {"does not respond", DynamicMember{false, DynamicMember::integer('q', 5).method}, std::nullopt},
        {"empty encoding", encoded("", std::uint64_t(5)), std::nullopt},
        {"kind mismatch", encoded("q16@0:8", 5.0), std::nullopt},
        {"no implementation", DynamicMember{true, DynamicMethod{"q16@0:8", {}}}, std::nullopt},
    };
    for (const Case& c : cases) {
        MemberTableObject object({{"px_filesize", c.member}});
        EXPECT_EQ(readPositiveIntegerProperty("px_filesize", object), c.expected) << c.name;
        EXPECT_EQ(readPositiveIntegerProperty("other", object), std::nullopt) << c.name;
    }
}

TEST(GuardedPropertyReader, UnsupportedEncodingsAreNeverCalled) {
    for (const char* encoding :
         {"B16@0:8", "c16@0:8", "*16@0:8", "{CGSize=dd}16@0:8", "r*16@0:8", "v16@0:8"}) {
        int calls = 0;
        const auto counted = [&calls] {
            ++calls;
            return DynamicValue{std::uint64_t(5)};
        };
        MemberTableObject object({{"px_filesize", DynamicMember{true, DynamicMethod{encoding, counted}}}});
        EXPECT_EQ(readPositiveIntegerProperty("px_filesize", object), std::nullopt) << encoding;
        EXPECT_EQ(readObjectProperty("px_filesize", object), std::nullopt) << encoding;
        EXPECT_EQ(calls, 0) << encoding;
    }
}

TEST(GuardedPropertyReader, ObjectReadsAcceptOnlyNonNilObjectsAndCallOnce) {
    int calls = 0;
    const ObjectRef name = makeStringObject("IMG_0001.MOV");
    MemberTableObject object({
        {"name", DynamicMember{true, DynamicMethod{"@16@0:8",
                                                   [&] {
                                                       ++calls;
                                                       return DynamicValue{name};
                                                   }}}},
        {"nil", DynamicMember::object(nullptr)},
        {"integer", DynamicMember::integer('q', 5)},
        {"forwarded", DynamicMember::forwardingOnly()},
    });
    const auto read = readObjectProperty("name", object);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->get(), name.get());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(readObjectProperty("nil", object), std::nullopt);
    EXPECT_EQ(readObjectProperty("integer", object), std::nullopt);
    EXPECT_EQ(readObjectProperty("forwarded", object), std::nullopt);
    EXPECT_EQ(readObjectProperty("missing", object), std::nullopt);
}

TEST(GuardedPropertyReader, LoaderHookRunsOnceAcrossThreads) {
    std::atomic<int> runs{0};
    DynamicPropertyLoader loader([&runs] { ++runs; });
    std::vector<std::jthread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&loader] {
            for (int i = 0; i < 100; ++i) loader.ensureLoaded();
        });
    threads.clear();
    EXPECT_EQ(runs.load(), 1);
}

}  // namespace
}  // namespace reelkeep
