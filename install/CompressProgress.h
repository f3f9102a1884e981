// The listener of package extraction: it learns where extraction stands, is
// asked whether to go on after a failure, and holds the pause and cancel state
// that the extracting thread and the converters' callbacks obey.
#pragma once

#include "base/Event.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace Velora {

class VLTocNode;

// Event codes carried by VLUnpackEvent.
enum : uint32_t {
    kEventCreateFailed = 0x10000001,   // value 1: output path; value 2: Win32 error or 183
    kEventPackageFailed = 0x10000002,  // value 1: empty text; value 2: Win32 error
    kEventWriteFailed = 0x10000003,    // value 1: target folder or output path; value 2: Win32 error or 183
    kEventDeleteFailed = 0x10000004,   // value 1: output path; value 2: Win32 error
    kEventPutBackFailed = 0x10000005,  // value 1: the kept copy left in place, with its original; value 2: Win32 error
    kEventRegistryKeyFailed = 0x20000001,
    kEventRegistryValueFailed = 0x20000002,
    kEventBadPackage = 0x30000001,     // value 1: 3 version, 4 TOC length, 8 TOC content
    kEventDecodeFailed = 0x30000003,   // values: low and high 32 bits of the package position, or 0 and 0
    kEventScriptFailed = 0x40000001,
};

// Values 1 and 2 hold a number or a text, depending on the code.
union VLEventValue {
    uint32_t number;
    const wchar_t* text;
};

// Valid only during the OnEvent call it is handed to.
struct VLUnpackEvent {
    uint32_t code = 0;
    VLEventValue value1 = {0};
    VLEventValue value2 = {0};
    uint32_t value3 = 0;
    uint32_t value4 = 0;
    // A file event about a kept copy (value 1): the name the file had.
    const wchar_t* original = nullptr;
};

// One line naming the event: its code, then the path and the system's error
// for a file event, or its two numbers.
std::wstring DescribeEvent(const VLUnpackEvent& event);

class VLCompressProgress {
public:
    VLCompressProgress();
    virtual ~VLCompressProgress();
    VLCompressProgress(const VLCompressProgress&) = delete;
    VLCompressProgress& operator=(const VLCompressProgress&) = delete;

    virtual void OnBegin() {}
    virtual void OnEntryBegin(const VLTocNode& node) {}
    virtual void OnProgress(double overallPercent, double entryPercent) {}
    virtual void OnEntryEnd(const VLTocNode& node) {}
    // Called when an extraction ends normally, and once when one ends because
    // it was cancelled.
    virtual void OnEnd(bool cancelled) {}
    virtual void SetPaused(bool paused);
    virtual bool IsCancelled() { return cancelled; }
    // True skips the entry the event is about; false stops the extraction.
    virtual bool OnEvent(const VLUnpackEvent* event) { return false; }

    // Blocks while paused; returns at once when running (or when the pause
    // event could not be made, so that nothing ever waits for ever on it).
    void WaitWhilePaused();
    // Sleeps the throttle when one is set.
    void Throttle();

    static constexpr uint32_t kNoThrottle = 0xFFFFFFFF;
    // Milliseconds to sleep at each conversion step.
    std::atomic<uint32_t> throttle{kNoThrottle};
    // Written by the thread that cancels, read by the extracting thread.
    std::atomic<bool> cancelled{false};
    // Manual-reset: signalled while running, reset while paused.
    VLEvent pauseEvent;
};

} // namespace Velora
