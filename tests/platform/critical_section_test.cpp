// Critical sections: recursive for their owner, exclusive for others.

#include "platform/sync.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

BOOL tryEnterFromAnotherThread(CRITICAL_SECTION* section)
{
    BOOL entered = FALSE;
    std::thread other([&] {
        entered = TryEnterCriticalSection(section);
        if (entered)
            LeaveCriticalSection(section);
    });
    other.join();
    return entered;
}

TEST(CriticalSection, IsRecursiveForItsOwner)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    EXPECT_TRUE(TryEnterCriticalSection(&section));
    EXPECT_FALSE(tryEnterFromAnotherThread(&section));

    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);
    EXPECT_FALSE(tryEnterFromAnotherThread(&section)) << "still held once";
    LeaveCriticalSection(&section);
    EXPECT_TRUE(tryEnterFromAnotherThread(&section));
    DeleteCriticalSection(&section);
    EXPECT_EQ(section.impl, nullptr);
}

TEST(CriticalSection, ExcludesOtherThreads)
{
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    long counter = 0;  // deliberately not atomic: the section guards it
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                EnterCriticalSection(&section);
                EnterCriticalSection(&section);
                ++counter;
                LeaveCriticalSection(&section);
                LeaveCriticalSection(&section);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(counter, 80000);
    DeleteCriticalSection(&section);
}

}  // namespace
