// The markup vocabulary every control understands, and attribute lists.
#include "ui/core/Control.h"

#include "ui/core/ValueText.h"

#include <cstring>
#include <cwchar>

namespace Velora {

namespace {

// The background colours also accept blanks and control characters before the
// colour; text and border colours do not.
uint32_t ReadColourAfterBlanks(const std::wstring& value)
{
    const wchar_t* p = value.c_str();
    while (*p >= 1 && *p <= 32) ++p;
    return ReadHexColour(p);
}

// Index of name in a per-state name table, -1 when absent.
template <size_t N> int StateIndex(const wchar_t* const (&names)[N], const std::wstring& name)
{
    for (size_t i = 0; i < N; ++i) {
        if (name == names[i]) return static_cast<int>(i);
    }
    return -1;
}

const wchar_t* const kTextColourNames[kTextStateCount] = {
    L"normaltextcolor", L"hottextcolor", L"pushedtextcolor", L"selectedtextcolor", L"disabledtextcolor"};
const wchar_t* const kFontNames[kTextStateCount] = {
    L"normalfont", L"hotfont", L"pushedfont", L"selectedfont", L"disabledfont"};
const wchar_t* const kTextPaddingNames[kTextStateCount] = {
    L"normaltextpadding", L"hottextpadding", L"pushedtextpadding", L"selectedtextpadding", L"disabledtextpadding"};
const wchar_t* const kImageNames[kImageStateCount] = {
    L"normalimage", L"hotimage", L"pushedimage", L"selectedimage", L"focusedimage", L"disabledimage"};
const wchar_t* const kBkImageNames[kImageStateCount] = {
    L"bknormalimage", L"bkhotimage", L"bkpushedimage", L"bkselectedimage", L"bkfocusedimage", L"bkdisabledimage"};
const wchar_t* const kBkColourNames[kImageStateCount] = {
    L"normalbkcolor", L"hotbkcolor", L"pushedbkcolor", L"selectedbkcolor", L"focusedbkcolor", L"disabledbkcolor"};

struct Word {
    const wchar_t* word;
    uint32_t value;
};

// Words are found as substrings, in table order: a word inside another one
// ("click" in "lbuttondbclick") counts as well.
template <size_t N, typename Apply> void ForEachWord(const Word (&table)[N], const std::wstring& value, Apply apply)
{
    for (const Word& w : table) {
        if (wcsstr(value.c_str(), w.word)) apply(w.value);
    }
}

const Word kFlagWords[] = {{L"setcursor", kFlagSetCursor}, {L"enterrolltext", kFlagEnterRollText},
                           {L"tabstop", kFlagTabStop}};

const Word kNotifyWords[] = {
    {L"click", 2},       {L"mouseenter", 3},  {L"mousehover", 4},  {L"mouseleave", 5},
    {L"setfocus", 7},    {L"killfocus", 8},   {L"lbuttondown", 9}, {L"lbuttonup", 10},
    {L"rbuttondown", 11}, {L"contextmenu", 12}, {L"lbuttondbclick", 13}};

const Word kDispatchWords[] = {
    {L"keydown", 1},      {L"keyup", 2},        {L"char", 3},         {L"syskeydown", 4},   {L"mousemove", 5},
    {L"mouseleave", 6},   {L"mouseenter", 7},   {L"mousehover", 8},   {L"mousewheel", 9},   {L"lbuttondown", 10},
    {L"lbuttonup", 11},   {L"rbuttondown", 12}, {L"lbuttondblclk", 13}, {L"contextmenu", 14}, {L"killfocus", 15},
    {L"setfocus", 16},    {L"setcursor", 17},   {L"timer", 18},       {L"activate", 19}};

const Word kFormatWords[] = {{L"vcen", kFormatVCenter}, {L"center", kFormatCenter}, {L"right", kFormatRight},
                             {L"top", kFormatTop},       {L"bottom", kFormatBottom},  {L"topmost", kFormatTopmost}};

// "align": each word sets some text style bits and clears others.
struct AlignWord {
    const wchar_t* word;
    uint32_t set;
    uint32_t clear;
};

const AlignWord kAlignWords[] = {
    {L"left", 0, kTextCenter | kTextRight},
    {L"vcen", kTextVCenter, kTextBottom},
    {L"center", kTextCenter, kTextRight},
    {L"right", kTextRight, kTextCenter},
    {L"top", 0, kTextVCenter | kTextBottom},
    {L"bottom", kTextBottom, kTextVCenter},
    {L"singleline", kTextSingleLine, kTextWordBreak},
    {L"wordbreak", kTextWordBreak, kTextSingleLine},
    {L"autocenter", 0, kTextCenter},
};

} // namespace

bool VLControl::SetColourAttribute(const std::wstring& name, const std::wstring& value)
{
    void (VLControl::*const textSetters[kTextStateCount])(uint32_t) = {
        &VLControl::SetNormalTextColor, &VLControl::SetHotTextColor, &VLControl::SetPushedTextColor,
        &VLControl::SetSelectedTextColor, &VLControl::SetDisabledTextColor};
    int i = StateIndex(kTextColourNames, name);
    if (i >= 0) {
        (this->*textSetters[i])(ReadHexColour(value.c_str()));
        return true;
    }
    i = StateIndex(kBkColourNames, name);
    if (i == kImageNormal) {
        SetNormalBkColor(ReadColourAfterBlanks(value));
    } else if (i > 0) {
        bkColors[i] = ReadColourAfterBlanks(value);
    } else if (name == L"autotextcolor") {
        SetAutoTextColor(static_cast<uint8_t>(ReadColourAfterBlanks(value)));
    } else if (name == L"bordercolor") {
        borderColor = ReadHexColour(value.c_str());
    } else {
        return false;
    }
    return true;
}

bool VLControl::SetLookAttribute(const std::wstring& name, const std::wstring& value)
{
    int i = StateIndex(kFontNames, name);
    if (i >= 0) {
        fonts[i] = value;
        return true;
    }
    i = StateIndex(kTextPaddingNames, name);
    if (i >= 0) {
        textPadding[i] = ReadRect(value);
        return true;
    }
    i = StateIndex(kImageNames, name);
    if (i == kImageNormal) {
        SetNormalImage(value);
        return true;
    }
    if (i > 0) {
        images[i] = value;
        return true;
    }
    i = StateIndex(kBkImageNames, name);
    if (i == kImageNormal) {
        SetBkImage(value);
        return true;
    }
    if (i > 0) {
        bkImages[i] = value;
        return true;
    }
    return SetColourAttribute(name, value);
}

bool VLControl::SetWordsAttribute(const std::wstring& name, const std::wstring& value)
{
    if (name == L"align") {
        for (const AlignWord& w : kAlignWords) {
            if (!wcsstr(value.c_str(), w.word)) continue;
            textStyle = (textStyle & ~w.clear) | w.set;
            if (wcscmp(w.word, L"autocenter") == 0) autoCenter = true;
        }
    } else if (name == L"flags") {
        ForEachWord(kFlagWords, value, [this](uint32_t bit) { SetFlag(bit, true); });
    } else if (name == L"notify") {
        ForEachWord(kNotifyWords, value, [this](uint32_t bit) { SetNotify(bit, true); });
    } else if (name == L"dispatch") {
        ForEachWord(kDispatchWords, value, [this](uint32_t bit) { SetDispatch(bit, true); });
    } else if (name == L"format") {
        ForEachWord(kFormatWords, value, [this](uint32_t bits) { layoutFormat |= bits; });
    } else {
        return false;
    }
    return true;
}

bool VLControl::SetGeometryAttribute(const std::wstring& name, const std::wstring& value)
{
    const int number = _wtoi(value.c_str());
    if (name == L"pos") {
        const RECT r = ReadRect(value);
        SetFixedXY(r.left, r.top);
        SetFixedWidth(r.right - r.left);
        SetFixedHeight(r.bottom - r.top);
    } else if (name == L"padding") {
        SetPadding(ReadRect(value));
    } else if (name == L"cut") {
        SetCut(ReadRect(value));
    } else if (name == L"textspecialstyle") {
        int d[2];
        ReadIntList(value.c_str(), d, 2);
        SetTextSpecialStyle(d[0], d[1]);
    } else if (name == L"roundcorner") {
        int c[2];
        ReadIntList(value.c_str(), c, 2);
        roundCorner = {c[0], c[1]};
    } else if (name == L"width") {
        SetFixedWidth(number);
    } else if (name == L"height") {
        SetFixedHeight(number);
    } else if (name == L"minwidth") {
        SetMinWidth(number);
    } else if (name == L"minheight") {
        SetMinHeight(number);
    } else if (name == L"maxwidth") {
        SetMaxWidth(number);
    } else if (name == L"maxheight") {
        SetMaxHeight(number);
    } else if (name == L"rowheight") {
        rowHeight = number;
    } else if (name == L"bordersize") {
        borderSize = number;
    } else if (name == L"tag") {
        SetTag(number);
    } else if (name == L"id") {
        SetId(number);
    } else if (name == L"tooltipdelaytime") {
        toolTipDelayTime = number;
    } else {
        return false;
    }
    return true;
}

bool VLControl::SetFlagAttribute(const std::wstring& name, const std::wstring& value)
{
    const bool on = ReadBool(value);
    if (name == L"endellipsis") {
        textStyle = on ? (textStyle | kTextEndEllipsis) : (textStyle & ~kTextEndEllipsis);
    } else if (name == L"pathellipsis") {
        textStyle = on ? (textStyle | kTextPathEllipsis) : (textStyle & ~kTextPathEllipsis);
    } else if (name == L"customtooltip") {
        customToolTip = on;
    } else if (name == L"enabled") {
        SetEnabled(on);
    } else if (name == L"visible") {
        SetVisible(on);
    } else if (name == L"relfloat") {
        SetRelFloat(on);
    } else if (name == L"absfloat") {
        SetAbsFloat(on);
    } else if (name == L"float") {
        SetFloat(on);
    } else if (name == L"capture") {
        capture = on;
    } else if (name == L"hasbeenhover") {
        hasBeenHover = on;
    } else if (name == L"caption") {
        caption = on;
    } else if (name == L"spacereturn") {
        spaceReturn = on;
    } else if (name == L"htmltext") {
        htmlText = on;
    } else {
        return false;
    }
    return true;
}

void VLControl::SetAttribute(const std::wstring& name, const std::wstring& value)
{
    if (name == L"name") {
        SetName(value);
    } else if (name == L"text") {
        SetText(value);
    } else if (name == L"tooltip") {
        SetToolTip(value);
    } else if (name == L"userdata") {
        SetUserData(value);
    } else if (name == L"shortcut") {
        SetShortcut(value.empty() ? L'\0' : value[0]);
    } else if (!SetLookAttribute(name, value) && !SetWordsAttribute(name, value) &&
               !SetGeometryAttribute(name, value)) {
        SetFlagAttribute(name, value);
    }
}

void VLControl::ApplyAttributeList(const std::wstring& text, VLControl* control)
{
    if (!control) return;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t equals = text.find(L'=', pos);
        if (equals == std::wstring::npos || equals + 1 >= text.size() || text[equals + 1] != L'"') return;
        const size_t open = equals + 1;
        const size_t close = text.find(L'"', open + 1);
        if (close == std::wstring::npos) return;
        control->SetAttribute(text.substr(pos, equals - pos), text.substr(open + 1, close - open - 1));
        // Exactly one blank separates pairs; a second blank becomes part of
        // the next name.
        if (close + 1 >= text.size() || text[close + 1] != L' ') return;
        pos = close + 2;
    }
}

} // namespace Velora
