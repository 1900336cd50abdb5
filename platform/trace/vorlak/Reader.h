#pragma once
// Decodes a binary trace file: checks its header and message table, walks the ring from the
// oldest whole record to the newest, and renders records as text with their arguments put in
// place of the "{}" of the message text. The file is read once, so a file that a live writer
// keeps changing is decoded as it was at that moment.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace Vorlak {

class Reader {
 public:
  struct MessageInfo {
    unsigned level;
    std::string text;
    std::vector<std::string> tags;
  };
  struct Record {
    double time;
    std::uint16_t messageId;
    std::vector<std::string> args;  // encoded payloads
  };
  // Turns an argument's payload into text. The built-in tags are known; others print as hex.
  using Renderer = std::function<std::string(std::string_view payload)>;

  // Throws std::runtime_error, starting with the path, when the file cannot be read or is not
  // a well-formed binary trace.
  explicit Reader(std::string path);
  Reader(Reader const&) = delete;
  Reader& operator=(Reader const&) = delete;

  std::vector<MessageInfo> const& messages() const { return messages_; }
  std::vector<Record> const& records() const { return records_; }  // oldest first

  // The message text with its arguments, e.g. "Syncing key (10.0.0.1/32, 239.1.1.1/32) from table 3".
  std::string text(Record const& record) const;
  // Time stamp, level and text: "12.000250 1 Syncing key ...".
  std::string line(Record const& record) const;

  void rendererIs(std::string tag, Renderer renderer);

  std::int32_t pid() const { return pid_; }
  std::string const& description() const { return description_; }
  std::uint64_t recordsWritten() const { return recordsWritten_; }
  std::uint64_t dropped() const { return dropped_; }

 private:
  [[noreturn]] void malformed(std::string const& why) const;
  void readMessages(std::string const& bytes, std::uint64_t tableOffset, std::uint32_t count);
  void readRecords(std::string_view ring, std::uint64_t tail, std::uint64_t head);
  void checkArgs(Record const& record, std::uint64_t position) const;
  std::string render(std::string const& tag, std::string const& payload) const;

  std::string path_;
  std::vector<MessageInfo> messages_;
  std::vector<Record> records_;
  std::map<std::string, Renderer, std::less<>> renderers_;
  std::int32_t pid_ = 0;
  std::string description_;
  std::uint64_t recordsWritten_ = 0;
  std::uint64_t dropped_ = 0;
};

}  // namespace Vorlak
