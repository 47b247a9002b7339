#pragma once

#include "link/port_map.h"

#include <vector>

namespace tessal::testing {

// A machine with exactly the serial devices a test lists.
class MadeUpPorts : public link::PortEnumerator {
  public:
    std::vector<link::PortInfo> ports() const override { return list; }
    std::vector<link::PortInfo> list;
};

} // namespace tessal::testing
