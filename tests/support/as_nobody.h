// as_nobody.h: permission tests that run for real when the suite runs as root.
// File modes deny root nothing, and CI runs as root: such a test starts itself
// again as uid and gid 65534 under setpriv, and that run's verdict is the test's.
#pragma once

namespace reelkeep::test {

// The user a permission test runs as when started by root.
inline constexpr unsigned kNobodyId = 65534;

// As root: runs the current test in a child of this binary as nobody, in a
// temporary home nobody owns, reports its failures or skip here, and returns
// true (the caller returns at once). Unprivileged: returns false, and the
// caller goes on with the body itself.
bool rerunAsNobody();

}  // namespace reelkeep::test
