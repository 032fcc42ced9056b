// photo_library_error_test.cpp: wrapped descriptions, and how a deletion
// completion becomes an outcome (only confirmed deletions count as deleted).
#include <gtest/gtest.h>

#include "library/photo_library_error.h"

namespace reelkeep {
namespace {

TEST(PhotoLibraryError, WrappingKeepsTheInnermostDescription) {
    const PlatformError disk{"NSCocoaErrorDomain", 640, "The disk is full."};
    // A wrapped error speaks with its innermost description, never with a generic one.
    const std::pair<PhotoLibraryError, QString> cases[] = {
        {PhotoLibraryError::operationFailed(disk), "The disk is full."},
        {PhotoLibraryError::operationFailed(PhotoLibraryError::assetUnavailable()),
         "This video's file could not be read."},
        {PhotoLibraryError::operationFailed(PhotoLibraryError::operationFailed(disk)), "The disk is full."},
    };
    for (const auto& [error, text] : cases) EXPECT_EQ(error.description(), text);
    EXPECT_EQ(PhotoLibraryError::operationFailed(PhotoLibraryError::operationFailed(disk)),
              PhotoLibraryError::operationFailed(disk));
    EXPECT_TRUE(PhotoLibraryError::cancelled().isCancellation());
    EXPECT_FALSE(PhotoLibraryError::operationFailed(disk).isCancellation());
}

TEST(ClassifyDeletion, OnlyConfirmedItemsAreReportedDeleted) {
    const QStringList handedIn{"a", "b", "c"};
    const PlatformError declined{"AnyDomain", 3072, "declined"};
    const PlatformError locked{"Sim", 13, "The file is locked."};
    const PlatformError busy{"Sim", 16, "The file is busy."};
    struct Case {
        const char* name;
        DeletionCompletion completion;
        DeletionOutcome expected;
    };
    const Case cases[] = {
        {"all deleted",
         {std::nullopt, {{"a", {}}, {"b", {}}, {"c", {}}}},
         DeletionOutcome::success({"a", "b", "c"})},
        {"results out of order keep fetch order",
         {std::nullopt, {{"c", {}}, {"a", {}}, {"b", {}}}},
         DeletionOutcome::success({"a", "b", "c"})},
        {"declined in any domain", {declined, {}}, DeletionOutcome::cancelled()},
        {"whole request failed", {locked, {}}, DeletionOutcome::failed("The file is locked.")},
        {"no error, nothing confirmed", {std::nullopt, {}}, DeletionOutcome::failed()},
        {"partly deleted carries the first error",
         {std::nullopt, {{"a", {}}, {"b", locked}, {"c", busy}}},
         DeletionOutcome::success({"a"}, "The file is locked.")},
        {"missing entries are not deleted", {std::nullopt, {{"b", {}}}}, DeletionOutcome::success({"b"})},
        {"all items failed",
         {std::nullopt, {{"a", busy}, {"b", locked}}},
         DeletionOutcome::failed("The file is busy.")},
        {"items declined", {std::nullopt, {{"a", declined}}}, DeletionOutcome::cancelled()},
        {"unknown identifiers ignored", {std::nullopt, {{"zzz", {}}}}, DeletionOutcome::failed()},
    };
    for (const Case& c : cases) EXPECT_EQ(classifyDeletion(handedIn, c.completion), c.expected) << c.name;
}

}  // namespace
}  // namespace reelkeep
