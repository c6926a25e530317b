// A batch made durable while another program has much written that the system has not yet
// put on the disk: the batch does not wait for that data. This executable runs alone: a
// sync of the file system by any other test would write the data out and hide what this
// one looks at.
#include "platform/posix/UnwrittenData.h"

#include "platform/FileBatch.h"
#include "support/TempFolder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace ornel::test
{

namespace fs = std::filesystem;

TEST(UnwrittenData, IsDirtyAndWritebackOfTheSystemsMemoryReport)
{
    EXPECT_EQ(UnwrittenBytesIn("MemTotal:  24000 kB\nDirty:      12 kB\nWriteback:     3 kB\n"), 15 * 1024);
    EXPECT_EQ(UnwrittenBytesIn("WritebackTmp:  9 kB\nDirty: 1 kB"), 1024) << "another value's longer name";
    EXPECT_FALSE(UnwrittenBytesIn("MemTotal: 100 kB\n"));
    EXPECT_FALSE(UnwrittenBytesIn("Dirty: lots\n"));
    EXPECT_FALSE(UnwrittenBytesIn("Dirty: 12"));
    EXPECT_TRUE(UnwrittenBytes());
}

TEST(FileBatch, DoesNotWaitForDataThatOtherProgramsHaveNotYetWritten)
{
    TempFolder t;
    // Another program's 192 MiB, written and left to the system to put on the disk.
    {
        const int fd = ::open((t / "other").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        const std::string block(1 << 20, 'x');
        for (int i = 0; i < 192; ++i) {
            ASSERT_EQ(::write(fd, block.data(), block.size()), static_cast<ssize_t>(block.size()));
        }
        ::close(fd);
    }
    const auto before = UnwrittenBytes();
    ASSERT_TRUE(before);
    if (*before < (176LL << 20)) {
        GTEST_SKIP() << "this system put the other program's data on the disk at once";
    }

    fs::create_directory(t / "to");
    FileBatch batch;
    std::vector<FileBatch::Item> items;
    for (const char* name : {"a", "b", "c"}) {
        WriteFile(t / name, name);
        const auto item = batch.StageCopy(t / name, t / "to" / name);
        ASSERT_TRUE(item);
        items.push_back(*item);
    }
    batch.Place();
    for (const FileBatch::Item item : items) {
        EXPECT_TRUE(batch.Placed(item));
    }
    EXPECT_EQ(ReadFile(t / "to" / "b"), "b");
    const auto after = UnwrittenBytes();
    ASSERT_TRUE(after);
    // The system may start writing some of it meanwhile on its own; a sync of the whole file
    // system would have written all of it.
    EXPECT_GT(*after, *before / 2) << "the batch's sync wrote the other program's data as well";
}

} // namespace ornel::test
