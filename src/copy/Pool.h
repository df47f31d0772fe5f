#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The /MT workers: n threads take jobs from a bounded queue while the walk
// goes on. The walk waits when the queue is full, so memory stays bounded
// by what is queued, whatever the size of the tree.
namespace copy {

class Pool
{
public:
    using Job = std::function<void()>;

    Pool(unsigned workers, size_t capacity);
    ~Pool(); // finishes every queued job, then joins
    Pool(const Pool &) = delete;
    Pool &operator=(const Pool &) = delete;

    // Queues a job; blocks while the queue is full.
    void post(Job job);
    // Puts a short job first in the queue, never blocking (the walk's share
    // of work it waits for itself, such as the stats of a listing).
    void postFirst(Job job);
    unsigned workers() const { return unsigned(m_threads.size()); }
    // Returns once every job posted so far has finished.
    void drain();

private:
    void work();

    std::mutex m_mutex;
    std::condition_variable m_hasWork;
    std::condition_variable m_hasRoom;
    std::condition_variable m_idle;
    std::deque<Job> m_queue;
    size_t m_capacity;
    size_t m_running = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace copy
