// TKestro: the MD5 message digest (RFC 1321).
#include <array>
#include <cstdint>

#include "common/KestroClass.h"

namespace {

class Md5 {
 public:
  void Update(const unsigned char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
      block_[filled_++] = data[i];
      if (filled_ == 64) {
        Transform();
        filled_ = 0;
      }
    }
    bytes_ += size;
  }

  std::array<unsigned char, 16> Final() {
    std::uint64_t bits = bytes_ * 8;
    static const unsigned char kPad = 0x80;
    static const unsigned char kZero = 0;
    Update(&kPad, 1);
    while (filled_ != 56) Update(&kZero, 1);
    unsigned char length[8];
    for (int i = 0; i < 8; ++i) length[i] = static_cast<unsigned char>(bits >> (8 * i));
    Update(length, 8);
    std::array<unsigned char, 16> digest{};
    for (int i = 0; i < 16; ++i) digest[i] = static_cast<unsigned char>(state_[i / 4] >> (8 * (i % 4)));
    return digest;
  }

 private:
  static std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

  void Transform() {
    static const std::uint32_t kT[64] = {
        0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
        0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
        0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
        0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
        0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
        0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
        0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
        0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
        0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
        0xeb86d391};
    static const int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i)
      x[i] = std::uint32_t(block_[i * 4]) | std::uint32_t(block_[i * 4 + 1]) << 8 |
             std::uint32_t(block_[i * 4 + 2]) << 16 | std::uint32_t(block_[i * 4 + 3]) << 24;
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int i = 0; i < 64; ++i) {
      int round = i / 16;
      std::uint32_t f;
      int k;
      switch (round) {
        case 0: f = (b & c) | (~b & d); k = i; break;
        case 1: f = (b & d) | (c & ~d); k = (5 * i + 1) % 16; break;
        case 2: f = b ^ c ^ d; k = (3 * i + 5) % 16; break;
        default: f = c ^ (b | ~d); k = (7 * i) % 16; break;
      }
      std::uint32_t next = b + Rotl(a + f + x[k] + kT[i], kShift[round][i % 4]);
      a = d;
      d = c;
      c = b;
      b = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
  }

  std::uint32_t state_[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  unsigned char block_[64] = {};
  std::size_t filled_ = 0;
  std::uint64_t bytes_ = 0;
};

}  // namespace

std::string TKestro::Md5Hex(const std::string& data) {
  Md5 md5;
  md5.Update(reinterpret_cast<const unsigned char*>(data.data()), data.size());
  static const char kHex[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char byte : md5.Final()) {
    hex += kHex[byte >> 4];
    hex += kHex[byte & 15];
  }
  return hex;
}
