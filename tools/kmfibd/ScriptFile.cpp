#include "tools/kmfibd/ScriptFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

namespace Kmfibd {

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(Fd const&) = delete;
  Fd& operator=(Fd const&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

ScriptFile ScriptFile::read(std::string const& path) {
  auto refuse = [&path](std::string const& why) { return Error(path + ": " + why); };
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) throw refuse(std::strerror(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) throw refuse(std::strerror(errno));
  if (S_ISDIR(st.st_mode)) throw refuse("is a directory, not a statement file");
  ScriptFile file{path, {}};
  char buffer[4096];
  for (;;) {
    ssize_t const n = ::read(fd.get(), buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      throw refuse(std::strerror(errno));
    }
    std::string_view const chunk(buffer, static_cast<std::size_t>(n));
    auto const end = chunk.find('\n');
    file.firstLine.append(chunk.substr(0, end));
    if (end != std::string_view::npos) break;
  }
  return file;
}

std::ifstream ScriptFile::open() const {
  std::ifstream in(name);
  if (!in) throw Error(name + ": " + std::strerror(errno));
  return in;
}

}  // namespace Kmfibd
