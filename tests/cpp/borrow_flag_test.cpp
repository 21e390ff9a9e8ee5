#include "bindings/borrow_flag.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace vorel::py {
namespace {

TEST(BorrowFlag, SharedBorrowsStackAndBlockExclusive) {
    BorrowFlag flag;
    ASSERT_TRUE(flag.try_acquire_shared());
    ASSERT_TRUE(flag.try_acquire_shared());
    EXPECT_EQ(flag.raw(), 2);
    EXPECT_FALSE(flag.try_acquire_exclusive());
    flag.release_shared();
    EXPECT_FALSE(flag.try_acquire_exclusive());
    flag.release_shared();
    EXPECT_EQ(flag.raw(), 0);
    EXPECT_TRUE(flag.try_acquire_exclusive());
}

TEST(BorrowFlag, ExclusiveBorrowBlocksEverythingUntilReleased) {
    BorrowFlag flag;
    ASSERT_TRUE(flag.try_acquire_exclusive());
    EXPECT_EQ(flag.raw(), BorrowFlag::kExclusive);
    EXPECT_FALSE(flag.try_acquire_shared());
    EXPECT_FALSE(flag.try_acquire_exclusive());
    EXPECT_EQ(flag.raw(), BorrowFlag::kExclusive);  // failed attempts change nothing
    flag.release_exclusive();
    EXPECT_TRUE(flag.try_acquire_shared());
    flag.release_shared();
    EXPECT_EQ(flag.raw(), 0);
}

}  // namespace
}  // namespace vorel::py
