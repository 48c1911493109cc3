// Worker processes as a batch runs them, on this system: steps in turn,
// each worker's standard error and status, and a stop that ends them all.
// The workers are this project's own program, which runs on every system.

#include "cli/Workers.h"

#include <gmock/gmock.h>

#include <string>
#include <vector>

namespace {

using orvex::cli::Command;
using orvex::cli::runTasks;
using orvex::cli::Task;
using orvex::cli::TaskResult;
using ::testing::HasSubstr;

const Command kSucceeds{ORVEX_PROGRAM, "--version"};
const Command kRefused{ORVEX_PROGRAM, "--frobnicate"};  // a usage error: status 2 and one line
const Command kMissing{ORVEX_PROGRAM ".missing"};

std::vector<TaskResult> runAll(const std::vector<Task>& tasks, unsigned parallel) {
    std::vector<TaskResult> results(tasks.size());
    std::vector<bool> finished(tasks.size());
    runTasks(
        tasks, parallel, [](std::size_t) {},
        [&](std::size_t task, TaskResult result) {
            EXPECT_FALSE(finished[task]) << "task " << task << " finished twice";
            finished[task] = true;
            results[task] = std::move(result);
        },
        nullptr, [] { return false; });
    return results;
}

TEST(Workers, RunEachTasksStepsInTurnAndTellHowEachEnded) {
    const std::vector<Task> tasks = {
        {{kSucceeds, kSucceeds}},
        {{kRefused, kSucceeds}},
        {{kSucceeds, kMissing}},
        {{}},
    };
    for (unsigned parallel : {1u, 3u}) {
        SCOPED_TRACE(parallel);
        const std::vector<TaskResult> results = runAll(tasks, parallel);

        EXPECT_TRUE(results[0].succeeded);
        EXPECT_EQ(results[0].errorOutputs, (std::vector<std::string>{"", ""}));

        // A failed step ends its task; its line arrives with "\n" line ends.
        EXPECT_FALSE(results[1].succeeded);
        EXPECT_EQ(results[1].exitStatus, 2);
        ASSERT_EQ(results[1].errorOutputs.size(), 1u);
        EXPECT_THAT(results[1].errorOutputs[0], ::testing::EndsWith("(see --help)\n"));
        EXPECT_THAT(results[1].errorOutputs[0], ::testing::Not(HasSubstr("\r")));
        EXPECT_EQ(results[1].failure, "the worker ended with status 2");

        EXPECT_FALSE(results[2].succeeded);
        EXPECT_EQ(results[2].exitStatus, -1);
        EXPECT_THAT(results[2].failure, HasSubstr("cannot start a worker"));

        EXPECT_TRUE(results[3].succeeded);
        for (const TaskResult& result : results) EXPECT_FALSE(result.stopped);
    }
}

TEST(Workers, StopEveryRunningWorkerAndStartNoMore) {
    const std::vector<Task> tasks(6, Task{{kSucceeds, kSucceeds, kSucceeds}});
    std::size_t started = 0;
    std::vector<TaskResult> results(tasks.size());
    std::vector<bool> finished(tasks.size());
    runTasks(
        tasks, 2, [&](std::size_t) { ++started; },
        [&](std::size_t task, TaskResult result) {
            finished[task] = true;
            results[task] = std::move(result);
        },
        nullptr, [&] { return started >= 2; });
    EXPECT_EQ(started, 2u);
    for (std::size_t task = 0; task < 2; ++task) {
        EXPECT_TRUE(finished[task]) << task;
        EXPECT_TRUE(results[task].stopped) << task;
        EXPECT_FALSE(results[task].succeeded) << task;
    }
    for (std::size_t task = 2; task < tasks.size(); ++task) EXPECT_FALSE(finished[task]) << task;
}

}  // namespace
