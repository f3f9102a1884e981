// A control that shows a still picture or an animated GIF. The image named by
// its "normalimage" is read the first time the control is positioned and
// decoded by the system's picture loader into an off-screen canvas of the
// picture's own size, which every paint stretches over the control. An
// animated GIF is cut into stand-alone frames that one thread per control
// composes into the canvas in turn, honouring each frame's delay and disposal.
#pragma once

#include "ui/core/Button.h"

#include "base/GdiScope.h"
#include "base/Handles.h"
#include "base/Thread.h"

#include <ocidl.h>
#include <olectl.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace Velora {

class VLGifReader;

constexpr int kClassPicture = 18;

struct VLPictureFrame {
    IPicture* picture = nullptr; // released when the frames are cleared
    SIZE size = {0, 0};
    POINT offset = {0, 0};
    uint32_t delay = 0; // hundredths of a second; 0xFFFFFFFF rests on the frame
    uint32_t disposal = 0;
};

class VLPicture : public VLButton {
public:
    VLPicture();
    ~VLPicture() override;

    int GetClassId() const override;
    VLControl* GetInterface(int id) override;
    // Loads the image on the first positioning (an animation restarts on each),
    // then places the items side by side whatever the layout type.
    void SetPos(const RECT& rect) override;
    // The canvas stretched over the control, then the control's own looks.
    void Paint(HDC dc, const RECT& paintRect) override;

    // Opens an existing file only: a missing file fails without creating one.
    bool LoadFile(const std::wstring& path);
    bool LoadResourceImage(int id, const std::wstring& type);
    // Reads the block (GIF or anything the picture loader decodes); the
    // caller keeps and frees it.
    bool LoadData(HGLOBAL block, uint32_t size);
    // Stops the animation and lets go of pictures, frames and canvas.
    void Clear();
    // Ends the animation thread and waits for it; safe when none runs.
    void StopPlayback();

    SIZE GetPictureSize() const { return pictureSize_; }
    size_t GetFrameCount() const { return frames_.size(); }
    uint32_t GetCurrentFrame() const { return currentFrame_; }
    bool IsPlaying() const { return playing_; }
    bool IsAnimating() const { return thread_ != nullptr; }
    COLORREF GetBackgroundColour() const { return backgroundColour_; }

private:
    // Decodes the block as one picture; keepSize keeps the GIF's logical
    // screen size instead of the picture's own.
    bool LoadStill(HGLOBAL block, uint32_t size, bool keepSize);
    void LoadFrames(VLGifReader& reader);
    bool CreateCanvas();
    bool StartPlayback();
    static void AnimationThreadProc(void* control);
    void Animate();
    // The area under a frame of disposal 3 is saved before it shows.
    void ShowFrame(const VLPictureFrame& frame);
    void DisposeFrame(const VLPictureFrame& frame);
    void FillBackground(const RECT& rect);
    void DeleteSavedBackground();
    // The thread asks for a repaint of the control's area of the window; it
    // never lays out or paints itself.
    void InvalidateFromThread();

    SIZE pictureSize_ = {0, 0};
    COLORREF backgroundColour_ = 0xFFFFFF;
    std::atomic<uint32_t> currentFrame_{0};
    bool isGif_ = false;
    std::atomic<bool> playing_{false};
    VLMemoryDC savedDC_;
    VLBitmap savedBitmap_;
    HGDIOBJ savedPrevious_ = nullptr;
    VLMemoryDC canvasDC_;
    VLBitmap canvasBitmap_;
    HGDIOBJ canvasPrevious_ = nullptr;
    IPicture* still_ = nullptr;
    std::vector<VLPictureFrame> frames_;
    VLThreadPtr thread_;
    std::atomic<bool> stopRequested_{false};
    VLHandle stopEvent_;
    // Held by whoever draws the canvas or the saved background: the
    // animation thread for each frame, the UI thread while it paints.
    std::mutex canvasLock_;
    HWND threadWindow_ = nullptr; // under canvasLock_
    RECT threadRect_ = {};        // under canvasLock_
};

} // namespace Velora
