#include "tools/kmfibd/ConfigFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/kmfibd/Host.h"

namespace Kmfibd {

namespace {

using Kind = Statement::Kind;

}  // namespace

std::string ConfigFile::refusal(Statement const& s, bool realKernel) {
  if (s.kind == Kind::advance) return "advance: the daemon's clock is real time";
  return Host::kernelRefusal(s, realKernel);
}

ConfigFile ConfigFile::read(std::string const& path, StatementParser const& parser, bool realKernel) {
  // A directory reads as an empty file, which would remove everything stated; opening a
  // FIFO waits for a writer, and the daemon with it.
  std::error_code error;
  auto const type = std::filesystem::status(path, error).type();
  if (type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::regular && !error) {
    throw ConfigError(path + ": not a regular file");
  }
  std::ifstream in(path);
  if (!in) throw ConfigError(path + ": " + std::strerror(errno));
  ConfigFile file(path, in, parser, realKernel);
  if (in.bad()) throw ConfigError(path + ": " + std::strerror(errno));
  return file;
}

ConfigFile::ConfigFile(std::string name, std::string const& text, StatementParser const& parser, bool realKernel)
    : name_(std::move(name)) {
  std::istringstream in(text);
  parse(in, parser, realKernel);
}

ConfigFile::ConfigFile(std::string name, std::istream& in, StatementParser const& parser, bool realKernel)
    : name_(std::move(name)) {
  parse(in, parser, realKernel);
}

void ConfigFile::parse(std::istream& in, StatementParser const& parser, bool realKernel) {
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    auto fail = [&](std::string const& why) { throw ConfigError(name_ + ":" + std::to_string(number) + ": " + why); };
    std::optional<Statement> s;
    try {
      s = parser.parse(line);
    } catch (StatementError const& e) {
      fail(e.what());
    }
    if (!s) continue;
    if (std::string why = refusal(*s, realKernel); !why.empty()) fail(why);
    if (StatedObjects::keyOf(*s).empty()) fail("a configuration file holds no advance, restart, fault or show");
    auto const touched = objects_.apply(*s);
    if (touched.empty()) fail("nothing stated above to remove");
    for (auto const& key : touched) lines_[key] = number;
  }
}

std::string ConfigFile::whereStated(std::string const& key) const {
  auto it = lines_.find(key);
  return name_ + ":" + (it == lines_.end() ? std::string("?") : std::to_string(it->second));
}

}  // namespace Kmfibd
