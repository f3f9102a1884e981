// What the hosting tests share: OLE on the test thread, and the test control
// DLL's recording and set-up exports.
#pragma once

#include "tests/ui/controls/testcontrol/TestControl.h"

#include <gtest/gtest.h>

#include <ole2.h>

#include <string>

namespace Velora {

class ActiveXTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        module_ = LoadLibraryW(L"vl_test_activex.dll");
        ASSERT_NE(nullptr, module_);
        setup_ = Export<VLTestControlSetup>("TestControlSetup");
        log_ = Export<VLTestControlLog>("TestControlLog");
        clear_ = Export<VLTestControlClear>("TestControlClear");
        instances_ = Export<VLTestControlInstances>("TestControlInstances");
        setup_(OLEMISC_SETCLIENTSITEFIRST, TRUE, RGB(255, 0, 0), 0);
        clear_();
    }
    void TearDown() override
    {
        if (module_) FreeLibrary(module_);
        OleUninitialize();
    }
    template <typename T> T Export(const char* name)
    {
        return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    std::wstring Log() const { return log_(); }

    HMODULE module_ = nullptr;
    VLTestControlSetup setup_ = nullptr;
    VLTestControlLog log_ = nullptr;
    VLTestControlClear clear_ = nullptr;
    VLTestControlInstances instances_ = nullptr;
};

} // namespace Velora
