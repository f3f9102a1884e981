// What the check and repair threads tell the main window: one fixed-size
// record per step, queued for the UI thread, which takes one record for each
// WM_HARROW_STATUS it receives.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace Velora {

// Posted after each queued record; the UI takes one record per message.
constexpr UINT WM_HARROW_STATUS = WM_USER + 16;
// Posted by the repair thread as its last act, once its downloader and
// installer are gone: a cancelled repair's thread may still be finishing its
// step after the window has moved on.
constexpr UINT WM_HARROW_WORKER_ENDED = WM_USER + 17;
// Posted by the main window to itself after a repair ends or is cancelled.
constexpr UINT WM_HARROW_OFFER_CLIENT = WM_USER + 100;

enum class HarrowStatusType : int32_t {
    STATUS_DETECT_BEGIN = 1,         // pair: row count
    STATUS_DETECT_ITEM = 2,          // named: 1-based ordinal, row title
    STATUS_DETECT_RESULT = 3,        // pair: row index, installed flag
    STATUS_DETECT_DONE = 4,          // pair: installed count, missing count
    STATUS_REPAIR_NONE_SELECTED = 5, // no payload
    STATUS_REPAIR_BEGIN = 6,         // pair: rows to repair
    STATUS_REPAIR_DONE = 7,          // pair: succeeded, failed
    STATUS_DOWNLOAD_BEGIN = 8,       // named: ordinal, row title
    STATUS_DOWNLOAD_PROGRESS = 9,    // progress: total, downloaded, speed
    STATUS_INSTALL_BEGIN = 10,       // pair: ordinal, row index
    STATUS_INSTALL_PROGRESS = 11,    // pair: maximum (100), installer progress
    STATUS_ITEM_RESULT = 12,         // pair: success flag, row index
    STATUS_ITEM_BEGIN = 13,          // pair: row index
    STATUS_REPAIR_CANCELLED = 14,    // pair: row index
};

constexpr size_t kStatusNameLength = 256; // characters, terminator included

struct HarrowStatusRecord {
    struct Pair {
        int32_t value1;
        int32_t value2;
    };
    struct Named {
        int32_t value1;
        wchar_t name[kStatusNameLength];
    };
    struct Progress {
        uint64_t total;
        uint64_t downloaded;
        uint64_t speed;
    };

    HarrowStatusType type{}; // 0, no type: dropped
    union alignas(8) {
        Pair pair;
        Named named;
        Progress progress;
    } payload = {};

    // The flags of the detect-result and item-result records travel as 0 or 1
    // in their word.
    static HarrowStatusRecord MakePair(HarrowStatusType type, int32_t value1 = 0, int32_t value2 = 0);
    // A longer name is cut to 255 characters.
    static HarrowStatusRecord MakeNamed(HarrowStatusType type, int32_t value1, const std::wstring& name);
    static HarrowStatusRecord MakeProgress(uint64_t total, uint64_t downloaded, uint64_t speed);
};

} // namespace Velora
