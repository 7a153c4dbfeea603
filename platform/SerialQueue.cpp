#include "SerialQueue.h"

#include <future>
#include <pthread.h>

SerialQueue::SerialQueue(QString label) : label_(std::move(label)), thread_([this] { run(); }) {}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void SerialQueue::async(std::function<void()> work)
{
    {
        std::lock_guard lock(mutex_);
        work_.push_back(std::move(work));
    }
    wake_.notify_one();
}

void SerialQueue::sync(const std::function<void()>& work)
{
    if (isCurrent()) {
        work();
        return;
    }
    std::promise<void> done;
    async([&] {
        work();
        done.set_value();
    });
    done.get_future().wait();
}

void SerialQueue::waitUntilIdle()
{
    sync([] {});
}

void SerialQueue::run()
{
    // Linux limits thread names to 15 characters.
    pthread_setname_np(pthread_self(), label_.left(15).toUtf8().constData());
    for (;;) {
        std::function<void()> item;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !work_.empty(); });
            if (work_.empty())
                return; // stopping, and everything queued has run
            item = std::move(work_.front());
            work_.pop_front();
        }
        item();
    }
}
