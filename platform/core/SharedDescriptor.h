// A file descriptor shared by the values that hold it, closed with the last of them. A value; any
// thread (the descriptor itself is used as the system allows).
#pragma once

#include <memory>

class SharedDescriptor {
public:
    SharedDescriptor() = default;
    // Takes the descriptor over; a negative one holds nothing.
    explicit SharedDescriptor(int descriptor);

    // The descriptor; -1 when nothing is held.
    int get() const { return held_ ? held_->fd : -1; }
    explicit operator bool() const { return held_ != nullptr; }

private:
    struct Owner {
        int fd;
        explicit Owner(int descriptor) : fd(descriptor) {}
        Owner(const Owner&) = delete;
        Owner& operator=(const Owner&) = delete;
        ~Owner();
    };
    std::shared_ptr<const Owner> held_;
};
