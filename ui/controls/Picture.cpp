#include "ui/controls/Picture.h"

#include "ui/controls/GifReader.h"

#include "ui/core/PaintManager.h"
#include "ui/core/RenderEngine.h"
#include "ui/core/UIResources.h"

#include "base/ComScope.h"
#include "base/File.h"
#include "base/Thread.h"

#include <algorithm>
#include <cstring>

namespace Velora {

namespace {

// Decodes a memory block with the system's picture loader. A block handed
// over to the stream is freed with it, or at once when no stream is made.
IPicture* DecodePicture(HGLOBAL block, uint32_t size, bool streamOwnsBlock)
{
    VLComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(block, streamOwnsBlock, stream.Put()))) {
        if (streamOwnsBlock) GlobalFree(block);
        return nullptr;
    }
    IPicture* picture = nullptr;
    if (FAILED(OleLoadPicture(stream.Get(), static_cast<LONG>(size), FALSE, IID_IPicture,
                              reinterpret_cast<void**>(&picture))))
        return nullptr;
    return picture;
}

SIZE HimetricSize(IPicture* picture)
{
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    picture->get_Width(&width);
    picture->get_Height(&height);
    return {width, height};
}

// Draws the picture upright into the rectangle.
bool RenderPicture(IPicture* picture, HDC dc, int x, int y, int width, int height)
{
    SIZE himetric = HimetricSize(picture);
    return SUCCEEDED(picture->Render(dc, x, y, width, height, 0, himetric.cy, himetric.cx, -himetric.cy, nullptr));
}

RECT FrameRect(const VLPictureFrame& frame)
{
    return {frame.offset.x, frame.offset.y, frame.offset.x + frame.size.cx, frame.offset.y + frame.size.cy};
}

} // namespace

VLPicture::VLPicture() : stopEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

VLPicture::~VLPicture()
{
    Clear();
}

int VLPicture::GetClassId() const
{
    return kClassPicture;
}

VLControl* VLPicture::GetInterface(int id)
{
    return id == kClassPicture || id == 1 ? this : nullptr;
}

void VLPicture::SetPos(const RECT& rect)
{
    // Only a still picture counts as loaded: an animation is read again, and
    // so restarts, at every positioning.
    const std::wstring& descriptor = images[kImageNormal];
    if (!still_ && !descriptor.empty()) {
        std::wstring file = VLRenderEngine::GetDescriptorFile(descriptor);
        int res = VLRenderEngine::GetDescriptorRes(descriptor);
        if (!file.empty())
            LoadFile(file);
        else if (res != 0)
            LoadResourceImage(res & 0xFFFF, VLRenderEngine::GetDescriptorResType(descriptor));
    }
    LayoutHorizontal(rect);
    std::lock_guard<std::mutex> lock(canvasLock_);
    threadRect_ = GetPos();
}

bool VLPicture::LoadFile(const std::wstring& path)
{
    VLFile file;
    uint64_t size = 0;
    if (!file.Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL) || !file.GetSize(size) ||
        size == 0 || size > 0xFFFFFFFFu)
        return false;
    VLGlobalMemory block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(size)));
    VLGlobalLock bytes;
    if (!block.Get() || !bytes.Lock(block.Get())) return false;
    uint32_t total = static_cast<uint32_t>(size);
    for (uint32_t done = 0; done < total;) {
        DWORD read = 0;
        if (!file.Read(static_cast<uint8_t*>(bytes.Get()) + done, total - done, &read)) return false;
        done += read;
    }
    bytes.Reset();
    file.Close();
    return LoadData(block.Get(), total);
}

bool VLPicture::LoadResourceImage(int id, const std::wstring& type)
{
    HINSTANCE instance = VLUIResources::Instance()->GetInstance();
    HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(id), type.c_str());
    HGLOBAL loaded = resource ? LoadResource(instance, resource) : nullptr;
    DWORD size = resource ? SizeofResource(instance, resource) : 0;
    const void* source = loaded ? LockResource(loaded) : nullptr;
    if (!source || size == 0) return false;
    VLGlobalMemory block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size));
    VLGlobalLock bytes;
    if (!block.Get() || !bytes.Lock(block.Get())) return false;
    std::memcpy(bytes.Get(), source, size);
    bytes.Reset();
    return LoadData(block.Get(), size);
}

