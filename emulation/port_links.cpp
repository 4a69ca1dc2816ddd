#include "emulation/port_links.h"

#include "core/status_texts.h"
#include "emulation/init_strings.h"

#include <algorithm>

namespace kavrel {

namespace {

constexpr const wchar_t* kConnectorFailed = L"Error: can not create connector device\n";
constexpr const wchar_t* kSplitterFailed = L"Error: can not create splitter device\n";
constexpr const wchar_t* kTcpClientFailed = L"Error: can not create TcpClient device\n";

} // namespace

PortLinks::PortLinks(SerialEngine& engine, DeviceRows& rows, Buttons& buttons, Notifier& notifier)
    : engine_(engine), rows_(rows), buttons_(buttons), notifier_(notifier) {}

void PortLinks::OnCheckChanged(int row, CheckChange change) {
    if (closed_ || row < 0 || row >= rows_.RowCount()) {
        return;
    }
    if (change == CheckChange::Ticked) {
        CreateLink(row);
    } else if (change == CheckChange::Unticked) {
        RemoveLink(row);
    }
}

bool PortLinks::CreateLink(int row) {
    if (closed_) {
        return false;
    }
    if (IsLinked(row)) {
        // Ticked again after the program unticked it: it already has its TcpClient.
        return true;
    }
    const std::wstring comName = rows_.CellText(row, kColumnComPort);
    auto link = FindByComName(comName);
    if (link == links_.end()) {
        PortLink made;
        made.comName = comName;
        made.connectorId = engine_.CreateDevice(kConnectorType, ConnectorInit(comName));
        if (made.connectorId == -1) {
            FailTick(row, kConnectorFailed);
            return false;
        }
        made.linkNumber = FreeLinkNumber();
        made.splitterId = engine_.CreateDevice(kSplitterType, SplitterInit(made.linkNumber, comName));
        if (made.splitterId == -1) {
            engine_.DestroyDevice(made.connectorId);
            FailTick(row, kSplitterFailed);
            return false;
        }
        links_.push_back(std::move(made));
        link = links_.end() - 1;
        buttons_.Enable(DialogControl::Start, true);
    }

    const std::int32_t clientId =
        engine_.CreateDevice(kTcpClientType, TcpClientInit(rows_.CellText(row, kColumnIpAddress),
                                                           rows_.CellText(row, kColumnTcpPort), link->linkNumber));
    if (clientId == -1) {
        if (link->tcpClientIds.empty()) {
            engine_.DestroyDevice(link->connectorId);
            engine_.DestroyDevice(link->splitterId);
            links_.erase(link);
        }
        FailTick(row, kTcpClientFailed);
        return false;
    }
    link->tcpClientIds.push_back(clientId);
    rowClients_[row] = clientId;
    rows_.SetItemData(row, clientId);
    rows_.SetCellText(row, kColumnStatus, kStatusEnable);
    return true;
}

bool PortLinks::RemoveLink(int row) {
    const auto own = rowClients_.find(row);
    if (closed_ || own == rowClients_.end()) {
        return false;
    }
    const std::int32_t clientId = own->second;
    rowClients_.erase(own);
    const auto link = FindByClient(clientId);
    if (link == links_.end()) {
        return false; // cannot happen: every recorded client belongs to a live link
    }
    auto& ids = link->tcpClientIds;
    ids.erase(std::find(ids.begin(), ids.end(), clientId));
    engine_.DestroyDevice(clientId);
    rows_.SetCellText(row, kColumnStatus, kStatusDisable);
    if (ids.empty()) {
        engine_.DestroyDevice(link->splitterId);
        engine_.DestroyDevice(link->connectorId);
        links_.erase(link);
    }
    return true;
}

bool PortLinks::RestoreComPort(int row) {
    const PortLink* link = LinkOfRow(row);
    if (link == nullptr || rows_.CellText(row, kColumnComPort) == link->comName) {
        return false;
    }
    rows_.SetCellText(row, kColumnComPort, link->comName);
    return true;
}

std::optional<std::int32_t> PortLinks::LinkedClient(int row) const {
    const auto own = rowClients_.find(row);
    if (own == rowClients_.end()) {
        return std::nullopt;
    }
    return own->second;
}

void PortLinks::Close() {
    links_.clear();
    rowClients_.clear();
    closed_ = true;
}

void PortLinks::FailTick(int row, const wchar_t* message) {
    rows_.SetChecked(row, false);
    // Last, since the message box runs a message loop: whatever it dispatches (the tray menu's Exit
    // among them) must find the table and the engine as they were before the tick.
    notifier_.Show(message);
}

std::int32_t PortLinks::FreeLinkNumber() const {
    std::int32_t number = kFirstLinkNumber;
    while (std::any_of(links_.begin(), links_.end(), [number](const PortLink& l) { return l.linkNumber == number; })) {
        ++number;
    }
    return number;
}

std::vector<PortLink>::iterator PortLinks::FindByComName(const std::wstring& comName) {
    return std::find_if(links_.begin(), links_.end(), [&](const PortLink& l) { return l.comName == comName; });
}

std::vector<PortLink>::iterator PortLinks::FindByClient(std::int32_t clientId) {
    return std::find_if(links_.begin(), links_.end(), [clientId](const PortLink& l) {
        return std::find(l.tcpClientIds.begin(), l.tcpClientIds.end(), clientId) != l.tcpClientIds.end();
    });
}

const PortLink* PortLinks::LinkOfRow(int row) const {
    const auto client = LinkedClient(row);
    if (!client) {
        return nullptr;
    }
    for (const auto& link : links_) {
        if (std::find(link.tcpClientIds.begin(), link.tcpClientIds.end(), *client) != link.tcpClientIds.end()) {
            return &link;
        }
    }
    return nullptr;
}

} // namespace kavrel
