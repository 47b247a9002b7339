// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "port_map.h"

namespace tessal::link {

// The machine's serial devices as Qt's serial-port enumeration lists them.
class QtPortEnumerator final : public PortEnumerator {
  public:
    std::vector<PortInfo> ports() const override;
    // On Windows also a COM name that the system's device list lacks but
    // that opens, or is held by another program: a port that a driver, or
    // Wine's link to a Unix device, makes without listing it.
    bool exists(const std::string& device) const override;
};

} // namespace tessal::link
