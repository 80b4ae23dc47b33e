#pragma once
// Every message of the sys module, in one place.
#include <string_view>

#include "runtime/arguments.h"

namespace veltro::sys_messages {

inline constexpr std::string_view kNoSuchFunction = "Sys module has no function '{}'";

inline constexpr ArgumentMessages kArguments{
    "sys.{} expects {} arguments but got {}",
    "sys.{} expects {} as argument {}, got {}",
};

inline constexpr std::string_view kBadSleep = "sys.sleep expects a number of seconds that is at least 0, got {}";
inline constexpr std::string_view kBadStatus = "sys.exit expects a status from 0 to 255, got {}";

}  // namespace veltro::sys_messages
