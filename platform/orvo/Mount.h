#pragma once
// One state-database mount: a path, the type name of the entity there, and flags.
// Flags: 'r' read, 'w' write (the mounter publishes there), 'i' the mounter follows the
// whole subtree below the path (a directory of published entries), not just one entity.

#include <string>

namespace Orvo {

class Mount {
 public:
  // Throws std::invalid_argument for an empty path or an unknown or missing access flag.
  Mount(std::string path, std::string typeName, std::string flags);

  std::string const& path() const { return path_; }
  std::string const& typeName() const { return typeName_; }
  std::string const& flags() const { return flags_; }
  bool writable() const { return flags_.find('w') != std::string::npos; }
  bool subtree() const { return flags_.find('i') != std::string::npos; }

  friend bool operator==(Mount const&, Mount const&) = default;

 private:
  std::string path_;
  std::string typeName_;
  std::string flags_;
};

}  // namespace Orvo
