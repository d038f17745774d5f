#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "FileDnsBackupStore.h"
#include "HostFiles.h"

TEST(CFileDnsBackupStoreTest, KeepsAPrivateFileAndReadsBackOnlyWhatCanBeOurs) {
    TempDir dir;
    const std::string path = dir / "conf/resolv.backup";
    CFileDnsBackupStore store(path.c_str());
    EXPECT_STREQ(store.Load().c_str(), "");
    ASSERT_TRUE(store.Save("nameserver 10.1.1.1"));
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_STREQ(CFileDnsBackupStore(path.c_str()).Load().c_str(), "nameserver 10.1.1.1");
    ASSERT_TRUE(store.Clear());
    EXPECT_TRUE(store.Clear());
    EXPECT_STREQ(store.Load().c_str(), "");

    WriteFile(path, std::string(CFileDnsBackupStore::kMaxSize + 1, 'x'));
    EXPECT_STREQ(store.Load().c_str(), "");
    // A FIFO under the name must not hang the service waiting for a writer.
    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    EXPECT_STREQ(store.Load().c_str(), "");
    EXPECT_FALSE(CFileDnsBackupStore("").Save("x"));
}
