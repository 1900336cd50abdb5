#include "trace/vorlak/Reader.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "trace/TimeStamp.h"
#include "trace/vorlak/FileFormat.h"
#include "trace/vorlak/RouteKeyRecord.h"

namespace Vorlak {

namespace {

template <class T>
T load(std::string_view bytes, std::uint64_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

template <std::size_t N>
std::string cString(std::array<char, N> const& field) {
  return std::string(field.data(), strnlen(field.data(), N));
}

std::vector<std::string> splitTags(std::string const& tags) {
  std::vector<std::string> result;
  if (tags.empty()) return result;
  std::size_t start = 0;
  while (true) {
    auto const comma = tags.find(',', start);
    result.push_back(tags.substr(start, comma == std::string::npos ? comma : comma - start));
    if (comma == std::string::npos) return result;
    start = comma + 1;
  }
}

// Payload sizes of the built-in tags; zero for variable-length ones.
std::size_t fixedSize(std::string_view tag) {
  if (tag == "i") return 4;
  if (tag == "u" || tag == "d") return 8;
  if (tag == "MFGK") return sizeof(RouteKeyRecord);
  return 0;
}

std::string doubleText(double value) {
  char buffer[64];
  auto const [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc()) return "?";
  return std::string(buffer, end);
}

std::string hexText(std::string_view payload) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : payload) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

}  // namespace

Reader::Reader(std::string path) : path_(std::move(path)) {
  renderers_["i"] = [](std::string_view p) { return std::to_string(load<std::int32_t>(p, 0)); };
  renderers_["u"] = [](std::string_view p) { return std::to_string(load<std::uint64_t>(p, 0)); };
  renderers_["d"] = [](std::string_view p) { return doubleText(load<double>(p, 0)); };
  renderers_["s"] = [](std::string_view p) { return std::string(p); };
  renderers_["MFGK"] = [](std::string_view p) { return load<RouteKeyRecord>(p, 0).text(); };

  errno = 0;
  std::ifstream in(path_, std::ios::binary);
  if (!in) throw std::runtime_error(path_ + ": cannot open: " + std::strerror(errno));
  std::string const bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error(path_ + ": cannot read");

  if (bytes.size() < sizeof(FileFormat::Header)) malformed("too short for a header");
  auto const header = load<FileFormat::Header>(bytes, 0);
  if (header.magic != FileFormat::magic) malformed("not a binary trace file (bad magic)");
  if (header.byteOrder != FileFormat::byteOrderMark) malformed("written with another byte order");
  if (header.version != FileFormat::version) malformed("version " + std::to_string(header.version) + " is not known");
  if (header.headerBytes != sizeof(FileFormat::Header) || header.slotBytes != sizeof(FileFormat::MessageSlot)) {
    malformed("header or message slot size does not match");
  }
  if (header.messageCount > header.messageCapacity) malformed("more messages than the table holds");
  auto const tableEnd = header.messageTableOffset + std::uint64_t{header.messageCapacity} * header.slotBytes;
  if (header.messageTableOffset < sizeof(FileFormat::Header) || header.messageTableOffset > header.ringOffset ||
      tableEnd > header.ringOffset) {
    malformed("message table overlaps header or ring");
  }
  if (header.ringBytes < 16 || header.ringBytes % FileFormat::recordAlignment != 0 ||
      header.ringOffset > bytes.size() || bytes.size() - header.ringOffset != header.ringBytes) {
    malformed("ring does not match the file size");
  }
  if (header.tail > header.head || header.head - header.tail > header.ringBytes ||
      header.tail % FileFormat::recordAlignment != 0 || header.head % FileFormat::recordAlignment != 0) {
    malformed("ring positions are inconsistent");
  }

  pid_ = header.pid;
  description_ = cString(header.description);
  recordsWritten_ = header.records;
  dropped_ = header.dropped;
  readMessages(bytes, header.messageTableOffset, header.messageCount);
  readRecords(std::string_view(bytes).substr(header.ringOffset), header.tail, header.head);
}

void Reader::malformed(std::string const& why) const { throw std::runtime_error(path_ + ": malformed: " + why); }

void Reader::readMessages(std::string const& bytes, std::uint64_t tableOffset, std::uint32_t count) {
  for (std::uint32_t id = 0; id < count; ++id) {
    auto const slot = load<FileFormat::MessageSlot>(bytes, tableOffset + std::uint64_t{id} * sizeof(FileFormat::MessageSlot));
    MessageInfo info{slot.level, cString(slot.text), splitTags(cString(slot.tags))};
    if (info.tags.size() != slot.argCount) {
      malformed("message " + std::to_string(id) + " has " + std::to_string(slot.argCount) + " arguments but " +
                std::to_string(info.tags.size()) + " tags");
    }
    messages_.push_back(std::move(info));
  }
}

void Reader::readRecords(std::string_view ring, std::uint64_t tail, std::uint64_t head) {
  auto const ringBytes = ring.size();
  for (auto position = tail; position < head;) {
    auto const offset = position % ringBytes;
    auto const bytes = load<std::uint32_t>(ring, offset);
    auto const id = load<std::uint16_t>(ring, offset + sizeof bytes);
    auto const where = " at ring position " + std::to_string(position);
    if (bytes < FileFormat::recordAlignment || bytes % FileFormat::recordAlignment != 0 ||
        offset + bytes > ringBytes || position + bytes > head) {
      malformed("record length " + std::to_string(bytes) + where);
    }
    if (id == FileFormat::padId) {
      position += bytes;
      continue;
    }
    if (bytes < sizeof(FileFormat::RecordHeader)) malformed("record length " + std::to_string(bytes) + where);
    auto const header = load<FileFormat::RecordHeader>(ring, offset);
    if (id >= messages_.size()) malformed("unknown message id " + std::to_string(id) + where);
    if (header.padBytes >= FileFormat::recordAlignment) malformed("bad padding" + where);

    Record record{header.time, id, {}};
    auto const end = offset + bytes - header.padBytes;
    auto at = offset + sizeof(FileFormat::RecordHeader);
    while (at < end) {
      if (end - at < FileFormat::argLengthBytes) malformed("argument cut short" + where);
      auto const length = load<std::uint16_t>(ring, at);
      at += FileFormat::argLengthBytes;
      if (end - at < length) malformed("argument cut short" + where);
      record.args.emplace_back(ring.substr(at, length));
      at += length;
    }
    checkArgs(record, position);
    records_.push_back(std::move(record));
    position += bytes;
  }
}

void Reader::checkArgs(Record const& record, std::uint64_t position) const {
  auto const& message = messages_[record.messageId];
  auto const where = " at ring position " + std::to_string(position);
  if (record.args.size() != message.tags.size()) {
    malformed(std::to_string(record.args.size()) + " arguments for a message of " +
              std::to_string(message.tags.size()) + where);
  }
  for (std::size_t i = 0; i < record.args.size(); ++i) {
    auto const expected = fixedSize(message.tags[i]);
    if (expected != 0 && record.args[i].size() != expected) {
      malformed("argument " + std::to_string(i) + " (" + message.tags[i] + ") has " +
                std::to_string(record.args[i].size()) + " bytes" + where);
    }
  }
}

std::string Reader::render(std::string const& tag, std::string const& payload) const {
  auto it = renderers_.find(tag);
  if (it == renderers_.end()) return "<" + tag + ":" + hexText(payload) + ">";
  return it->second(payload);
}

std::string Reader::text(Record const& record) const {
  auto const& message = messages_.at(record.messageId);
  std::string out;
  std::size_t arg = 0;
  std::string_view const text = message.text;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '{' && i + 1 < text.size() && text[i + 1] == '}' && arg < record.args.size()) {
      out += render(message.tags[arg], record.args[arg]);
      ++arg;
      ++i;
      continue;
    }
    out += text[i];
  }
  return out;
}

std::string Reader::line(Record const& record) const {
  return Trace::TimeStamp(record.time).text() + " " + std::to_string(messages_.at(record.messageId).level) + " " +
         text(record);
}

void Reader::rendererIs(std::string tag, Renderer renderer) { renderers_[std::move(tag)] = std::move(renderer); }

}  // namespace Vorlak
