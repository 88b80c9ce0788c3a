// How a refusal reads: the message of the Exception an action raises.

#pragma once

#include <functional>
#include <string>

#include "drawing/exception.h"

namespace support {

// The message of the Exception `action` raises, or "(nothing raised)".
inline std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(nothing raised)";
}

}  // namespace support
