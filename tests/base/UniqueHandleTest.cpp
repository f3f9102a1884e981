#include "base/GdiScope.h"

#include <gtest/gtest.h>

using namespace Velora;

namespace {

using KernelHandle = VLUniqueHandle<HANDLE, &CloseHandle, 0, -1>;

bool IsOpen(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

TEST(UniqueHandleTest, BothFailureValuesHoldNothing)
{
    EXPECT_FALSE(KernelHandle().Valid());
    EXPECT_FALSE(KernelHandle(INVALID_HANDLE_VALUE).Valid());
    EXPECT_FALSE(VLBitmap().Valid());
}

TEST(UniqueHandleTest, ClosesOnResetMoveAndScopeEndButNotAfterRelease)
{
    HANDLE first = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE second = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    {
        KernelHandle owner(first);
        KernelHandle other(std::move(owner));
        EXPECT_FALSE(owner.Valid());
        other.Reset(second);
        EXPECT_FALSE(IsOpen(first));
        EXPECT_TRUE(IsOpen(second));
        KernelHandle released(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        HANDLE kept = released.Release();
        released.Reset();
        EXPECT_TRUE(IsOpen(kept));
        CloseHandle(kept);
    }
    EXPECT_FALSE(IsOpen(second));
}

TEST(UniqueHandleTest, SelectGuardPutsThePreviousObjectBack)
{
    VLMemoryDC dc(CreateCompatibleDC(nullptr));
    VLBitmap bitmap(CreateBitmap(4, 4, 1, 32, nullptr));
    HGDIOBJ original = GetCurrentObject(dc.Get(), OBJ_BITMAP);
    {
        VLSelectObject select(dc.Get(), bitmap.Get());
        EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BITMAP), bitmap.Get());
    }
    EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BITMAP), original);
    // Only a deselected bitmap can be deleted.
    EXPECT_TRUE(DeleteObject(bitmap.Release()));
}

TEST(UniqueHandleTest, SaveGuardRestoresTheDcAndNothingIsUndoneAfterAFailure)
{
    VLMemoryDC dc(CreateCompatibleDC(nullptr));
    ASSERT_EQ(GetMapMode(dc.Get()), MM_TEXT);
    {
        VLSaveDC saved(dc.Get());
        SetMapMode(dc.Get(), MM_LOMETRIC);
    }
    EXPECT_EQ(GetMapMode(dc.Get()), MM_TEXT);
    {
        VLSaveDC failed(nullptr);
        EXPECT_EQ(failed.Get(), 0);
        VLSelectObject nothing(dc.Get(), nullptr);
        EXPECT_EQ(nothing.Get(), nullptr);
    }
}

} // namespace
