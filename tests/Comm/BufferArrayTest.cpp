#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "BufferArray.h"

TEST(CBufferArrayTest, JoinsChunksInArrivalOrder) {
    CBufferArray chunks;
    EXPECT_EQ(chunks.AddBuffer("ab", 2), 0);
    EXPECT_EQ(chunks.AddBuffer("", 0), 0);
    EXPECT_EQ(chunks.AddBuffer("c\0d", 3), 0);
    EXPECT_EQ(chunks.GetAllBufferSize(), 5u);
    char out[8] = {};
    EXPECT_EQ(chunks.RecvBuffer(out, 4), 4u);  // cut at the caller's size
    EXPECT_EQ(std::string(out, 4), std::string("abc\0", 4));
    char* joined = chunks.JoinToCString();
    ASSERT_NE(joined, nullptr);
    EXPECT_EQ(std::string(joined, 6), std::string("abc\0d\0", 6));
    free(joined);
    chunks.Clear();
    EXPECT_EQ(chunks.GetAllBufferSize(), 0u);
}
