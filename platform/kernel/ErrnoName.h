#pragma once
// Names of the errno values an operator writes in a `fault` statement ("ENODEV", "ENOBUFS",
// ...) and reads in kernel call records.

#include <optional>
#include <string>
#include <string_view>

namespace Kernel {

// The number of a known errno name; nullopt for any other text.
std::optional<int> errnoFromName(std::string_view name);

// The name of an errno value, or its decimal number when it has no name here.
std::string errnoName(int error);

// Every known name, comma-separated, for a refusal to list.
std::string errnoNames();

}  // namespace Kernel
