#include "netlink/NamespaceWatcher.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

namespace Netlink {

namespace {

constexpr std::uint32_t dirEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;

}  // namespace

NamespaceWatcher::NamespaceWatcher(std::string dir, Handler onChange)
    : dir_(std::move(dir)), onChange_(std::move(onChange)) {
  while (dir_.size() > 1 && dir_.back() == '/') dir_.pop_back();
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "inotify_init1");
  doWatch();
}

NamespaceWatcher::~NamespaceWatcher() { ::close(fd_); }

void NamespaceWatcher::doWatch() {
  dirWatch_ = inotify_add_watch(fd_, dir_.c_str(), dirEvents | IN_ONLYDIR);
  if (dirWatch_ < 0) {
    std::string const parent = std::filesystem::path(dir_).parent_path().string();
    if (parentWatch_ < 0) parentWatch_ = inotify_add_watch(fd_, parent.c_str(), IN_CREATE | IN_MOVED_TO | IN_ONLYDIR);
    return;
  }
  // Files made before the watch started are read once; later ones arrive as events.
  std::error_code error;
  for (auto const& entry : std::filesystem::directory_iterator(dir_, error)) {
    nameIs(entry.path().filename().string(), true);
  }
}

void NamespaceWatcher::nameIs(std::string const& name, bool present) {
  bool const changed = present ? names_.insert(name).second : names_.erase(name) > 0;
  if (changed && onChange_) onChange_(name, present);
}

void NamespaceWatcher::handleReadable() {
  alignas(inotify_event) char buffer[8192];
  for (;;) {
    ssize_t const n = ::read(fd_, buffer, sizeof buffer);
    if (n <= 0) return;
    for (ssize_t at = 0; at < n;) {
      auto const* event = reinterpret_cast<inotify_event const*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      std::string const name = event->len ? std::string(event->name) : std::string();
      if (event->wd == parentWatch_ && name == std::filesystem::path(dir_).filename().string() && dirWatch_ < 0) {
        doWatch();
        continue;
      }
      if (event->wd != dirWatch_) continue;
      if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
        // The directory went: so did every namespace named in it.
        inotify_rm_watch(fd_, dirWatch_);
        dirWatch_ = -1;
        for (auto const& gone : std::set<std::string>(names_)) nameIs(gone, false);
        doWatch();
        continue;
      }
      if (name.empty()) continue;
      nameIs(name, (event->mask & (IN_CREATE | IN_MOVED_TO)) != 0);
    }
  }
}

}  // namespace Netlink
