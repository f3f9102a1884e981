#include <gtest/gtest.h>

#include "base/Thread.h"

#include <atomic>
#include <stdexcept>

using namespace Velora;

namespace {

void Throws(void*)
{
    throw std::runtime_error("worker failed");
}

void Counts(void* counter)
{
    ++*static_cast<std::atomic<int>*>(counter);
}

void WaitsForRelease(void* gate)
{
    while (!static_cast<std::atomic<bool>*>(gate)->load()) Sleep(1);
}

TEST(VLThread, StartWithoutFunctionFails)
{
    VLThread thread(nullptr, nullptr);
    EXPECT_FALSE(thread.Start());
    EXPECT_FALSE(thread.data->handle.Valid());
    EXPECT_FALSE(thread.data->running);
}

TEST(VLThread, RunsTheFunctionOnceAndWaitCloses)
{
    std::atomic<int> counter{0};
    VLThread thread(Counts, &counter);
    ASSERT_TRUE(thread.Start());
    EXPECT_NE(0u, thread.data->threadId);
    EXPECT_FALSE(thread.Start()); // runs at most once
    thread.Wait();
    EXPECT_EQ(1, counter);
    EXPECT_FALSE(thread.data->handle.Valid());
    EXPECT_EQ(0u, thread.data->threadId);
    EXPECT_FALSE(thread.data->running);
    thread.Wait(); // returns at once
}

TEST(VLThread, RunningFollowsTheFunction)
{
    std::atomic<bool> gate{false};
    VLThread thread(WaitsForRelease, &gate);
    ASSERT_TRUE(thread.Start());
    EXPECT_TRUE(thread.data->running);
    gate = true;
    WaitForSingleObject(thread.data->handle.Get(), INFINITE);
    EXPECT_FALSE(thread.data->running);
}

TEST(VLThread, AThrowingFunctionEndsWithExitCodeOne)
{
    VLThread thread(Throws, nullptr);
    ASSERT_TRUE(thread.Start());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.data->handle.Get(), 10000));
    DWORD exitCode = 0;
    ASSERT_TRUE(GetExitCodeThread(thread.data->handle.Get(), &exitCode));
    EXPECT_EQ(1u, exitCode);
    EXPECT_FALSE(thread.data->running);

    std::atomic<int> counter{0};
    VLThread normal(Counts, &counter);
    ASSERT_TRUE(normal.Start());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(normal.data->handle.Get(), 10000));
    ASSERT_TRUE(GetExitCodeThread(normal.data->handle.Get(), &exitCode));
    EXPECT_EQ(0u, exitCode);
}

TEST(VLThread, DeletingHoldersOfRunningThreadsIsSafe)
{
    std::atomic<int> counter{0};
    for (int i = 0; i < 1000; ++i) {
        VLThread* thread = new VLThread(Counts, &counter);
        ASSERT_TRUE(thread->Start());
        DeleteThread(thread);
    }
    // The threads finish on their own; every one ran exactly once.
    for (int i = 0; i < 1000 && counter < 1000; ++i) Sleep(10);
    EXPECT_EQ(1000, counter);
}

} // namespace
