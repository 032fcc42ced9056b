// resume_guard.h: lets exactly one of several racing callers resume a suspended
// operation. The first claim() wins; every later one returns false.
#pragma once

#include <atomic>

namespace reelkeep {

class ResumeGuard {
public:
    bool claim() { return !m_claimed.exchange(true, std::memory_order_acq_rel); }
    bool isClaimed() const { return m_claimed.load(std::memory_order_acquire); }

private:
    std::atomic<bool> m_claimed{false};
};

}  // namespace reelkeep
