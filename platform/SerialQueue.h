// A serial work queue: one worker thread that runs queued work items in the order they were queued.
// Work may be queued from any thread. sync() runs an item and waits for it (and so for everything
// queued before it); calling it from the queue's own thread runs the item inline instead of
// deadlocking. Destruction finishes the queued work, then joins the thread. Owned by whoever made it.
#pragma once

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
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
    bool isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    void run();

    QString label_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> work_;
    bool stopping_ = false;
    std::thread thread_;
};
