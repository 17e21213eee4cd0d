#include "Parallel.h"

#include <cstdlib>

namespace kestrelon {

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
