// Timer-driven effects on controls: sliding a control to a new place, cycling
// an image's source rectangle, rolling text and rocking an image. Effects act
// by moving the control or by rewriting keys of its effect descriptor, which
// painting applies.
#pragma once

#include <windows.h>

#include <cstdint>
#include <list>
#include <memory>
#include <vector>

namespace Velora {

class VLControl;

enum VLEffectType : int32_t {
    kEffectMove = 0x2001,
    kEffectSourceSlide = 0x2002,
    kEffectRollText = 0x2003,
    kEffectNone = 0x2004,
    kEffectRock = 0x2005,
    kEffectRotate = 0x2006,
};

struct VLAnimationItem {
    VLControl* control = nullptr;
    uint32_t timerId = 0;
    uint32_t period = 0;
    HWND window = nullptr;
    int32_t type = 0;
    int32_t frameLimit = 0; // 0: endless (a move always ends)
    int32_t frame = 0;
    bool restoreOnStop = false;
    double finalAngle = 0.0;
    std::vector<double> angles;
    bool linear = false;
    int targetX = 0;
    int targetY = 0;
    int startX = 0;
    int startY = 0;
    std::vector<RECT> sources;
    RECT finalSource = {};
    int rollStep = 0;
};

class VLAnimationManager {
public:
    VLAnimationManager() = default;
    virtual ~VLAnimationManager();
    VLAnimationManager(const VLAnimationManager&) = delete;
    VLAnimationManager& operator=(const VLAnimationManager&) = delete;

    // The caller may pass a pre-filled item; the type's period and settings
    // override its fields. False (and the item freed) when the control has no
    // live window, the effect already runs, or no timer could be made.
    bool StartAnimation(VLControl* control, int32_t type, std::unique_ptr<VLAnimationItem> item = nullptr);
    // Puts the control into the effect's final state when the item asks for
    // it; a stopped move reports its end once.
    bool StopAnimation(VLControl* control, int32_t type);
    // Ends every effect silently: only the manager's destruction calls it,
    // when neither the controls nor the listeners may be touched any more.
    void StopAll();
    // Ends every effect of a control that is being destroyed, with no final
    // state and no notification.
    void DropControl(VLControl* control);
    void OnTimer(uint32_t timerId);
    VLAnimationItem* FindItem(VLControl* control, int32_t type);
    bool UsesTimer(uint32_t timerId) const;

private:
    struct Entry {
        uint64_t serial;
        std::unique_ptr<VLAnimationItem> item;
    };
    typedef std::list<Entry>::iterator EntryIt;

    EntryIt Find(VLControl* control, int32_t type);
    EntryIt FindSerial(uint64_t serial);
    // Takes the entry out of the list and kills its timer.
    std::unique_ptr<VLAnimationItem> Remove(EntryIt it);
    static bool StepItem(VLAnimationItem& item);
    static bool StepMove(VLAnimationItem& item);
    static void ApplyFinalState(VLAnimationItem& item);

    std::list<Entry> entries_;
    uint64_t nextSerial_ = 1;
};

} // namespace Velora
