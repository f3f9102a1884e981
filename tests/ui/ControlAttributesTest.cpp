#include "ui/core/Control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Velora {
namespace {

int64_t Bits(const VLControl& c, bool (VLControl::*has)(size_t) const, size_t count)
{
    int64_t bits = 0;
    for (size_t i = 0; i < count; ++i) bits |= (c.*has)(i) ? 1LL << i : 0;
    return bits;
}

int64_t Four(int64_t a, int64_t b, int64_t c, int64_t d) { return ((a * 1000 + b) * 1000 + c) * 1000 + d; }

// The field an attribute writes, as one number.
int64_t Field(const VLControl& c, const std::wstring& name)
{
    const RECT p = c.GetPadding();
    const RECT hot = c.textPadding[kTextHot];
    if (name == L"align" || name == L"Align" || name == L"endellipsis") return c.textStyle | int64_t(c.autoCenter) << 32;
    if (name == L"notify") return Bits(c, &VLControl::HasNotify, 25);
    if (name == L"dispatch") return Bits(c, &VLControl::HasDispatch, 20);
    if (name == L"flags") return Bits(c, &VLControl::HasFlag, 4);
    if (name == L"format") return c.layoutFormat;
    if (name == L"enabled") return c.IsEnabled();
    if (name == L"normaltextcolor") return c.GetNormalTextColor();
    if (name == L"hotbkcolor") return c.bkColors[kImageHot];
    if (name == L"normalbkcolor") return c.bkColors[kImageNormal];
    if (name == L"bordercolor") return c.borderColor;
    if (name == L"autotextcolor") return c.GetAutoTextColor();
    if (name == L"shortcut") return c.GetShortcut();
    if (name == L"pos") return Four(c.GetFixedXY().x, c.GetFixedXY().y, c.GetFixedWidth(), c.GetFixedHeight());
    if (name == L"padding") return Four(p.left, p.top, p.right, p.bottom);
    if (name == L"hottextpadding") return Four(hot.left, hot.top, hot.right, hot.bottom);
    if (name == L"textspecialstyle") return c.shadowX * 1000 + c.shadowY;
    if (name == L"width") return c.GetFixedWidth();
    if (name == L"rowheight") return c.rowHeight;
    ADD_FAILURE() << "no field for " << testing::PrintToString(name);
    return -1;
}

const struct {
    const wchar_t* name;
    const wchar_t* value;
    int64_t expected;
} kAttributeCases[] = {
    {L"align", L"vcen wordbreak", DT_VCENTER | DT_WORDBREAK},
    {L"align", L"center vcen singleline", DT_CENTER | DT_VCENTER | DT_SINGLELINE},
    {L"align", L"vcenter", DT_VCENTER | DT_CENTER},
    {L"align", L"autocenter", 1LL << 32}, // "center" inside it is cleared again
    {L"align", L"bottom right", DT_BOTTOM | DT_RIGHT},
    {L"Align", L"center", 0},
    {L"endellipsis", L"true", DT_END_ELLIPSIS},
    {L"notify", L"click mouseenter", (1 << 2) | (1 << 3)},
    {L"notify", L"lbuttondblclk", 0},
    {L"notify", L"lbuttondbclick", (1 << 13) | (1 << 2)},
    {L"dispatch", L"syskeydown", (1 << 4) | (1 << 1)},
    {L"dispatch", L"lbuttondbclick", 0},
    {L"dispatch", L"lbuttondblclk,activate", (1 << 13) | (1 << 19)},
    {L"format", L"topmost", 0x8 | 0x1},
    {L"format", L"left", 0},
    {L"flags", L"tabstop|setcursor", (1 << 3) | (1 << 1)},
    {L"enabled", L"True", 0},
    {L"normaltextcolor", L"#FFFF0000", 0xFFFF0000},
    {L"normaltextcolor", L" #FF000000", 0},
    {L"normaltextcolor", L"zz", 0},
    {L"hotbkcolor", L" #80000000", 0x80000000},
    {L"normalbkcolor", L"\t#FF00FF00", 0xFF00FF00},
    {L"bordercolor", L"FF123456", 0xFF123456},
    {L"autotextcolor", L"10", 16},
    {L"autotextcolor", L" 1f", 31},
    {L"shortcut", L"Save", L'S'},
    {L"shortcut", L"", 0},
    {L"pos", L"10,20,110,60", Four(10, 20, 100, 40)},
    {L"pos", L"5,6,45", Four(5, 6, 40, 0)}, // missing numbers are 0; the height -6 is ignored
    {L"padding", L"1,2", Four(1, 2, 0, 0)},
    {L"padding", L"4, 3,2 ,1", Four(4, 3, 2, 0)}, // one separator after "2": the "," starts the last number
    {L"hottextpadding", L"1,2,3,4", Four(1, 2, 3, 4)},
    {L"textspecialstyle", L"200,-1", -56 * 1000 - 1},
    {L"width", L"-5", 0},
    {L"rowheight", L" 7x", 7},
};

TEST(ControlAttributes, ValuesAndWordTables)
{
    for (const auto& t : kAttributeCases) {
        VLControl control;
        control.SetAttribute(t.name, t.value);
        EXPECT_EQ(t.expected, Field(control, t.name)) << testing::PrintToString(std::wstring(t.name) + L"=" + t.value);
    }
    VLControl c;
    const std::pair<const wchar_t*, const std::wstring*> texts[] = {
        {L"text", &c.GetText()},         {L"name", &c.GetName()},
        {L"userdata", &c.GetUserData()}, {L"hotfont", &c.fonts[kTextHot]},
        {L"normalimage", &c.images[kImageNormal]}, {L"focusedimage", &c.images[kImageFocused]},
        {L"bknormalimage", &c.bkImages[kImageNormal]}, {L"bkselectedimage", &c.bkImages[kImageSelected]}};
    for (const auto& t : texts) c.SetAttribute(t.first, t.first);
    for (const auto& t : texts) EXPECT_EQ(t.first, *t.second);
}

TEST(ControlAttributes, AttributeListNeedsExactlyOneBlankBetweenPairs)
{
    const struct {
        const wchar_t* list;
        int width;
        int height;
    } cases[] = {
        {L"width=\"10\" height=\"20\"", 10, 20},
        {L"width=\"10\"  height=\"20\"", 10, 0}, // the second name is " height"
        {L"width=\"10\"height=\"20\"", 10, 0},
        {L"width=\"10\" ", 10, 0},
        {L"width=10 height=\"20\"", 0, 0},
        {L"width=\"10\" height=\"20", 10, 0},
        {L" width=\"10\"", 0, 0},
        {L"text=\"a=b\" height=\"3\"", 0, 3},
        {L"", 0, 0},
    };
    for (const auto& t : cases) {
        VLControl c;
        VLControl::ApplyAttributeList(t.list, &c);
        EXPECT_EQ(t.width * 100 + t.height, c.GetFixedWidth() * 100 + c.GetFixedHeight())
            << testing::PrintToString(std::wstring(t.list));
    }
}

// Markup values reach a subclass through the virtual setters.
class RecordingSetters : public VLControl {
public:
    void SetEnabled(bool on) override { calls.push_back(on ? L"enabled" : L"disabled"); }
    void SetHotTextColor(uint32_t argb) override { calls.push_back(L"hot"); }
    std::vector<std::wstring> calls;
};

TEST(ControlAttributes, SettersAreVirtual)
{
    RecordingSetters c;
    VLControl::ApplyAttributeList(L"enabled=\"no\" hottextcolor=\"#1\" autotextcolor=\"3\"", &c);
    c.SetTextColor(0xFF00FF00);
    EXPECT_EQ((std::vector<std::wstring>{L"disabled", L"hot", L"hot"}), c.calls);
    EXPECT_EQ(0xFF00FF00u, c.GetNormalTextColor());
    EXPECT_EQ(0u, c.GetPushedTextColor());
}

} // namespace
} // namespace Velora
