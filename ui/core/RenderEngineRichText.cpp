// Rich text: a line is walked twice when drawn, first to measure its height
// (runs sit on the bottom of the line), then to draw it; colour and font
// changes start afresh on every line, selection and quoting carry over.
#include "ui/core/RenderEngine.h"

#include "ui/core/PaintManager.h"
#include "ui/core/RenderClip.h"

#include <algorithm>
#include <cwchar>
#include <vector>

namespace Velora::VLRenderEngine {

namespace {

bool IsAsciiLetter(wchar_t ch)
{
    return (ch >= L'a' && ch <= L'z') || (ch >= L'A' && ch <= L'Z');
}
bool IsOpener(wchar_t ch)
{
    return ch == L'<' || ch == L'{';
}
bool IsCloser(wchar_t ch)
{
    return ch == L'>' || ch == L'}';
}

// "{/r}" or "</r>" in either bracket form.
bool IsRawEnd(const wchar_t* p)
{
    return IsOpener(p[0]) && p[1] == L'/' && p[2] == L'r' && IsCloser(p[3]);
}

const wchar_t* SkipBlanks(const wchar_t* p)
{
    while (*p > 0 && *p <= L' ') ++p;
    return p;
}

// Past the next ">" or "}" (or at the end of the text).
const wchar_t* SkipTag(const wchar_t* p)
{
    while (*p && !IsCloser(*p)) ++p;
    return *p ? p + 1 : p;
}

std::wstring TagName(const wchar_t* p)
{
    const wchar_t* end = p;
    while (*end && *end != L' ' && !IsCloser(*end)) ++end;
    return std::wstring(p, end);
}

class RichText {
public:
    RichText(HDC hdc, VLPaintManager* manager, const RECT& rect, uint32_t colour, VLFontInfo* base, uint32_t style)
        : hdc_(hdc), manager_(manager), rect_(rect), colour_(ToColorRef(colour)), base_(base), style_(style),
          drawing_(!(style & DT_CALCRECT))
    {
    }

    // Walks the text; the extent reached is left in bottom and right.
    void Run(const wchar_t* text);
    int Bottom() const { return std::max(0, y_ + lineHeight_); }
    int Widest() const { return widest_; }

private:
    void Select(VLFontInfo* font);
    int Height(VLFontInfo* font) { return Metrics(font).tmHeight + Metrics(font).tmExternalLeading; }
    const TEXTMETRICW& Metrics(VLFontInfo* font);
    // Starts the next pass; false when the walk ends here.
    bool NewLine();
    void AfterElement();
    void OpenTag();
    void CloseTag();
    void Glyph(const wchar_t* ch);
    void TextRun();
    int RunTop() { return y_ + measuredHeight_ - Height(font_); }
    bool Drawing() const { return drawing_ && drawPass_; }
    void Advance(int width)
    {
        x_ += width;
        widest_ = std::max(widest_, x_);
    }

