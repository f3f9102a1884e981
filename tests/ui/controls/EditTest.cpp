#include "ui/controls/Edit.h"
#include "ui/controls/ControlElements.h"
#include "ui/controls/EditWnd.h"
#include "ui/controls/TextNotify.h"

#include "tests/ui/SkinWindow.h"

#include <gtest/gtest.h>

namespace Velora {
namespace {

// A shown skinned window holding one edit in a layout.
struct EditFixture {
    explicit EditFixture(const std::wstring& attributes = L"")
        : window(L"<Window><VerticalLayout><Edit name=\"edit\" height=\"30\" normaltextpadding=\"4,5,6,7\" " +
                 attributes + L"/><Control/></VerticalLayout></Window>")
    {
        RegisterControlElements();
        window.Open(0, 0, 300, 100);
        Pump();
        edit = static_cast<VLEdit*>(window.paintManager.FindControlByName(L"edit"));
    }
    HWND Native() const { return FindWindowExW(window.GetHWND(), nullptr, L"VLEditWnd", nullptr); }
    void Click(UINT down = WM_LBUTTONDOWN, UINT up = WM_LBUTTONUP)
    {
        PostMessageW(window.GetHWND(), down, MK_LBUTTON, MAKELPARAM(20, 15));
        PostMessageW(window.GetHWND(), up, 0, MAKELPARAM(20, 15));
        Pump();
    }
    // Focused first: editing starts on a press at a focused edit.
    HWND Open()
    {
        edit->SetFocus();
        Click();
        return Native();
    }
    SkinWindow window;
    VLEdit* edit = nullptr;
};

TEST(Edit, TypingReturnCtrlAAndLosingFocus)
{
    EditFixture f(L"text=\"起始\"");
    ASSERT_NE(f.edit, nullptr);
    const HWND native = f.Open();
    ASSERT_NE(native, nullptr);
    RECT rect;
    GetWindowRect(native, &rect);
    MapWindowPoints(nullptr, f.window.GetHWND(), reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, 4);
    EXPECT_EQ(rect.top, 5);
    EXPECT_EQ(rect.right, 300 - 6);
    EXPECT_EQ(rect.bottom, 30 - 7);
    // The press selected everything: typing replaces it.
    for (wchar_t ch : std::wstring(L"ab")) PostMessageW(native, WM_CHAR, ch, 0);
    Pump();
    EXPECT_EQ(f.edit->GetText(), L"ab");
    PostMessageW(native, WM_KEYDOWN, VK_RETURN, 0);
    Pump();
    EXPECT_EQ(f.window.Notes(kNotifyReturn), 1);
    EXPECT_EQ(f.edit->GetText(), L"ab");
    SendMessageW(native, EM_SETSEL, 1, 1);
    PostMessageW(native, WM_CHAR, 1, 0);
    Pump();
    DWORD start = 9, end = 9;
    SendMessageW(native, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 2u);
    // The window follows the control and its text.
    f.edit->SetPos({10, 40, 110, 70});
    GetWindowRect(native, &rect);
    MapWindowPoints(nullptr, f.window.GetHWND(), reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, 14);
    EXPECT_EQ(rect.top, 45);
    f.edit->SetText(L"新文本");
    wchar_t shown[16] = {};
    GetWindowTextW(native, shown, 16);
    EXPECT_STREQ(shown, L"新文本");
    SetFocus(f.window.GetHWND());
    Pump();
    EXPECT_FALSE(IsWindow(native));
    EXPECT_EQ(f.edit->GetEditWindow(), nullptr);
    EXPECT_EQ(f.edit->GetText(), L"新文本");
}

TEST(Edit, NativeBackColourWithOrWithoutHash)
{
    for (const wchar_t* colour : {L"FF102030", L"#FF102030"}) {
        EditFixture f(std::wstring(L"nativebkcolor=\"") + colour + L"\" normaltextcolor=\"#FF405060\"");
        const HWND native = f.Open();
        ASSERT_NE(native, nullptr);
        // The hosting window hands the child's colour question back to it.
        HDC dc = GetDC(native);
        const auto brush = reinterpret_cast<HBRUSH>(SendMessageW(
            f.window.GetHWND(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(native)));
        LOGBRUSH logBrush = {};
        ASSERT_TRUE(GetObjectW(brush, sizeof(logBrush), &logBrush));
        EXPECT_EQ(logBrush.lbColor, RGB(0x10, 0x20, 0x30)) << colour;
        EXPECT_EQ(GetTextColor(dc), RGB(0x40, 0x50, 0x60));
        ReleaseDC(native, dc);
        // And the system edit paints its background with it.
        RedrawWindow(native, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        HDC windowDC = GetDC(native);
        EXPECT_EQ(GetPixel(windowDC, 200, 10), RGB(0x10, 0x20, 0x30));
        ReleaseDC(native, windowDC);
    }
}

TEST(Edit, OpeningNeedsFocusAndEnabledAndTakesTheAttributes)
{
    EditFixture f(L"password=\"true\" maxchar=\"4\" readonly=\"true\"");
    f.edit->SetEnabled(false);
    f.edit->SetFocus();
    f.Click();
    EXPECT_EQ(f.Native(), nullptr);
    f.edit->SetEnabled(true);
    const HWND native = f.Open();
    ASSERT_NE(native, nullptr);
    EXPECT_TRUE(GetWindowLongW(native, GWL_STYLE) & ES_PASSWORD);
    EXPECT_TRUE(GetWindowLongW(native, GWL_STYLE) & ES_READONLY);
    EXPECT_EQ(SendMessageW(native, EM_GETLIMITTEXT, 0, 0), 4);
    EXPECT_EQ(SendMessageW(native, EM_GETPASSWORDCHAR, 0, 0), L'*');
    // A change while editing waits for the next window.
    f.edit->SetAttribute(L"password", L"false");
    f.edit->SetAttribute(L"readonly", L"false");
    EXPECT_TRUE(GetWindowLongW(native, GWL_STYLE) & ES_PASSWORD);
    EXPECT_FALSE(GetWindowLongW(native, GWL_STYLE) & ES_READONLY);
}

TEST(Edit, DestroyedWhileEditingTakesItsWindowAlong)
{
    EditFixture f;
    const HWND native = f.Open();
    ASSERT_NE(native, nullptr);
    auto* layout = static_cast<VLContainer*>(f.edit->GetParent());
    layout->Remove(f.edit);
    EXPECT_FALSE(IsWindow(native));
    Pump();
}

TEST(Edit, AttributeValues)
{
    VLEdit edit;
    struct Row {
        const wchar_t* name;
        const wchar_t* value;
        int maxChars;
        wchar_t passwordChar;
        uint32_t colour;
    } rows[] = {
        {L"maxchar", L"12abc", 12, L'*', 0xFFFFFFFF},  {L"passwordchar", L"#x", 12, L'#', 0xFFFFFFFF},
        {L"passwordchar", L"", 12, L'\0', 0xFFFFFFFF}, {L"nativebkcolor", L"#80A0B0C0", 12, L'\0', 0x80A0B0C0},
        {L"nativebkcolor", L"#", 12, L'\0', 0},        {L"nativebkcolor", L"zz", 12, L'\0', 0},
    };
    for (const Row& row : rows) {
        edit.SetAttribute(row.name, row.value);
        EXPECT_EQ(edit.GetMaxChars(), row.maxChars) << row.name << row.value;
        EXPECT_EQ(edit.GetPasswordChar(), row.passwordChar) << row.name << row.value;
        EXPECT_EQ(edit.GetNativeBkColor(), row.colour) << row.name << row.value;
    }
}

} // namespace
} // namespace Velora
