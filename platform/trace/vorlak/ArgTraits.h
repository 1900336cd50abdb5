#pragma once
// How a C++ type becomes a binary-trace argument. A specialisation gives the type tag that
// the message table records and that the decoder renders by, and the bytes stored per value:
//
//   template <> struct Vorlak::ArgTraits<MyKey> {
//     static constexpr std::string_view tag = "MFGK";
//     static std::size_t size(MyKey const&) { return sizeof(RouteKeyRecord); }
//     static void encode(std::byte* out, MyKey const& key);  // writes exactly size() bytes
//   };
//
// A type that should print like an existing tag encodes that tag's payload (a route-key type
// fills a RouteKeyRecord). size() must not exceed 65535. Built-in tags: "i" signed integer
// up to 32 bits (4 bytes), "u" unsigned integer (8 bytes), "d" floating point (8-byte
// double), "s" string (its bytes, cut at maxStringBytes), "MFGK" RouteKeyRecord.

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "trace/vorlak/RouteKeyRecord.h"

namespace Vorlak {

template <class T>
struct ArgTraits;

inline constexpr std::size_t maxStringBytes = 1024;

template <class T>
  requires std::signed_integral<T> && (sizeof(T) <= 4)
struct ArgTraits<T> {
  static constexpr std::string_view tag = "i";
  static std::size_t size(T) { return 4; }
  static void encode(std::byte* out, T value) {
    auto const v = static_cast<std::int32_t>(value);
    std::memcpy(out, &v, sizeof v);
  }
};

template <class T>
  requires std::unsigned_integral<T> && (!std::same_as<T, bool>)
struct ArgTraits<T> {
  static constexpr std::string_view tag = "u";
  static std::size_t size(T) { return 8; }
  static void encode(std::byte* out, T value) {
    auto const v = static_cast<std::uint64_t>(value);
    std::memcpy(out, &v, sizeof v);
  }
};

template <std::floating_point T>
struct ArgTraits<T> {
  static constexpr std::string_view tag = "d";
  static std::size_t size(T) { return 8; }
  static void encode(std::byte* out, T value) {
    auto const v = static_cast<double>(value);
    std::memcpy(out, &v, sizeof v);
  }
};

template <>
struct ArgTraits<std::string_view> {
  static constexpr std::string_view tag = "s";
  static std::size_t size(std::string_view s) { return std::min(s.size(), maxStringBytes); }
  static void encode(std::byte* out, std::string_view s) { std::memcpy(out, s.data(), size(s)); }
};

template <>
struct ArgTraits<std::string> : ArgTraits<std::string_view> {};

template <>
struct ArgTraits<char const*> {
  static constexpr std::string_view tag = "s";
  static std::size_t size(char const* s) { return ArgTraits<std::string_view>::size(s ? s : ""); }
  static void encode(std::byte* out, char const* s) { ArgTraits<std::string_view>::encode(out, s ? s : ""); }
};

template <>
struct ArgTraits<RouteKeyRecord> {
  static constexpr std::string_view tag = "MFGK";
  static std::size_t size(RouteKeyRecord const&) { return sizeof(RouteKeyRecord); }
  static void encode(std::byte* out, RouteKeyRecord const& key) { std::memcpy(out, &key, sizeof key); }
};

}  // namespace Vorlak
