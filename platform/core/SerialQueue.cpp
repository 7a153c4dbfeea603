#include "SerialQueue.h"

#include <future>
#include <pthread.h>

SerialQueue::SerialQueue(QString label) : label_(std::move(label)), thread_(&SerialQueue::run, state_, label_) {}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    state_->wake.notify_one();
    if (isCurrent())
        thread_.detach();
    else
        thread_.join();
}

void SerialQueue::async(std::function<void()> work)
{
    {
        std::lock_guard lock(state_->mutex);
        state_->work.push_back(std::move(work));
        ++state_->outstanding;
    }
    state_->wake.notify_one();
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

bool SerialQueue::isIdle() const
{
    std::lock_guard lock(state_->mutex);
    return state_->outstanding == 0;
}

void SerialQueue::waitUntilIdle()
{
    {
        // Nothing queued or running: whatever ran finished before the count dropped, under this lock.
        std::lock_guard lock(state_->mutex);
        if (state_->outstanding == 0)
            return;
    }
    sync([] {});
}

void SerialQueue::run(std::shared_ptr<State> state, QString label)
{
    // Linux limits thread names to 15 characters.
    pthread_setname_np(pthread_self(), label.left(15).toUtf8().constData());
    for (;;) {
        std::function<void()> item;
        {
            std::unique_lock lock(state->mutex);
            state->wake.wait(lock, [&] { return state->stopping || !state->work.empty(); });
            if (state->work.empty())
                return; // stopping, and everything queued has run
            item = std::move(state->work.front());
            state->work.pop_front();
        }
        item();
        item = nullptr; // what the work held goes before it counts as done
        std::lock_guard lock(state->mutex);
        --state->outstanding;
    }
}
