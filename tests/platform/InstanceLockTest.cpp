#include "platform/InstanceLock.h"

#include "support/TempFolder.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace ornel::test
{
namespace
{

TEST(InstanceLock, HeldForTheObjectsLifeWithTheHoldersIdAndNotInheritedByChildren)
{
    TempFolder folder;
    const auto store = folder / "store" / "nested"; // created on the way
    std::int64_t holder = -1;
    auto first = InstanceLock::TryAcquire(store, holder);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(holder, 0);
    EXPECT_EQ(ReadFile(store / InstanceLock::kFileName), std::to_string(::getpid()) + "\n");

    // A second holder, in this process as in any other, is refused and told who holds it.
    EXPECT_EQ(InstanceLock::TryAcquire(store, holder), nullptr);
    EXPECT_EQ(holder, ::getpid());

    // A child started meanwhile (the encryption program) must not keep the lock alive.
    pid_t child = -1;
    char sleepPath[] = "/bin/sleep";
    char seconds[] = "30";
    char* argv[] = {sleepPath, seconds, nullptr};
    ASSERT_EQ(posix_spawn(&child, sleepPath, nullptr, nullptr, argv, environ), 0);
    first.reset();
    auto second = InstanceLock::TryAcquire(store, holder);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_NE(second, nullptr);
    // The new holder's id replaced a longer or shorter old one completely.
    EXPECT_EQ(ReadFile(store / InstanceLock::kFileName), std::to_string(::getpid()) + "\n");
}

TEST(InstanceLock, ALockFileMadeInASharedStoreOpensForTheWholeGroup)
{
    TempFolder folder;
    const mode_t saved = umask(0007);
    std::int64_t holder = 0;
    auto lock = InstanceLock::TryAcquire(folder.Path(), holder);
    umask(saved);
    ASSERT_NE(lock, nullptr);
    struct stat st
    {
    };
    ASSERT_EQ(stat((folder / InstanceLock::kFileName).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);
}

TEST(InstanceLock, AFolderThatCannotHoldTheFileIsAnError)
{
    TempFolder folder;
    WriteFile(folder / "file", "not a folder");
    std::int64_t holder = 0;
    EXPECT_THROW(static_cast<void>(InstanceLock::TryAcquire(folder / "file", holder)), std::runtime_error);
}

} // namespace
} // namespace ornel::test
