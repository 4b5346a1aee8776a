// A fixed set of threads that run one job at a time, each worker with its
// own index, while the thread that started the job may do other work.
#pragma once
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class WorkerPool {
public:
    explicit WorkerPool(int workers);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int size() const { return int(threads_.size()); }
    // Starts job(worker) on every worker and returns at once.
    void start(std::function<void(int)> job);
    // Waits until every worker has finished the job started last.
    void wait();
    void run(std::function<void(int)> job) {
        start(std::move(job));
        wait();
    }

private:
    void loop(int index);

    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_, finished_;
    std::function<void(int)> job_;
    unsigned long generation_ = 0;
    int pending_ = 0;
    bool stopping_ = false;
};
