#pragma once
// The named network namespaces of the system: the files of a directory (/run/netns, where
// `ip netns` keeps them), watched with inotify. A directory that does not exist yet is
// waited for through its parent. The owner calls `handleReadable` when fd() is readable;
// `onChange(name, present)` runs per namespace that came or went.

#include <functional>
#include <set>
#include <string>

namespace Netlink {

class NamespaceWatcher {
 public:
  using Handler = std::function<void(std::string const& name, bool present)>;

  // Throws std::system_error when inotify cannot be set up.
  NamespaceWatcher(std::string dir, Handler onChange);
  ~NamespaceWatcher();
  NamespaceWatcher(NamespaceWatcher const&) = delete;
  NamespaceWatcher& operator=(NamespaceWatcher const&) = delete;

  int fd() const { return fd_; }
  std::string const& dir() const { return dir_; }
  std::set<std::string> const& names() const { return names_; }
  bool has(std::string const& name) const { return names_.count(name) != 0; }

  void handleReadable();

 private:
  // Watches the directory if it exists, else its parent; reads what the directory holds.
  void doWatch();
  void nameIs(std::string const& name, bool present);

  std::string dir_;
  Handler onChange_;
  int fd_ = -1;
  int dirWatch_ = -1;
  int parentWatch_ = -1;
  std::set<std::string> names_;
};

}  // namespace Netlink
