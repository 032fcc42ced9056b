// file_identity.h: how our stores recognise a file apart from its name.
#pragma once

#include <cstdint>
#include <string>

namespace reelkeep::store {

// (st_dev, st_ino, st_size): survives a rename within one file system.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t sizeBytes = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// A listed file: its identifier (ASCII, from the walk) and identity.
struct ListedFile {
    std::string identifier;
    FileIdentity identity;
};

// Non-empty printable ASCII: what the walk's percent-encoding produces.
bool isValidIdentifier(const std::string& identifier);

}  // namespace reelkeep::store
