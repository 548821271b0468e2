// What the window maps of the camera process's memory: only shared memory sealed at its size,
// never something that can shrink under the mapping and end the window when read.
#include "camera_protocol/shared_memory.h"

#include <QTemporaryFile>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

using camera_process::SharedMemory;
using camera_process::UniqueFd;

UniqueFd memfd(std::size_t size, unsigned seals) {
    UniqueFd fd(::memfd_create("test", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    EXPECT_EQ(::ftruncate(fd.get(), off_t(size)), 0);
    if (seals) {
        EXPECT_EQ(::fcntl(fd.get(), F_ADD_SEALS, seals), 0);
    }
    return fd;
}

TEST(SharedMemory, OnlyMemorySealedAgainstShrinkingIsMapped) {
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.resize(4096));
    const QString path = file.fileName();
    const struct {
        const char* what;
        std::function<UniqueFd()> fd;
        std::size_t size;
        bool mapped;
    } cases[] = {
        {"sealed", [] { return memfd(4096, F_SEAL_SHRINK | F_SEAL_GROW); }, 4096, true},
        {"an ordinary file", [&] { return UniqueFd(::open(qPrintable(path), O_RDONLY)); }, 4096,
         false},
        {"not sealed", [] { return memfd(4096, 0); }, 4096, false},
        {"smaller than said", [] { return memfd(4096, F_SEAL_SHRINK); }, 8192, false},
        {"nothing", [] { return UniqueFd(); }, 4096, false},
    };
    for (const auto& c : cases) {
        QString error;
        const SharedMemory memory = SharedMemory::map(c.fd(), c.size, &error);
        EXPECT_EQ(memory.isValid(), c.mapped) << c.what;
        EXPECT_EQ(error.isEmpty(), c.mapped) << c.what;
    }
}

} // namespace
