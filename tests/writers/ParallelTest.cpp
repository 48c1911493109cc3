#include "writers/Parallel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace orvex::writers {
namespace {

class ParallelTest : public ::testing::Test {
protected:
    void TearDown() override { setThreadShare(0); }
};

// Each index once, never more threads at once than the share, whatever the
// share and the count.
TEST_F(ParallelTest, RunsEveryIndexOnceOnAtMostTheShareOfThreads) {
    for (const unsigned share : {1u, 2u, 5u}) {
        for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{3}, std::size_t{40}}) {
            SCOPED_TRACE(std::to_string(share) + " threads, " + std::to_string(count) + " indices");
            setThreadShare(share);
            EXPECT_EQ(threadShare(), share);
            std::vector<std::atomic<int>> runs(count);
            std::atomic<unsigned> running{0};
            std::atomic<unsigned> most{0};
            // The first indices each wait, a while at most, until as many
            // threads run as may: each such wait holds its thread.
            const unsigned expected = unsigned(std::min<std::size_t>(share, count));
            forEachIndex(count, [&](std::size_t i) {
                const unsigned now = ++running;
                unsigned seen = most;
                while (now > seen && !most.compare_exchange_weak(seen, now)) {
                }
                const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
                while (i < expected && most < expected && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                ++runs[i];
                --running;
            });
            for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(runs[i], 1) << i;
            EXPECT_EQ(most, expected);
        }
    }
}

// Index 0 fails at once; the indices already taken wait for that and then a
// while longer, as work in flight would, and no thread takes another after
// them.
TEST_F(ParallelTest, TheFirstFailureIsThrownOnceEveryThreadHasStopped) {
    setThreadShare(3);
    std::atomic<int> ran{0};
    std::atomic<bool> thrown{false};
    EXPECT_THROW(forEachIndex(1000,
                              [&](std::size_t i) {
                                  ++ran;
                                  if (i == 0) {
                                      thrown = true;
                                      throw std::runtime_error("index 0");
                                  }
                                  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
                                  while (!thrown && std::chrono::steady_clock::now() < until)
                                      std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                  std::this_thread::sleep_for(std::chrono::milliseconds(50));
                              }),
                 std::runtime_error);
    const int settled = ran;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ran, settled);
    // The three threads' first indices.
    EXPECT_LE(settled, 3);
}

}  // namespace
}  // namespace orvex::writers
