#include "base/ComScope.h"

#include <gtest/gtest.h>

using namespace Velora;

namespace {

ULONG References(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

TEST(ComScopeTest, MovesHandOverTheReferenceAndQueriesAddOne)
{
    VLComInit com;
    VLComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()), S_OK);
    IStream* raw = stream.Get();

    VLComPtr<IStream> moved(std::move(stream));
    EXPECT_EQ(stream.Get(), nullptr);
    EXPECT_EQ(References(raw), 1u);

    VLComPtr<ISequentialStream> sequential;
    EXPECT_EQ(moved.QueryInterface(sequential), S_OK);
    EXPECT_NE(sequential.Get(), nullptr);
    EXPECT_EQ(References(raw), 2u);
    VLComPtr<IDispatch> dispatch;
    EXPECT_EQ(moved.QueryInterface(dispatch), E_NOINTERFACE);
    EXPECT_EQ(dispatch.Get(), nullptr);
    EXPECT_EQ(stream.QueryInterface(dispatch), E_POINTER);

    VLComPtr<IStream> assigned;
    assigned = std::move(moved);
    EXPECT_EQ(moved.Get(), nullptr);
    EXPECT_EQ(References(raw), 2u);
    assigned.Reset();
    EXPECT_EQ(References(raw), 1u);
}

} // namespace
