#include "copy/Pool.h"

namespace copy {

Pool::Pool(unsigned workers, size_t capacity) : m_capacity(capacity ? capacity : 1)
{
    m_threads.reserve(workers);
    for (unsigned i = 0; i < workers; ++i)
        m_threads.emplace_back([this] { work(); });
}

Pool::~Pool()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_hasWork.notify_all();
    for (std::thread &t : m_threads)
        t.join();
}

void Pool::post(Job job)
{
    std::unique_lock lock(m_mutex);
    m_hasRoom.wait(lock, [this] { return m_queue.size() < m_capacity; });
    m_queue.push_back(std::move(job));
    lock.unlock();
    m_hasWork.notify_one();
}

void Pool::postFirst(Job job)
{
    {
        const std::lock_guard lock(m_mutex);
        m_queue.push_front(std::move(job));
    }
    m_hasWork.notify_one();
}

void Pool::drain()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_queue.empty() && m_running == 0; });
}

void Pool::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_hasWork.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty())
            return; // stopping, and nothing left
        Job job = std::move(m_queue.front());
        m_queue.pop_front();
        ++m_running;
        lock.unlock();
        m_hasRoom.notify_one();
        job();
        job = nullptr; // what it holds goes before the count says done
        lock.lock();
        --m_running;
        if (m_queue.empty() && m_running == 0)
            m_idle.notify_all();
    }
}

} // namespace copy
