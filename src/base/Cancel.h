#pragma once
// Stopping a long computation from another thread.
//
// A task that may be cancelled installs its flag for the thread it runs on with a
// CancelScope. Long loops (the spectral passes) call throwIfCancelled() between slices
// of their work, so a cancel takes effect within a slice rather than at the end of a
// pass. Without a scope (the command line, the synchronous commands) nothing is checked
// and nothing is thrown.

#include <atomic>

namespace kestrelon {

// Thrown where a cancelled computation stops.
struct OperationCancelled { };

namespace detail {
inline thread_local const std::atomic<bool>* tCancelFlag = nullptr;
}

// The flag installed for the calling thread, or null.
inline const std::atomic<bool>* currentCancelFlag()
{
    return detail::tCancelFlag;
}

inline void throwIfCancelled(const std::atomic<bool>* flag)
{
    if (flag && flag->load(std::memory_order_relaxed))
        throw OperationCancelled();
}

class CancelScope {
public:
    explicit CancelScope(const std::atomic<bool>* flag)
        : FPrevious(detail::tCancelFlag)
    {
        detail::tCancelFlag = flag;
    }
    ~CancelScope() { detail::tCancelFlag = FPrevious; }
    CancelScope(const CancelScope&) = delete;
    CancelScope& operator=(const CancelScope&) = delete;

private:
    const std::atomic<bool>* FPrevious;
};

} // namespace kestrelon
