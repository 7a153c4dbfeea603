// A value read and written whole under its own lock: the "atomic property" of a plain value that is
// too large for std::atomic (times, ranges, lists). Copies in, copies out; never hands out a reference.
#pragma once

#include <mutex>

template <typename T> class Locked {
public:
    Locked() = default;
    explicit Locked(T value) : value_(std::move(value)) {}

    T get() const
    {
        std::lock_guard lock(mutex_);
        return value_;
    }
    void set(T value)
    {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
    }
    // Runs f on the value under the lock (for changes that read what they change).
    template <typename F> auto update(F&& f)
    {
        std::lock_guard lock(mutex_);
        return f(value_);
    }

private:
    mutable std::mutex mutex_;
    T value_{};
};
