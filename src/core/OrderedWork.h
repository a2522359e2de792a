#pragma once

#include <QtGlobal>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

/// Jobs handed over in order, done on every core, and finished one at a time in the order they
/// were handed over: packing a book's pages or records while the caller builds the next ones,
/// and writing them to the file in order. Memory stays bounded: hand() waits while the jobs not
/// yet finished weigh `limit` or more.
///
/// `work` runs on any worker thread, without the lock, with that thread's own `State` (a
/// compressor, say). `finish` runs on one thread at a time, in order; what it writes is seen by
/// the caller once drain() or stop() has returned. When it returns false the work has failed:
/// no other job is finished and hand() refuses more.
template <typename Job, typename State = int>
class OrderedWork {
public:
    OrderedWork(qsizetype limit, std::function<void(Job&, State&)> work, std::function<bool(Job&)> finish)
        : m_limit(limit), m_work(std::move(work)), m_finish(std::move(finish))
    {
    }
    ~OrderedWork() { stop(); }
    OrderedWork(const OrderedWork&) = delete;
    OrderedWork& operator=(const OrderedWork&) = delete;

    /// Starts a worker per core, up to `maxThreads`.
    void start(unsigned maxThreads)
    {
        const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, maxThreads);
        for (unsigned i = 0; i < threads; ++i) {
            m_threads.emplace_back([this] { run(); });
        }
    }

    bool started() const { return !m_threads.empty(); }

    /// Hands over a job weighing `weight`; false when the work has failed or is not running.
    bool hand(std::unique_ptr<Job> job, qsizetype weight)
    {
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, [this] { return m_failed || m_inFlight < m_limit; });
        if (m_failed || m_threads.empty()) {
            return false;
        }
        m_inFlight += weight;
        m_jobs.push_back({std::move(job), weight, false});
        m_ready.notify_one();
        return true;
    }

    /// Waits until every job handed over is finished, then stops the workers; false when the
    /// work failed (or was abandoned).
    bool drain()
    {
        {
            std::unique_lock lock(m_mutex);
            m_room.wait(lock, [this] { return m_failed || m_jobs.empty(); });
        }
        stop();
        return !m_failed;
    }

    /// Fails the work: the workers finish the job in hand and take no other.
    void abandon()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_failed = true;
        }
        m_room.notify_all();
        stop();
        m_jobs.clear();
    }

    /// Stops the workers once the jobs handed over are done (all of them, unless failed).
    void stop()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_ready.notify_all();
        for (std::thread& t : m_threads) {
            t.join();
        }
        m_threads.clear();
    }

private:
    struct Slot {
        std::unique_ptr<Job> job;
        qsizetype weight;
        bool done;
    };

    void run()
    {
        State state{};
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_ready.wait(lock, [this] { return m_stop || m_taken < m_jobs.size(); });
            if (m_taken == m_jobs.size() || (m_stop && m_failed)) {
                return;
            }
            Slot& slot = m_jobs[m_taken++];
            Job& job = *slot.job;
            lock.unlock();
            m_work(job, state);
            lock.lock();
            // A deque keeps its elements in place as others are added or taken from the front;
            // this slot cannot leave before it is done.
            slot.done = true;
            if (!m_finishing) {
                finishDone(lock);
            }
        }
    }

    // Finishes the done jobs at the front, in order. Called with the lock held; the lock is let
    // go while a job is finished.
    void finishDone(std::unique_lock<std::mutex>& lock)
    {
        m_finishing = true;
        while (!m_failed && !m_jobs.empty() && m_jobs.front().done) {
            Slot slot = std::move(m_jobs.front());
            m_jobs.pop_front();
            --m_taken;
            lock.unlock();
            const bool ok = m_finish(*slot.job);
            slot.job.reset();
            lock.lock();
            m_inFlight -= slot.weight;
            m_failed = m_failed || !ok;
            m_room.notify_all();
        }
        m_finishing = false;
    }

    const qsizetype m_limit;
    const std::function<void(Job&, State&)> m_work;
    const std::function<bool(Job&)> m_finish;

    std::mutex m_mutex;
    std::condition_variable m_ready; // a job to do, or the end
    std::condition_variable m_room;  // a job finished, or a failure
    std::deque<Slot> m_jobs;         // handed over and not yet finished, in order
    size_t m_taken = 0;              // jobs at the front that a worker has taken
    qsizetype m_inFlight = 0;        // the weight of m_jobs
    bool m_finishing = false;        // a worker is finishing done jobs
    bool m_stop = false;
    bool m_failed = false;
    std::vector<std::thread> m_threads;
};
