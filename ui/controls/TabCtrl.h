// The tab strip: it holds only tab items, puts them all in one option group,
// applies a shared attribute list to each, lays them out in a row or a
// column, remembers the selected tab and reports a change of selection.
#pragma once

#include "ui/controls/TabItem.h"
#include "ui/core/Container.h"

namespace Velora {

class VLTabCtrl : public VLContainer {
public:
    int GetClassId() const override;
    VLControl* GetInterface(int id) override;
    void SetPos(const RECT& rect) override;
    // A strip without tabs is not shown.
    bool IsVisible() const override;
    // The selected tab's page repaints with the strip.
    void Invalidate() override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;
    // Only tab items are taken.
    bool Add(VLControl* item) override;
    bool AddAt(VLControl* item, int index) override;
    bool Remove(VLControl* item) override;
    bool RemoveAt(int index) override;
    void RemoveAll() override;

    // Called by a tab that becomes selected.
    void SelectItem(VLTabItem* item);
    VLTabItem* GetSelected() const { return selected_; }
    VLTabItem* GetPrevious() const { return previous_; }

private:
    void SetGroup(int group);
    void Forget(VLControl* item);

    bool vertical_ = false;
    std::wstring itemAttributes_;
    VLTabItem* selected_ = nullptr;
    VLTabItem* previous_ = nullptr;
    int group_ = 0;
};

} // namespace Velora
