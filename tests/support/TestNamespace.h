#pragma once
// A named network namespace made for one test with `ip netns add` and removed after it, for
// the tests of what a real system reports. Where the machine does not allow it (no root, no
// `ip`), ok() is false and why() says so: the test skips with that message.

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace TestSupport {

class TestNamespace {
 public:
  TestNamespace() : name_("kmfib-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter()++)) {}
  ~TestNamespace() { remove(); }
  TestNamespace(TestNamespace const&) = delete;
  TestNamespace& operator=(TestNamespace const&) = delete;

  std::string const& name() const { return name_; }

  // Makes the namespace; false (with why()) when the machine does not allow it.
  bool create() {
    if (::geteuid() != 0) return fail("needs root to make a network namespace");
    if (!shell("ip netns add " + name_)) return fail("`ip netns add` failed");
    made_ = true;
    return true;
  }
  void remove() {
    if (made_) shell("ip netns del " + name_);
    made_ = false;
  }
  // `ip -n NAME ARGS`, true on success.
  bool ip(std::string const& args) const { return shell("ip -n " + name_ + " " + args); }
  // A device of the kind the kernel offers: dummy where it can, else one end of a veth pair
  // (whose other end is named PEER).
  bool addDevice(std::string const& dev, std::string const& peer) const {
    return ip("link add " + dev + " type dummy") || ip("link add " + dev + " type veth peer name " + peer);
  }
  std::string const& why() const { return why_; }

 private:
  static int& counter() {
    static int n = 0;
    return n;
  }
  static bool shell(std::string const& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }
  bool fail(std::string why) {
    why_ = std::move(why);
    return false;
  }

  std::string name_;
  std::string why_;
  bool made_ = false;
};

}  // namespace TestSupport