bool VLPicture::LoadData(HGLOBAL block, uint32_t size)
{
    Clear();
    VLGlobalLock lock;
    if (!lock.Lock(block)) return false;
    const uint8_t* data = static_cast<const uint8_t*>(lock.Get());
    // The block may be larger than asked for; only the given size is read.
    size = static_cast<uint32_t>(std::min<SIZE_T>(size, GlobalSize(block)));
    if (!VLGifReader::IsGif(data, size)) {
        lock.Reset();
        return LoadStill(block, size, false) && CreateCanvas();
    }
    isGif_ = true;
    VLGifReader reader;
    if (!reader.Open(data, size)) return false;
    pictureSize_ = reader.GetScreenSize();
    uint32_t count = reader.CountFrames();
    if (count == 0) return false;
    if (count == 1) {
        lock.Reset();
        return LoadStill(block, size, true) && CreateCanvas();
    }
    LoadFrames(reader);
    return !frames_.empty() && CreateCanvas();
}

bool VLPicture::LoadStill(HGLOBAL block, uint32_t size, bool keepSize)
{
    still_ = DecodePicture(block, size, false);
    if (!still_) return false;
    if (keepSize) return true;
    pictureSize_ = HimetricSize(still_);
    VLPaintManager* manager = GetManager();
    if (manager && manager->GetPaintDC()) {
        pictureSize_.cx = MulDiv(pictureSize_.cx, GetDeviceCaps(manager->GetPaintDC(), LOGPIXELSX), 2540);
        pictureSize_.cy = MulDiv(pictureSize_.cy, GetDeviceCaps(manager->GetPaintDC(), LOGPIXELSY), 2540);
    }
    return true;
}

void VLPicture::LoadFrames(VLGifReader& reader)
{
    VLGifFrame frame;
    while (reader.ExtractFrame(frame)) {
        HGLOBAL memory = GlobalAlloc(GMEM_FIXED, frame.bytes.size());
        if (!memory) continue;
        std::memcpy(memory, frame.bytes.data(), frame.bytes.size());
        IPicture* picture = DecodePicture(memory, static_cast<uint32_t>(frame.bytes.size()), true);
        if (!picture) continue; // a frame that does not decode is left out
        frames_.push_back({picture, frame.size, frame.offset, frame.delay, frame.disposal});
    }
}

bool VLPicture::CreateCanvas()
{
    VLPaintManager* manager = GetManager();
    if (!manager || !manager->GetPaintDC()) return false;
    VLMemoryDC dc(CreateCompatibleDC(manager->GetPaintDC()));
    if (!dc) return false;
    VLBitmap bitmap(CreateCompatibleBitmap(manager->GetPaintDC(), pictureSize_.cx, pictureSize_.cy));
    if (!bitmap) return false;
    {
        std::lock_guard<std::mutex> lock(canvasLock_);
        canvasPrevious_ = SelectObject(dc.Get(), bitmap.Get());
        canvasDC_ = std::move(dc);
        canvasBitmap_ = std::move(bitmap);
        threadWindow_ = manager->GetWindow();
    }
    backgroundColour_ = GetSysColor(COLOR_3DFACE);
    RECT all = {0, 0, pictureSize_.cx, pictureSize_.cy};
    FillRect(canvasDC_.Get(), &all, reinterpret_cast<HBRUSH>(COLOR_MENU + 1));
    return StartPlayback();
}

bool VLPicture::StartPlayback()
{
    if (isGif_ && frames_.size() > 1) {
        if (!thread_) thread_ = std::make_unique<VLThread>(&VLPicture::AnimationThreadProc, this);
        if (!thread_->Start()) {
            thread_.reset();
            return false;
        }
        return true;
    }
    if (!still_ || !RenderPicture(still_, canvasDC_.Get(), 0, 0, pictureSize_.cx, pictureSize_.cy)) return false;
    Invalidate();
    return true;
}

void VLPicture::AnimationThreadProc(void* control)
{
    auto* self = static_cast<VLPicture*>(control);
    self->playing_ = true;
    self->Animate();
    self->playing_ = false;
}

void VLPicture::Animate()
{
    DisposeFrame(frames_[currentFrame_ % frames_.size()]);
    while (!stopRequested_) {
        const VLPictureFrame& frame = frames_[currentFrame_ % frames_.size()];
        if (frame.picture) {
            ShowFrame(frame);
            InvalidateFromThread();
        }
        if (stopRequested_) return;
        // 32-bit on purpose: a frame without a delay rests until stopped.
        DWORD wait = frame.delay < 5 ? 100 : frame.delay * 10;
        WaitForSingleObject(stopEvent_.Get(), wait);
        if (stopRequested_) return;
        DisposeFrame(frame);
        if (++currentFrame_ >= frames_.size()) {
            currentFrame_ = 0;
            FillBackground({0, 0, pictureSize_.cx, pictureSize_.cy});
        }
    }
}

