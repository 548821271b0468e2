#include "camera_protocol/shared_memory.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace camera_process {

namespace {

SharedMemory failed(QString* error, const char* what) {
    if (error)
        *error = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                              QString::fromLocal8Bit(std::strerror(errno)));
    return {};
}

} // namespace

SharedMemory::SharedMemory(SharedMemory&& other) noexcept
    : fd_(std::move(other.fd_)), data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

SharedMemory& SharedMemory::operator=(SharedMemory&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = std::move(other.fd_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

SharedMemory SharedMemory::create(std::size_t size, QString* error) {
    UniqueFd fd(::memfd_create("lumivex-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!fd) return failed(error, "No shared memory");
    // Sealed at its size: the reader can trust it never shrinks under its mapping.
    if (::ftruncate(fd.get(), off_t(size)) != 0 ||
        ::fcntl(fd.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0)
        return failed(error, "No shared memory");
    void* data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
    if (data == MAP_FAILED) return failed(error, "No shared memory");
    return SharedMemory(std::move(fd), data, size);
}

SharedMemory SharedMemory::map(UniqueFd fd, std::size_t size, QString* error) {
    struct stat info {};
    // The other process says how much it wrote; the block must really be that large, and stay
    // so, or reading past its end would end this process: only shared memory sealed against
    // shrinking will do (anything else, an ordinary file say, has no seals to ask for).
    const int seals = fd ? ::fcntl(fd.get(), F_GET_SEALS) : -1;
    if (!fd || size == 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || seals < 0 ||
        !(seals & F_SEAL_SHRINK) || info.st_size < 0 || std::size_t(info.st_size) < size) {
        errno = EINVAL;
        return failed(error, "Shared memory of the wrong kind or size");
    }
    void* data = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd.get(), 0);
    if (data == MAP_FAILED) return failed(error, "Shared memory cannot be read");
    // The mapping holds the memory; the descriptor is not needed any more.
    return SharedMemory(UniqueFd(), data, size);
}

void SharedMemory::reset() {
    if (data_) ::munmap(data_, size_);
    data_ = nullptr;
    size_ = 0;
    fd_.reset();
}

} // namespace camera_process
