// parallelFor when the system refuses a thread.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "base/Parallel.h"

namespace kestrelon::test {
namespace {

struct Call {
    std::size_t begin;
    std::size_t end;
    bool onCaller;
};

// The calls parallelFor makes over count items, by range, with the failAt-th thread
// start refused (0: none).
std::vector<Call> callsOf(std::size_t count, unsigned failAt)
{
    detail::failThreadStartAt = failAt;
    const auto caller = std::this_thread::get_id();
    std::mutex mutex;
    std::vector<Call> calls;
    parallelFor(count, [&](std::size_t begin, std::size_t end) {
        std::lock_guard lock(mutex);
        calls.push_back({begin, end, std::this_thread::get_id() == caller});
    });
    detail::failThreadStartAt = 0;
    std::sort(
        calls.begin(), calls.end(), [](const Call& a, const Call& b) { return a.begin < b.begin; });
    return calls;
}

// Four workers, the first, second or third thread start refused: every range is still
// run once, the same ranges as when all start (so results stay bit-identical), and the
// calling thread runs those of the workers that did not start.
TEST(ParallelFor, ARefusedThreadLeavesItsRangesToTheCaller)
{
    ::setenv("KESTRELON_THREADS", "4", 1);
    ASSERT_EQ(workerCount(), 4u);
    constexpr std::size_t kCount = 103;
    const std::vector<Call> all = callsOf(kCount, 0);
    ASSERT_EQ(all.size(), 4u);
    for (unsigned failAt : {1u, 2u, 3u}) {
        const std::vector<Call> calls = callsOf(kCount, failAt);
        ASSERT_EQ(calls.size(), all.size()) << "start " << failAt << " refused";
        for (std::size_t w = 0; w < calls.size(); ++w) {
            EXPECT_EQ(calls[w].begin, w ? calls[w - 1].end : 0u);
            EXPECT_EQ(calls[w].end, all[w].end);
            EXPECT_EQ(calls[w].onCaller, w == 0 || w >= failAt)
                << "range " << w << ", start " << failAt << " refused";
        }
        EXPECT_EQ(calls.back().end, kCount);
    }
}

} // namespace
} // namespace kestrelon::test
