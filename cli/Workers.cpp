#include "cli/Workers.h"

#include "cli/WorkerProcess.h"

#include <memory>

namespace orvex::cli {

namespace {

struct Running {
    std::size_t task = 0;
    std::size_t step = 0;
    std::unique_ptr<WorkerProcess> process;
    TaskResult result;
};

}  // namespace

void runTasks(const std::vector<Task>& tasks, unsigned parallel,
              const std::function<void(std::size_t)>& started,
              const std::function<void(std::size_t, TaskResult)>& finished, const std::function<void()>& tick,
              const std::function<bool()>& stopRequested) {
    std::vector<Running> running;
    std::size_t next = 0;

    // Starts the step, or, when there is none left or it cannot start, ends
    // the task. Returns true while the task runs.
    auto startStep = [&](Running& worker) {
        const std::vector<Command>& steps = tasks[worker.task].steps;
        if (worker.step == steps.size()) {
            worker.result.succeeded = true;
            finished(worker.task, std::move(worker.result));
            return false;
        }
        std::string why;
        worker.result.errorOutputs.emplace_back();
        worker.process = WorkerProcess::start(steps[worker.step], why);
        if (worker.process) {
            worker.result.ran = true;
            return true;
        }
        worker.result.exitStatus = -1;
        worker.result.failure = why;
        finished(worker.task, std::move(worker.result));
        return false;
    };

    while (next < tasks.size() || !running.empty()) {
        if (stopRequested()) {
            for (Running& worker : running) {
                worker.process->kill();
                worker.result.errorOutputs.back() = worker.process->takeErrorOutput();
                worker.result.exitStatus = -1;
                worker.result.failure = "stopped";
                worker.result.stopped = true;
                finished(worker.task, std::move(worker.result));
            }
            return;
        }
        while (running.size() < parallel && next < tasks.size()) {
            Running worker;
            worker.task = next++;
            started(worker.task);
            if (startStep(worker)) running.push_back(std::move(worker));
        }
        if (running.empty()) continue;

        std::vector<WorkerProcess*> processes;
        for (const Running& worker : running) processes.push_back(worker.process.get());
        bool ticked = false;
        std::vector<WorkerProcess::Ended> ended =
            WorkerProcess::waitForAny(processes, static_cast<bool>(tick), ticked);
        if (ticked && tick) tick();

        // Back to front, so that erasing a worker leaves the indices still
        // to visit in place.
        for (auto it = ended.rbegin(); it != ended.rend(); ++it) {
            Running& worker = running[it->worker];
            worker.result.errorOutputs.back() = worker.process->takeErrorOutput();
            worker.process.reset();
            bool stillRunning = false;
            if (it->exitStatus == 0) {
                ++worker.step;
                stillRunning = startStep(worker);
            } else {
                worker.result.exitStatus = it->exitStatus;
                worker.result.failure = it->failure;
                finished(worker.task, std::move(worker.result));
            }
            if (!stillRunning) running.erase(running.begin() + static_cast<std::ptrdiff_t>(it->worker));
        }
    }
}

}  // namespace orvex::cli
