#pragma once

namespace kavrel::engine {

// Every port and every TcpClient holds a descriptor: 255 links with 4 clients each pass Linux's default
// soft limit of 1024. Raises the soft limit to the hard one; nothing to do where there is no such limit.
void RaiseDescriptorLimit() noexcept;

} // namespace kavrel::engine
