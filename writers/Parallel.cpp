#include "writers/Parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace orvex::writers {

namespace {

std::atomic<unsigned> gShare{0};

}  // namespace

unsigned threadShare() {
    const unsigned set = gShare.load();
    return set != 0 ? set : std::max(1u, std::thread::hardware_concurrency());
}

void setThreadShare(unsigned threads) {
    gShare = threads;
}

void forEachIndex(std::size_t count, const std::function<void(std::size_t)>& work) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr failure;
    std::mutex failureLock;
    const auto run = [&] {
        for (std::size_t i = next++; i < count && !failed; i = next++) {
            try {
                work(i);
            } catch (...) {
                const std::lock_guard<std::mutex> lock(failureLock);
                if (!failure) failure = std::current_exception();
                failed = true;
            }
        }
    };
    const std::size_t helpers = std::min<std::size_t>(threadShare(), count) - (count > 0 ? 1 : 0);
    std::vector<std::thread> threads;
    threads.reserve(helpers);
    try {
        for (std::size_t t = 0; t < helpers; ++t) threads.emplace_back(run);
    } catch (const std::exception&) {
        // No more threads to be had: those that started, and this one, do
        // the work.
    }
    run();
    for (std::thread& thread : threads) thread.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace orvex::writers
