#include "Parallel.h"

#include <cstdlib>
#include <system_error>

namespace kestrelon {

namespace detail {

std::atomic<unsigned> failThreadStartAt{0};

void checkThreadStart()
{
    unsigned n = failThreadStartAt.load(std::memory_order_relaxed);
    while (n != 0 && !failThreadStartAt.compare_exchange_weak(n, n - 1, std::memory_order_relaxed))
        ;
    if (n == 1)
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

} // namespace detail

unsigned workerCount()
{
    static const unsigned count = [] {
        if (const char* env = std::getenv("KESTRELON_THREADS")) {
            const int n = std::atoi(env);
            if (n >= 1)
                return unsigned(n);
        }
        const unsigned hw = std::thread::hardware_concurrency();
        return hw ? hw : 1u;
    }();
    return count;
}

} // namespace kestrelon
