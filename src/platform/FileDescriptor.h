#pragma once

namespace tarnwick {

// A file descriptor owned by one scope: closed when it goes out of scope,
// unless released first.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes the descriptor held (if any) and takes fd.
    void reset(int fd = -1);
    // Gives the descriptor up without closing it (something else closes it now).
    int release();
    // Closes now and reports the close's own failure: 0 or the errno value.
    int close();

private:
    int fd_ = -1;
};

}  // namespace tarnwick