void VLPicture::ShowFrame(const VLPictureFrame& frame)
{
    std::lock_guard<std::mutex> lock(canvasLock_);
    if (frame.disposal == 3) {
        DeleteSavedBackground();
        savedDC_.Reset(CreateCompatibleDC(canvasDC_.Get()));
        savedBitmap_.Reset(CreateCompatibleBitmap(canvasDC_.Get(), frame.size.cx, frame.size.cy));
        if (savedDC_ && savedBitmap_) {
            savedPrevious_ = SelectObject(savedDC_.Get(), savedBitmap_.Get());
            BitBlt(savedDC_.Get(), 0, 0, frame.size.cx, frame.size.cy, canvasDC_.Get(), frame.offset.x, frame.offset.y,
                   SRCCOPY);
        } else {
            savedDC_.Reset();
            savedBitmap_.Reset();
        }
    }
    RenderPicture(frame.picture, canvasDC_.Get(), frame.offset.x, frame.offset.y, frame.size.cx, frame.size.cy);
}

void VLPicture::DisposeFrame(const VLPictureFrame& frame)
{
    if (frame.disposal == 2) return FillBackground(FrameRect(frame));
    std::lock_guard<std::mutex> lock(canvasLock_);
    if (!savedDC_ || frame.disposal != 3) return;
    BitBlt(canvasDC_.Get(), frame.offset.x, frame.offset.y, frame.size.cx, frame.size.cy, savedDC_.Get(), 0, 0,
           SRCCOPY);
    DeleteSavedBackground();
}

void VLPicture::DeleteSavedBackground()
{
    if (savedDC_ && savedPrevious_) SelectObject(savedDC_.Get(), savedPrevious_);
    savedPrevious_ = nullptr;
    savedDC_.Reset();
    savedBitmap_.Reset();
}

void VLPicture::FillBackground(const RECT& rect)
{
    std::lock_guard<std::mutex> lock(canvasLock_);
    VLBrush brush(CreateSolidBrush(backgroundColour_));
    FillRect(canvasDC_.Get(), &rect, brush.Get());
}

void VLPicture::InvalidateFromThread()
{
    HWND window;
    RECT rect;
    {
        std::lock_guard<std::mutex> lock(canvasLock_);
        window = threadWindow_;
        rect = threadRect_;
    }
    if (window) InvalidateRect(window, &rect, FALSE);
}

void VLPicture::StopPlayback()
{
    playing_ = false;
    stopRequested_ = true;
    SetEvent(stopEvent_.Get());
    if (thread_) {
        // The thread waits only on the stop event and never on this thread,
        // so the join always ends.
        if (thread_->data && thread_->data->handle.Valid()) thread_->Wait();
        thread_.reset();
    }
    ResetEvent(stopEvent_.Get());
    stopRequested_ = false;
}

void VLPicture::Clear()
{
    StopPlayback();
    if (still_) still_->Release();
    still_ = nullptr;
    for (VLPictureFrame& frame : frames_)
        if (frame.picture) frame.picture->Release();
    frames_.clear();
    std::lock_guard<std::mutex> lock(canvasLock_);
    if (canvasDC_ && canvasPrevious_) SelectObject(canvasDC_.Get(), canvasPrevious_);
    canvasPrevious_ = nullptr;
    canvasDC_.Reset();
    canvasBitmap_.Reset();
    DeleteSavedBackground();
    currentFrame_ = 0;
    isGif_ = false;
    backgroundColour_ = 0xFFFFFF;
}

void VLPicture::Paint(HDC dc, const RECT& paintRect)
{
    if (!IsVisible()) return;
    RECT pos = GetPos(), meet;
    if (IntersectRect(&meet, &paintRect, &pos)) {
        std::lock_guard<std::mutex> lock(canvasLock_);
        if (canvasDC_) VLRenderEngine::StretchCopy(dc, pos, canvasDC_.Get(), {0, 0, pictureSize_.cx, pictureSize_.cy});
    }
    VLButton::Paint(dc, paintRect);
}

} // namespace Velora
