#pragma once
// Names of entities, agents and collection members.

#include <string>

namespace Quib {

using Name = std::string;
using String = std::string;

}  // namespace Quib
