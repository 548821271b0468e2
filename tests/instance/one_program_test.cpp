#include "instance/one_program.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cstddef>
#include <cstring>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using instance::OneProgram;

// A second claim of the same folder, however it is spelt, reaches the first, which is asked to
// show itself; another folder is a program of its own.
TEST(OneProgram, ASecondCopyOfTheFolderRaisesTheFirst) {
    QTemporaryDir folder, other;
    OneProgram first;
    ASSERT_EQ(first.claim(folder.path()), OneProgram::Claim::Ours);
    QSignalSpy raised(&first, &OneProgram::raiseRequested);
    OneProgram second;
    EXPECT_EQ(second.claim(folder.path() + QStringLiteral("/./")), OneProgram::Claim::OtherRaised);
    EXPECT_TRUE(raised.wait(2000));
    OneProgram elsewhere;
    EXPECT_EQ(elsewhere.claim(other.path()), OneProgram::Claim::Ours);
    // Anyone else on the machine may connect: a word other than the request, or silence, or
    // more clients than are listened to at once, raise nothing and hold nothing up.
    const QByteArray name = instance::socketName(folder.path());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.constData(), std::size_t(name.size()));
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + std::size_t(name.size()));
    std::vector<int> strangers;
    for (const QByteArray said : {"raise now\n", "", "", "", "", "", "rais"}) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), length), 0);
        if (!said.isEmpty()) (void)!::write(fd, said.constData(), std::size_t(said.size()));
        strangers.push_back(fd);
    }
    QTest::qWait(1500); // past the second a silent client is given
    EXPECT_EQ(raised.count(), 1);
    for (const int fd : strangers)
        ::close(fd);
    OneProgram third;
    EXPECT_EQ(third.claim(folder.path()), OneProgram::Claim::OtherRaised);
    EXPECT_TRUE(raised.wait(2000));
}

// A program killed outright leaves the folder free for the next start.
TEST(OneProgram, AKilledProgramHoldsNothing) {
    QTemporaryDir folder;
    // The child holds the folder's name as the program does, with nothing but system calls
    // (safe after a fork).
    const QByteArray name = instance::socketName(folder.path());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.constData(), std::size_t(name.size()));
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + std::size_t(name.size()));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const char answer = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 &&
                                    ::listen(fd, 8) == 0
                                ? 'y'
                                : 'n';
        (void)!::write(ready[1], &answer, 1);
        ::pause();
        ::_exit(0);
    }
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ASSERT_EQ(answer, 'y');
    {
        OneProgram second;
        EXPECT_EQ(second.claim(folder.path()), OneProgram::Claim::OtherRaised);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    OneProgram next;
    EXPECT_EQ(next.claim(folder.path()), OneProgram::Claim::Ours);
    ::close(ready[0]);
    ::close(ready[1]);
}

} // namespace
