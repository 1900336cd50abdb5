#include "tools/kmfibd/ScriptFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace Kmfibd {

namespace {

ScriptFile::Error refusal(std::string const& path, std::string const& why) {
  return ScriptFile::Error(path + ": " + why);
}

std::ifstream opened(std::string const& path) {
  std::ifstream in(path);
  if (!in) throw refusal(path, std::strerror(errno));
  return in;
}

}  // namespace

ScriptFile ScriptFile::read(std::string const& path) {
  std::error_code error;
  auto const type = std::filesystem::status(path, error).type();
  if (type == std::filesystem::file_type::directory) throw refusal(path, "is a directory, not a statement file");
  auto in = std::make_shared<std::ifstream>(opened(path));
  ScriptFile file{path, {}, {}};
  std::getline(*in, file.firstLine);
  if (in->bad()) throw refusal(path, std::strerror(errno));
  if (type != std::filesystem::file_type::regular) file.held = std::move(in);
  return file;
}

std::ifstream ScriptFile::open() const { return opened(name); }

}  // namespace Kmfibd
