#pragma once

#include <QtGlobal>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

// Work items made on a worker thread and taken on the calling thread in the order they were made,
// at most `capacity` of them waiting at a time. The worker makes items 0..count-1; the caller takes
// them in that order; an exception thrown while making item i reaches the caller when it would
// have taken item i, after every item before it. The caller ends the run early by returning false
// from take or by throwing; the worker stops at its next item and is joined before run returns.
template <typename T> class OrderedHandOff
{
public:
    using Make = std::function<T(qint64 index)>;
    using Take = std::function<bool(qint64 index, T& item)>;

    explicit OrderedHandOff(int capacity)
        : m_capacity(capacity < 1 ? 1 : capacity)
    {
    }

    // Makes and takes count items; rethrows what make or take threw.
    void run(qint64 count, const Make& make, const Take& take)
    {
        std::thread worker([&] { produce(count, make); });
        try {
            consume(count, take);
        } catch (...) {
            stop();
            worker.join();
            throw;
        }
        stop();
        worker.join();
    }

private:
    void produce(qint64 count, const Make& make)
    {
        for (qint64 i = 0; i < count; ++i) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_room.wait(lock, [&] { return m_stopped || int(m_items.size()) < m_capacity; });
            if (m_stopped)
                return;
            lock.unlock();
            try {
                T item = make(i);
                lock.lock();
                m_items.push_back(std::move(item));
            } catch (...) {
                lock.lock();
                m_failure = std::current_exception();
            }
            m_ready.notify_one();
            if (m_failure)
                return;
        }
    }

    void consume(qint64 count, const Take& take)
    {
        for (qint64 i = 0; i < count; ++i) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_ready.wait(lock, [&] { return !m_items.empty() || m_failure; });
            if (m_items.empty())
                std::rethrow_exception(m_failure);
            T item = std::move(m_items.front());
            m_items.pop_front();
            lock.unlock();
            m_room.notify_one();
            if (!take(i, item))
                return;
        }
    }

    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopped = true;
        }
        m_room.notify_all();
    }

    const int m_capacity;
    std::mutex m_mutex;
    std::condition_variable m_room; // the worker waits here while the queue is full
    std::condition_variable m_ready; // the caller waits here while it is empty
    std::deque<T> m_items;
    std::exception_ptr m_failure;
    bool m_stopped = false;
};