    HDC hdc_;
    VLPaintManager* manager_;
    RECT rect_;
    COLORREF colour_;
    VLFontInfo* base_;
    VLFontInfo* font_ = nullptr;
    uint32_t style_;
    bool drawing_;
    const wchar_t* p_ = nullptr;
    const wchar_t* lineStart_ = nullptr;
    int x_ = 0, y_ = 0, lineHeight_ = 0, measuredHeight_ = 0, widest_ = 0;
    bool drawPass_ = false, lineEnd_ = false, raw_ = false, selected_ = false;
    bool lineRaw_ = false, lineSelected_ = false;
};

const TEXTMETRICW& RichText::Metrics(VLFontInfo* font)
{
    // A font made before the manager had its DC has no metrics yet.
    if (font->metrics.tmHeight == 0) {
        VLSelectObject selected(hdc_, font->font.Get());
        GetTextMetricsW(hdc_, &font->metrics);
    }
    return font->metrics;
}

void RichText::Select(VLFontInfo* font)
{
    font_ = font;
    SelectObject(hdc_, font->font.Get());
}

void RichText::Run(const wchar_t* text)
{
    p_ = lineStart_ = text;
    x_ = widest_ = rect_.left;
    y_ = rect_.top;
    Select(base_);
    // A line drawn without a measuring pass before it (after a line feed at
    // the very start) still sits inside the rectangle.
    lineHeight_ = measuredHeight_ = Height(base_);
    const wchar_t* passStart = text;
    while (*p_) {
        if (x_ >= rect_.right || *p_ == L'\n' || lineEnd_) {
            // A line that took nothing would be walked again for ever.
            if ((!drawing_ || drawPass_) && p_ == passStart && *p_ != L'\n') break;
            if (!NewLine()) break;
            passStart = p_;
            if (!*p_) break;
        }
        if (raw_) {
            TextRun();
        } else if (IsOpener(p_[0]) && p_[1] >= L'a' && p_[1] <= L'z' && (p_[2] == L' ' || IsCloser(p_[2]))) {
            OpenTag();
        } else if (IsOpener(p_[0]) && p_[1] == L'/') {
            CloseTag();
        } else if ((p_[0] == L'<' && (p_[1] == L'{' || p_[1] == L'}') && p_[2] == L'>') ||
                   (p_[0] == L'{' && (p_[1] == L'<' || p_[1] == L'>') && p_[2] == L'}')) {
            Glyph(p_ + 1);
            p_ += 3;
        } else if (*p_ == L' ') {
            Glyph(p_);
            ++p_;
        } else {
            TextRun();
        }
        AfterElement();
    }
}

bool RichText::NewLine()
{
    if (*p_ == L'\n') ++p_;
    lineEnd_ = false;
    if ((style_ & DT_SINGLELINE) && (!drawing_ || drawPass_)) return false;
    if (drawing_) drawPass_ = !drawPass_;
    x_ = rect_.left;
    if (!drawPass_) y_ += lineHeight_;
    if (drawing_ && y_ > rect_.bottom) return false;
    lineHeight_ = Height(font_);
    return rect_.left < rect_.right;
}

void RichText::AfterElement()
{
    if (x_ >= rect_.right || *p_ == L'\n' || *p_ == 0) lineEnd_ = true;
    if (!lineEnd_) return;
    if (drawing_ && !drawPass_) {
        // Measured: back to the line's start to draw it.
        measuredHeight_ = lineHeight_;
        p_ = lineStart_;
        raw_ = lineRaw_;
        selected_ = lineSelected_;
    } else {
        lineStart_ = p_;
        lineRaw_ = raw_;
        lineSelected_ = selected_;
    }
    // Colour and font never carry over into the next pass; the measuring
    // pass starts as the drawing pass does, so both agree on the widths.
    SetTextColor(hdc_, colour_);
    Select(base_);
    SetBkMode(hdc_, selected_ ? OPAQUE : TRANSPARENT);
}

void RichText::OpenTag()
{
    const wchar_t letter = p_[1];
    const wchar_t* argument = SkipBlanks(p_ + 2);
    switch (letter) {
    case L'b':
    case L'u':
    case L'f': {
        const std::wstring name = TagName(argument);
        const bool kept = (letter == L'b' && base_->bold) || (letter == L'u' && base_->underline);
        if (kept || name.empty()) break;
        if (VLFontInfo* font = manager_->GetFont(name)) {
            Select(font);
            lineHeight_ = std::max(lineHeight_, Height(font));
        }
        break;
    }
    case L'c': {
        if (*argument == L'#') ++argument;
        // Eight digits name alpha as well; text has none, so only the low
        // 24 bits count.
        const uint32_t colour = uint32_t(std::wcstoul(argument, nullptr, 16));
        SetTextColor(hdc_, ToColorRef(colour));
        break;
    }
    case L'n':
        if (!(style_ & DT_SINGLELINE)) lineEnd_ = true;
        break;
    case L'p':
        if (x_ > rect_.left) lineEnd_ = true;
        lineHeight_ = std::max(lineHeight_, Height(font_) + int(std::wcstol(argument, nullptr, 10)));
        break;
    case L'r': raw_ = true; break;
    case L's':
        selected_ = !selected_;
        if (Drawing()) SetBkMode(hdc_, selected_ ? OPAQUE : TRANSPARENT);
        break;
    case L'x': Advance(int(std::wcstol(argument, nullptr, 10))); break;
    case L'y': lineHeight_ = int(std::wcstol(argument, nullptr, 10)); break;
    default: break;
    }
    p_ = SkipTag(p_ + 2);
}

void RichText::CloseTag()
{
    switch (p_[2]) {
    case L'b':
    case L'f':
    case L'u':
        if (Metrics(font_).tmItalic && !Metrics(base_).tmItalic) {
            // An italic run leans into what follows: half a blank of room.
            ABC abc{};
            GetCharABCWidthsW(hdc_, L' ', L' ', &abc);
            x_ += int(abc.abcC) / 2;
        }
        Select(base_);
        lineHeight_ = std::max(lineHeight_, Height(base_));
        break;
    case L'c': SetTextColor(hdc_, colour_); break;
    case L'p':
        if (x_ > rect_.left) lineEnd_ = true;
        lineHeight_ = std::max(lineHeight_, Height(font_));
        break;
    case L's':
        selected_ = !selected_;
        if (Drawing()) SetBkMode(hdc_, selected_ ? OPAQUE : TRANSPARENT);
        break;
    default: break;
    }
    p_ = SkipTag(p_ + 2);
}

void RichText::Glyph(const wchar_t* ch)
{
    SIZE size{};
    GetTextExtentPoint32W(hdc_, ch, 1, &size);
    if (Drawing()) TextOutW(hdc_, x_, RunTop(), ch, 1);
    Advance(size.cx);
}

void RichText::TextRun()
{
    const wchar_t* start = p_;
    const int runX = x_;
    // Where each character taken ends, so that characters can be given back.
    std::vector<const wchar_t*> ends;
    size_t breakCount = 0;
    SIZE size{};
    const wchar_t* p = p_;
    if (!raw_ && IsOpener(*p)) ends.push_back(++p); // a bracket that forms no tag is text
    const int charWidth = Metrics(font_).tmMaxCharWidth;
    // Prefix extents come from one call: measuring each prefix anew made the
    // walk quadratic in GDI calls once a run neared the right edge. Only the
    // part of the run asked about is measured, doubled whenever more is asked
    // for, so a run over many lines costs each line about its own length.
    const wchar_t* runEnd = p; // found so far
    std::vector<int> extents(1, 0);
    const auto extentTo = [&](const wchar_t* end) {
        const size_t count = size_t(end - start);
        if (count >= extents.size()) {
            const size_t wanted = std::max({count, size_t(64), 2 * extents.size()});
            while (size_t(runEnd - start) < wanted && *runEnd && *runEnd != L'\n' &&
                   !(raw_ ? IsRawEnd(runEnd) : IsOpener(*runEnd)))
                ++runEnd;
            const size_t measured = std::max(count, size_t(runEnd - start));
            extents.assign(measured + 1, 0);
            GetTextExtentExPointW(hdc_, start, int(measured), 0, nullptr, extents.data() + 1, &size);
        }
        return extents[count];
    };
    while (*p && *p != L'\n') {
        if (raw_ && IsRawEnd(p)) {
            raw_ = false; // the closing tag follows as a tag without effect
            break;
        }
        if (!raw_ && IsOpener(*p)) break;
        const wchar_t* next = CharNextW(p);
        ends.push_back(next);
        int width = int(ends.size()) * charWidth;
        if (x_ + width >= rect_.right) width = extentTo(next);
        if (x_ + width > rect_.right) {
            // The character that overflows goes to the next line, unless it
            // would leave this line empty.
            if (x_ != rect_.left || ends.size() > 1) ends.pop_back();
            if ((style_ & DT_WORDBREAK) && breakCount > 0) ends.resize(breakCount);
            if ((style_ & DT_END_ELLIPSIS) && !ends.empty()) {
                ends.resize(ends.size() > 1 ? ends.size() - 2 : 0);
                x_ = rect_.right;
            }
            lineEnd_ = true;
            widest_ = std::max(widest_, x_);
            break;
        }
        if (!IsAsciiLetter(*p)) breakCount = ends.size();
        p = next;
    }
    const int length = ends.empty() ? 0 : int(ends.back() - start);
    size.cx = extentTo(start + length);
    if (Drawing()) {
        int left = runX;
        if (!(style_ & DT_SINGLELINE) && (style_ & DT_CENTER))
            left += (rect_.right - rect_.left - size.cx) / 2;
        else if (!(style_ & DT_SINGLELINE) && (style_ & DT_RIGHT))
            left += rect_.right - rect_.left - size.cx;
        TextOutW(hdc_, left, RunTop(), start, length);
        if (x_ >= rect_.right && (style_ & DT_END_ELLIPSIS)) TextOutW(hdc_, left + size.cx, y_, L"...", 3);
    }
    Advance(size.cx);
    p_ = start + length;
}

} // namespace

void DrawRichText(HDC hdc, VLPaintManager* manager, RECT& rect, const std::wstring& text, uint32_t colour,
                  const std::wstring& font, uint32_t style)
{
    if (text.empty() || !manager || IsRectEmpty(&rect)) return;
    VLFontInfo* base = manager->GetFont(font);
    if (!base) return;
    const bool drawing = !(style & DT_CALCRECT);
    VLRenderClip clip;
    if (drawing) VLRenderClip::ClipToRect(clip, hdc, rect);
    HGDIOBJ oldFont = SelectObject(hdc, base->font.Get());
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, ToColorRef(colour));
    if (drawing && (style & (DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM))) {
        RECT measured = {0, 0, 9999, 100};
        DrawRichText(hdc, manager, measured, text, colour, font, style | DT_CALCRECT);
        const int mw = measured.right, mh = measured.bottom;
        const int width = rect.right - rect.left, height = rect.bottom - rect.top;
        if (style & DT_SINGLELINE) {
            if (style & DT_CENTER) {
                rect.left += width / 2 - mw / 2;
                rect.right = rect.left + mw;
            }
            if (style & DT_RIGHT) rect.left = rect.right - mw;
        }
        if (style & DT_VCENTER) {
            rect.top += height / 2 - mh / 2;
            rect.bottom = rect.top + mh;
        }
        if (style & DT_BOTTOM) rect.top = rect.bottom - mh;
    }
    RichText walk(hdc, manager, rect, colour, base, style);
    walk.Run(text.c_str());
    if (!drawing) {
        rect.bottom = walk.Bottom();
        rect.right = std::min<LONG>(rect.right, walk.Widest());
    }
    VLRenderClip::Restore(clip);
    SelectObject(hdc, oldFont);
}

} // namespace Velora::VLRenderEngine
