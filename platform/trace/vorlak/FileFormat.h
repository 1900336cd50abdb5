#pragma once
// The layout of a binary trace file, shared by the writer and the reader. All numbers are in
// the writing host's byte order, which the header's byteOrder field lets a reader check.
//
//   [Header][message table: messageCapacity slots of MessageSlot][ring: ringBytes]
//
// Ring positions are logical byte counts that only grow; the byte at logical position p is
// at ring offset p % ringBytes. The whole records lie in [tail, head). A record never
// straddles the end of the ring: the writer fills the rest with a pad record and starts
// again at offset 0. Before overwriting, the writer moves tail past the records it is about
// to destroy; after writing, it moves head. So a reader walking from tail to head sees only
// whole records, the oldest first.
//
// A record is a RecordHeader followed by its arguments, each a 16-bit byte count and that
// many bytes, then zero to seven bytes of padding; record sizes are multiples of 8.

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace Vorlak {

struct FileFormat {
  static constexpr std::array<char, 8> magic = {'V', 'O', 'R', 'L', 'A', 'K', '\0', '\1'};
  static constexpr std::uint32_t byteOrderMark = 0x01020304;
  static constexpr std::uint32_t version = 1;
  static constexpr std::size_t descriptionBytes = 128;  // with the terminating NUL
  static constexpr std::size_t tagsBytes = 60;          // comma-separated, with the NUL
  static constexpr std::size_t textBytes = 192;         // with the NUL
  static constexpr std::uint16_t padId = 0xffff;         // message id of a pad record
  static constexpr std::size_t argLengthBytes = 2;
  static constexpr std::uint64_t recordAlignment = 8;
  static constexpr std::uint64_t messageTableOffset = 256;

  struct Header {
    std::array<char, 8> magic;
    std::uint32_t byteOrder;
    std::uint32_t version;
    std::uint32_t headerBytes;
    std::uint32_t slotBytes;
    std::uint32_t messageCapacity;
    std::uint32_t messageCount;  // published after the slot is written
    std::uint64_t messageTableOffset;
    std::uint64_t ringOffset;
    std::uint64_t ringBytes;
    std::uint64_t head;
    std::uint64_t tail;
    std::uint64_t records;  // appended since the file was created
    std::uint64_t dropped;  // not written: table full or record too large
    std::int32_t pid;
    std::uint32_t suppressedLevels;
    std::array<char, descriptionBytes> description;
  };

  struct MessageSlot {
    std::uint8_t level;
    std::uint8_t argCount;
    std::uint16_t reserved;
    std::array<char, tagsBytes> tags;
    std::array<char, textBytes> text;
  };

  struct RecordHeader {
    std::uint32_t bytes;  // the whole record, padding included
    std::uint16_t messageId;
    std::uint8_t padBytes;
    std::uint8_t reserved;
    double time;
  };

  static constexpr std::uint64_t aligned(std::uint64_t n) {
    return (n + recordAlignment - 1) & ~(recordAlignment - 1);
  }
};

static_assert(sizeof(FileFormat::Header) == 224 && sizeof(FileFormat::Header) <= FileFormat::messageTableOffset);
static_assert(sizeof(FileFormat::MessageSlot) == 256);
static_assert(sizeof(FileFormat::RecordHeader) == 16);
static_assert(std::is_trivially_copyable_v<FileFormat::Header>);

}  // namespace Vorlak
