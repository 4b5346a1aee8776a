#include "tools/trainer/worker_pool.h"

WorkerPool::WorkerPool(int workers) {
    for (int i = 0; i < workers; i++) threads_.emplace_back(&WorkerPool::loop, this, i);
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void WorkerPool::start(std::function<void(int)> job) {
    {
        std::lock_guard lock(mutex_);
        job_ = std::move(job);
        pending_ = size();
        generation_++;
    }
    wake_.notify_all();
}

void WorkerPool::wait() {
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [this] { return pending_ == 0; });
}

void WorkerPool::loop(int index) {
    unsigned long seen = 0;
    while (true) {
        std::function<void(int)> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
            if (stopping_) return;
            seen = generation_;
            job = job_;
        }
        job(index);
        {
            std::lock_guard lock(mutex_);
            if (--pending_ == 0) finished_.notify_all();
        }
    }
}
