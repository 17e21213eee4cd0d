#pragma once
// Splitting independent work over the machine's cores.
//
// parallelFor(count, fn) calls fn(begin, end) on contiguous, disjoint ranges
// that together cover [0, count), one range per worker, and returns when all
// have finished. The ranges depend only on count and the worker count, so a
// computation whose items are independent gives bit-identical results however
// many threads run it. The first exception thrown by a worker is rethrown in the
// caller after every worker has stopped. When the system refuses a thread (a process
// limit), the calling thread runs the ranges of the workers that could not start,
// one after the other: the same ranges, so the same results.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrelon {

// Worker count: the hardware's, at least 1. KESTRELON_THREADS overrides it
// (tests use it to compare one thread with several).
unsigned workerCount();

namespace detail {
// Test seam: while nonzero, counts thread starts down, and the start that brings it to
// zero fails as one the system refuses (std::system_error). 0 (the default) never fails.
extern std::atomic<unsigned> failThreadStartAt;
// Throws as that refused start does; called before each worker thread is started.
void checkThreadStart();
} // namespace detail

// Below this many items the work runs on the calling thread.
inline constexpr std::size_t kParallelMinItems = 16;

template <class Fn>
void parallelFor(std::size_t count, Fn&& fn, std::size_t minItems = kParallelMinItems)
{
    const std::size_t workers
        = std::min<std::size_t>(workerCount(), count / (minItems ? minItems : 1));
    if (workers <= 1) {
        if (count)
            fn(std::size_t{0}, count);
        return;
    }
    std::exception_ptr error;
    std::mutex errorMutex;
    auto run = [&](std::size_t begin, std::size_t end) {
        try {
            fn(begin, end);
        } catch (...) {
            std::lock_guard lock(errorMutex);
            if (!error)
                error = std::current_exception();
        }
    };
    auto range = [&](std::size_t w) { run(count * w / workers, count * (w + 1) / workers); };
    std::vector<std::thread> threads;
    threads.reserve(workers - 1);
    try {
        for (std::size_t w = 1; w < workers; ++w) {
            detail::checkThreadStart();
            threads.emplace_back(range, w);
        }
    } catch (...) {
        // no more threads: this one runs the ranges of the workers that did not start
    }
    range(0);
    for (std::size_t w = threads.size() + 1; w < workers; ++w)
        range(w);
    for (auto& t : threads)
        t.join();
    if (error)
        std::rethrow_exception(error);
}

} // namespace kestrelon
