#include "trace/vorlak/Writer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <stdexcept>
#include <system_error>

#include "trace/Registry.h"

namespace Vorlak {

namespace {

std::unique_ptr<Writer>& instance() {
  static std::unique_ptr<Writer> writer;
  return writer;
}

void check(Writer::Options const& o) {
  if (o.path.empty()) throw std::invalid_argument("binary trace: empty file name");
  bool const powerOfTwo = (o.ringBytes & (o.ringBytes - 1)) == 0;
  if (!powerOfTwo || o.ringBytes < Writer::minRingBytes || o.ringBytes > Writer::maxRingBytes) {
    throw std::invalid_argument("binary trace: ring size " + std::to_string(o.ringBytes) +
                                " is not a power of two from 4096 to 1073741824 bytes");
  }
  if (o.description.size() >= FileFormat::descriptionBytes) {
    throw std::invalid_argument("binary trace: description longer than " +
                                std::to_string(FileFormat::descriptionBytes - 1) + " bytes");
  }
  if (o.maxMessages < 1 || o.maxMessages > Writer::maxMessagesLimit) {
    throw std::invalid_argument("binary trace: message table size " + std::to_string(o.maxMessages) +
                                " is not in 1-" + std::to_string(Writer::maxMessagesLimit));
  }
}

[[noreturn]] void fail(std::string const& what, std::string const& path) {
  throw std::system_error(errno, std::generic_category(), "binary trace: cannot " + what + " " + path);
}

template <class T, class Source>
void copyText(T& field, Source const& text) {
  auto const n = std::min(text.size(), field.size() - 1);
  std::copy_n(text.data(), n, field.data());
  field[n] = '\0';
}

}  // namespace

void Writer::open(Options const& options) {
  check(options);
  if (current_) {
    throw std::logic_error("binary trace: " + current_->path() + " is already open; close it first");
  }
  auto const tableBytes = std::uint64_t{options.maxMessages} * sizeof(FileFormat::MessageSlot);
  auto const ringOffset = FileFormat::messageTableOffset + tableBytes;
  auto const fileBytes = ringOffset + options.ringBytes;

  int const fd = ::open(options.path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) fail("create", options.path);
  if (::ftruncate(fd, static_cast<off_t>(fileBytes)) != 0) {
    auto const saved = errno;
    ::close(fd);
    ::unlink(options.path.c_str());
    errno = saved;
    fail("size", options.path);
  }
  void* map = ::mmap(nullptr, fileBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (map == MAP_FAILED) {
    auto const saved = errno;
    ::close(fd);
    ::unlink(options.path.c_str());
    errno = saved;
    fail("map", options.path);
  }

  auto* header = static_cast<FileFormat::Header*>(map);
  header->byteOrder = FileFormat::byteOrderMark;
  header->version = FileFormat::version;
  header->headerBytes = sizeof(FileFormat::Header);
  header->slotBytes = sizeof(FileFormat::MessageSlot);
  header->messageCapacity = options.maxMessages;
  header->messageCount = 0;
  header->messageTableOffset = FileFormat::messageTableOffset;
  header->ringOffset = ringOffset;
  header->ringBytes = options.ringBytes;
  header->head = 0;
  header->tail = 0;
  header->records = 0;
  header->dropped = 0;
  header->pid = static_cast<std::int32_t>(::getpid());
  header->suppressedLevels = options.suppressedLevels;
  copyText(header->description, options.description);
  // The magic goes last so a reader never takes a half-made header for a trace.
  std::atomic_thread_fence(std::memory_order_release);
  header->magic = FileFormat::magic;

  instance().reset(new Writer(options, fd, static_cast<std::byte*>(map), fileBytes));
  current_ = instance().get();
  for (unsigned level = 0; level < Level::count; ++level) {
    active_[level] = (options.suppressedLevels >> level) & 1u ? nullptr : current_;
  }
}

void Writer::close() noexcept {
  active_.fill(nullptr);
  current_ = nullptr;
  instance().reset();
}

std::string Writer::pathFor(std::string_view fileName, int pid, std::string_view directory) {
  std::string path;
  auto const pidText = std::to_string(pid);
  for (std::size_t i = 0; i < fileName.size(); ++i) {
    if (fileName[i] == '%' && i + 1 < fileName.size() && fileName[i + 1] == 'd') {
      path += pidText;
      ++i;
      continue;
    }
    path += fileName[i];
  }
  if (path.starts_with('/') || directory.empty()) return path;
  std::string placed(directory);
  if (!placed.ends_with('/')) placed += '/';
  return placed + path;
}

Writer::Writer(Options const& options, int fd, std::byte* map, std::size_t mapBytes)
    : options_(options),
      fd_(fd),
      map_(map),
      mapBytes_(mapBytes),
      header_(reinterpret_cast<FileFormat::Header*>(map)),
      ring_(map + mapBytes - options.ringBytes),
      ringBytes_(options.ringBytes),
      generation_(++lastGeneration_) {}

Writer::~Writer() {
  ::munmap(map_, mapBytes_);
  ::close(fd_);
  if (!options_.keepFile) ::unlink(options_.path.c_str());
}

std::byte* Writer::beginRecord(MessageBase const& message, std::size_t payloadBytes) {
  auto const id = idFor(message);
  if (id == FileFormat::padId) return drop();
  auto const used = sizeof(FileFormat::RecordHeader) + payloadBytes;
  auto const need = FileFormat::aligned(used);
  if (need > ringBytes_ / 2) return drop();

  auto const head = header_->head;
  auto const offset = head % ringBytes_;
  auto const room = ringBytes_ - offset;
  auto const start = room < need ? head + room : head;
  pendingHead_ = start + need;
  makeRoom(pendingHead_);
  if (start != head) {
    // Only the length and id of a pad are ever read; a pad may be as short as 8 bytes.
    auto const padBytes = static_cast<std::uint32_t>(room);
    auto const padId = FileFormat::padId;
    std::memcpy(ring_ + offset, &padBytes, sizeof padBytes);
    std::memcpy(ring_ + offset + sizeof padBytes, &padId, sizeof padId);
  }

  std::byte* at = ring_ + start % ringBytes_;
  FileFormat::RecordHeader const record{static_cast<std::uint32_t>(need), id,
                                        static_cast<std::uint8_t>(need - used), 0,
                                        Trace::Registry::instance().now()};
  std::memcpy(at, &record, sizeof record);
  std::memset(at + used, 0, need - used);
  return at + sizeof record;
}

void Writer::commitRecord() {
  ++header_->records;
  std::atomic_ref<std::uint64_t>(header_->head).store(pendingHead_, std::memory_order_release);
}

std::byte* Writer::drop() {
  ++header_->dropped;
  return nullptr;
}

void Writer::dropOversized() {
  std::unique_lock<std::mutex> lock(mutex_, std::defer_lock);
  if (options_.threaded) lock.lock();
  drop();
}

void Writer::makeRoom(std::uint64_t end) {
  auto tail = header_->tail;
  if (end - tail <= ringBytes_) return;
  while (end - tail > ringBytes_) tail += recordBytesAt(tail);
  std::atomic_ref<std::uint64_t>(header_->tail).store(tail, std::memory_order_release);
}

std::uint32_t Writer::recordBytesAt(std::uint64_t position) const {
  std::uint32_t bytes = 0;
  std::memcpy(&bytes, ring_ + position % ringBytes_, sizeof bytes);
  return bytes;
}

std::uint16_t Writer::idFor(MessageBase const& message) {
  auto const registration = message.registration_.load(std::memory_order_acquire);
  if ((registration >> 32) == generation_) return static_cast<std::uint16_t>(registration);

  std::uint16_t id = FileFormat::padId;
  auto const count = header_->messageCount;
  if (count < header_->messageCapacity) {
    FileFormat::MessageSlot slot{};
    slot.level = static_cast<std::uint8_t>(message.level());
    slot.argCount = static_cast<std::uint8_t>(message.argCount());
    copyText(slot.tags, message.tags());
    copyText(slot.text, message.text());
    std::memcpy(map_ + FileFormat::messageTableOffset + count * sizeof slot, &slot, sizeof slot);
    std::atomic_ref<std::uint32_t>(header_->messageCount).store(count + 1, std::memory_order_release);
    id = static_cast<std::uint16_t>(count);
  }
  message.registration_.store((std::uint64_t{generation_} << 32) | id, std::memory_order_release);
  return id;
}

}  // namespace Vorlak
