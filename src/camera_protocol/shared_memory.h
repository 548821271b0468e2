#pragma once

#include "camera_protocol/message.h"

#include <QString>
#include <cstddef>

namespace camera_process {

// Memory both processes map: an anonymous file (memfd) whose descriptor travels with a message.
// Pictures cross between the processes this way, never through the socket.
class SharedMemory {
public:
    SharedMemory() = default;
    ~SharedMemory() { reset(); }
    SharedMemory(SharedMemory&& other) noexcept;
    SharedMemory& operator=(SharedMemory&& other) noexcept;

    // A new block of `size` bytes, mapped for writing.
    static SharedMemory create(std::size_t size, QString* error);
    // Maps the block behind `fd` (taken over) for reading, checking it holds `size` bytes.
    static SharedMemory map(UniqueFd fd, std::size_t size, QString* error);

    bool isValid() const { return data_ != nullptr; }
    unsigned char* data() const { return static_cast<unsigned char*>(data_); }
    std::size_t size() const { return size_; }
    int fd() const { return fd_.get(); }
    void reset();

private:
    SharedMemory(UniqueFd fd, void* data, std::size_t size)
        : fd_(std::move(fd)), data_(data), size_(size) {}

    UniqueFd fd_;
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace camera_process
