#include "app/HarrowStatusSink.h"

#include "tests/app/StatusWindow.h"

#include <gtest/gtest.h>

namespace Velora {
namespace {

using Test::StatusWindow;

HarrowStatusRecord Begin(int32_t rows)
{
    return HarrowStatusRecord::MakePair(HarrowStatusType::STATUS_DETECT_BEGIN, rows);
}

TEST(HarrowStatusSink, RecordsOfAnOlderRunAreDropped)
{
    StatusWindow window;
    const uint32_t first = window.sink->BeginRun();
    EXPECT_TRUE(window.sink->Push(first, Begin(1)));
    const uint32_t second = window.sink->BeginRun();
    EXPECT_FALSE(window.sink->Push(first, Begin(2)));
    EXPECT_TRUE(window.sink->Push(second, Begin(3)));
    EXPECT_TRUE(window.sink->IsCancelled(first));
    EXPECT_FALSE(window.sink->IsCancelled(second));
    window.Pump();
    // The first record's message finds only the newer run's record.
    EXPECT_EQ(window.Trace(), "1(3,0)");
    EXPECT_EQ(window.emptyMessages, 1);

    window.sink->CancelRun();
    EXPECT_TRUE(window.sink->IsCancelled(second));
    EXPECT_FALSE(window.sink->IsCancelled(window.sink->BeginRun()));
}

TEST(HarrowStatusSink, NothingIsQueuedOrPostedOnceTheWindowIsGone)
{
    StatusWindow window;
    const uint32_t run = window.sink->BeginRun();
    window.sink->SetWindow(nullptr);
    EXPECT_FALSE(window.sink->Push(run, Begin(1)));
    window.Pump();
    HarrowStatusRecord record;
    EXPECT_FALSE(window.sink->Pop(record));
    EXPECT_EQ(window.Trace(), "");
    EXPECT_EQ(window.emptyMessages, 0);
}

TEST(HarrowStatusRecord, NamesAreCutTo255Characters)
{
    for (size_t length : {0u, 255u, 256u, 300u}) {
        const HarrowStatusRecord record =
            HarrowStatusRecord::MakeNamed(HarrowStatusType::STATUS_DOWNLOAD_BEGIN, 7, std::wstring(length, L'x'));
        EXPECT_EQ(record.payload.named.value1, 7);
        EXPECT_EQ(std::wstring(record.payload.named.name), std::wstring(std::min<size_t>(length, 255), L'x'));
    }
}

} // namespace
} // namespace Velora
