#include "tools/kmfibd/ScriptRunner.h"

#include <sstream>

namespace Kmfibd {

int ScriptRunner::runFiles(std::vector<ScriptFile> const& files) {
  for (auto const& file : files) {
    if (file.held) {
      std::istringstream first(file.firstLine);
      if (int status = runStream(file.name, first); status != 0) return status;
      if (int status = runStream(file.name, *file.held, 2); status != 0) return status;
      continue;
    }
    std::ifstream in;
    try {
      in = file.open();
    } catch (ScriptFile::Error const& e) {
      err_ << "error: " << e.what() << std::endl;
      return 2;
    }
    if (int status = runStream(file.name, in); status != 0) return status;
  }
  return 0;
}

int ScriptRunner::runText(std::string const& name, std::string const& text) {
  std::istringstream in(text);
  return runStream(name, in);
}

int ScriptRunner::runStream(std::string const& name, std::istream& in, int firstNumber) {
  std::string line;
  for (int number = firstNumber; std::getline(in, line); ++number) {
    try {
      if (auto statement = parser_.parse(line)) host_.apply(*statement, out_);
    } catch (StatementError const& e) {
      out_.flush();
      err_ << "error: " << name << ":" << number << ": " << e.what() << std::endl;
      return 2;
    }
  }
  return 0;
}

}  // namespace Kmfibd
