#include "bindings/borrow_flag.hpp"

#include <gtest/gtest.h>

namespace vorel::py {
namespace {

// Shared borrows stack and block an exclusive one until the last is released;
// an exclusive borrow blocks everything, and failed attempts change nothing.
TEST(BorrowFlag, SharedAndExclusiveBorrowsExcludeEachOther) {
    BorrowFlag flag;
    ASSERT_TRUE(flag.try_acquire_shared());
    ASSERT_TRUE(flag.try_acquire_shared());
    EXPECT_EQ(flag.raw(), 2);
    EXPECT_FALSE(flag.try_acquire_exclusive());
    flag.release_shared();
    EXPECT_FALSE(flag.try_acquire_exclusive());
    flag.release_shared();
    ASSERT_TRUE(flag.try_acquire_exclusive());
    EXPECT_FALSE(flag.try_acquire_shared());
    EXPECT_FALSE(flag.try_acquire_exclusive());
    EXPECT_EQ(flag.raw(), BorrowFlag::kExclusive);
    flag.release_exclusive();
    EXPECT_TRUE(flag.try_acquire_shared());
    flag.release_shared();
    EXPECT_EQ(flag.raw(), 0);
}

}  // namespace
}  // namespace vorel::py
