#pragma once
// The drop-down list laid over one cell of a combo list; shared by every cell, its window lives for one edit.

#include "controls/InPlaceEditor.h"
#include "framework/MessageMap.h"

#include <span>
#include <string>
#include <vector>

namespace kavrel {

class CInPlaceCombo : public win::MappedWindow<CInPlaceCombo, InPlaceEditor> {
public:
    static std::span<const win::MessageEntry<CInPlaceCombo>> MessageMap();
    CInPlaceCombo() = default;

    void SetItems(std::vector<std::wstring> items) { items_ = std::move(items); }
    const std::vector<std::wstring>& Items() const noexcept { return items_; }

protected:
    bool ProcessReflectedMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;

private:
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
