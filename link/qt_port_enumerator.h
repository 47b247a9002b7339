// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "port_map.h"

namespace tessal::link {

// The machine's serial devices as Qt's serial-port enumeration lists them.
class QtPortEnumerator final : public PortEnumerator {
  public:
    std::vector<PortInfo> ports() const override;
};

} // namespace tessal::link
