// A serial work queue: one worker thread that runs queued work items in the order they were queued.
// Work may be queued from any thread. sync() runs an item and waits for it (and so for everything
// queued before it); calling it from the queue's own thread runs the item inline instead of
// deadlocking. Destruction finishes the queued work, then joins the thread; a queue destroyed by its
// own worker (its last owner let go inside a work item) lets the worker finish on its own instead.
#pragma once

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class SerialQueue {
public:
    explicit SerialQueue(QString label);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const QString& label() const { return label_; }
    void async(std::function<void()> work);
    void sync(const std::function<void()>& work);
    // Waits until everything queued so far has run.
    void waitUntilIdle();
    // Nothing is queued or running (a snapshot: work may be queued right after).
    bool isIdle() const;
    bool isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    // What the worker uses; shared so that it outlives a queue destroyed from the worker itself.
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<std::function<void()>> work;
        size_t outstanding = 0; // queued or running
        bool stopping = false;
    };
    static void run(std::shared_ptr<State> state, QString label);

    QString label_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
    std::thread thread_;
};
