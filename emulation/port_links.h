#pragma once
// The link table: which engine devices stand behind each ticked device row.

#include "core/buttons.h"
#include "core/device_rows.h"
#include "core/notifier.h"
#include "emulation/port_link.h"
#include "emulation/serial_engine.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kavrel {

class PortLinks {
public:
    PortLinks(SerialEngine& engine, DeviceRows& rows, Buttons& buttons, Notifier& notifier);
    PortLinks(const PortLinks&) = delete;
    PortLinks& operator=(const PortLinks&) = delete;

    // A user's tick links the row, an untick unlinks it; the rows report the program's own changes
    // (and insertions, selection, focus) as CheckChange::None.
    void OnCheckChanged(int row, CheckChange change);

    // Both report whether the row is linked afterwards / was unlinked.
    bool CreateLink(int row);
    bool RemoveLink(int row);

    // A linked row's devices sit on the port it was linked with, so its COM Port must not change: after
    // an edit of the row's COM Port, puts the linked port's name back. True when it did.
    bool RestoreComPort(int row);

    bool IsLinked(int row) const { return rowClients_.count(row) > 0; }
    // The row's own TcpClient while the row is linked.
    std::optional<std::int32_t> LinkedClient(int row) const;

    const std::vector<PortLink>& Links() const { return links_; }

    // At exit, after the engine has destroyed every device: forget the links without engine calls.
    // From then on ticks do nothing, since the engine is gone.
    void Close();

private:
    void FailTick(int row, const wchar_t* message);
    std::int32_t FreeLinkNumber() const;
    std::vector<PortLink>::iterator FindByComName(const std::wstring& comName);
    std::vector<PortLink>::iterator FindByClient(std::int32_t clientId);
    const PortLink* LinkOfRow(int row) const;

    SerialEngine& engine_;
    DeviceRows& rows_;
    Buttons& buttons_;
    Notifier& notifier_;
    std::vector<PortLink> links_;
    // Row index (rows are never deleted) to its TcpClient: the untick removes this one, whatever the
    // row's cells say by then.
    std::map<int, std::int32_t> rowClients_;
    bool closed_ = false;
};

} // namespace kavrel
