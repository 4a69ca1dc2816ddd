#pragma once
// The drop-down list laid over one cell of a combo list; shared by every cell, its window lives for one edit.

#include "controls/InPlaceEditor.h"

#include <string>
#include <vector>

namespace kavrel {

class CInPlaceCombo : public InPlaceEditor {
public:
    CInPlaceCombo() = default;

    void SetItems(std::vector<std::wstring> items) { items_ = std::move(items); }
    const std::vector<std::wstring>& Items() const noexcept { return items_; }

protected:
    bool ProcessMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;
    bool ProcessReflectedMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;

private:
    friend struct CInPlaceComboMap;

    LRESULT OnCreate(WPARAM wparam, LPARAM lparam);
    LRESULT OnKillFocus(WPARAM wparam, LPARAM lparam);
    LRESULT OnChar(WPARAM wparam, LPARAM lparam);
    LRESULT OnKeyDown(WPARAM wparam, LPARAM lparam);
    LRESULT OnGetDlgCode(WPARAM wparam, LPARAM lparam);
    LRESULT OnCloseUp(WPARAM wparam, LPARAM lparam);

    std::wstring SelectedText() const;

    std::vector<std::wstring> items_;
};

} // namespace kavrel
