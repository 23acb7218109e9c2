#include "streams/Md5.h"

#include <cstring>

namespace OstrelInstallEngine {

namespace {

// The sine-derived constants T[i] of RFC 1321.
const uint32_t kSines[64] = {
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

uint32_t RotateLeft(uint32_t value, int count)
{
    return (value << count) | (value >> (32 - count));
}

// The algorithm is defined on little-endian words, whatever the machine's order.
uint32_t LoadLittleEndian(const unsigned char* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

void StoreLittleEndian(uint32_t value, unsigned char* bytes)
{
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

// One step of a round: a += mix(b, c, d) + word + sine, rotated, plus b. The
// mixing functions are RFC 1321's F, G, H and I, F and G in forms with one
// operation fewer. Each step is written out with constant rotations: a loop
// over tables of them leaves the compiler variable shifts and table loads.
inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return z ^ (x & (y ^ z)); }
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return y ^ (z & (x ^ y)); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

template <uint32_t (*Mix)(uint32_t, uint32_t, uint32_t), int Shift>
inline void Step(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t word, int i)
{
    a = b + RotateLeft(a + Mix(b, c, d) + word + kSines[i], Shift);
}

}  // namespace

void Md5::Init()
{
    m_state[0] = 0x67452301;
    m_state[1] = 0xefcdab89;
    m_state[2] = 0x98badcfe;
    m_state[3] = 0x10325476;
    m_bitCount = 0;
    std::memset(m_buffer, 0, sizeof(m_buffer));
}

void Md5::Update(const void* data, size_t size)
{
    const unsigned char* input = static_cast<const unsigned char*>(data);
    size_t buffered = static_cast<size_t>((m_bitCount / 8) % 64);
    m_bitCount += static_cast<uint64_t>(size) * 8;

    if (buffered > 0) {
        const size_t take = size < 64 - buffered ? size : 64 - buffered;
        std::memcpy(m_buffer + buffered, input, take);
        input += take;
        size -= take;
        buffered += take;
        if (buffered < 64) {
            return;
        }
        Transform(m_buffer);
    }
    for (; size >= 64; input += 64, size -= 64) {
        Transform(input);
    }
    std::memcpy(m_buffer, input, size);
}

Md5Digest Md5::Final() const
{
    Md5 finishing = *this;
    unsigned char lengthBytes[8];
    for (int i = 0; i < 8; ++i) {
        lengthBytes[i] = static_cast<unsigned char>(m_bitCount >> (8 * i));
    }
    // A single 1 bit, zeros up to 56 bytes modulo 64, then the bit length.
    static const unsigned char kPadding[64] = {0x80};
    const size_t buffered = static_cast<size_t>((m_bitCount / 8) % 64);
    const size_t paddingSize = buffered < 56 ? 56 - buffered : 120 - buffered;
    finishing.Update(kPadding, paddingSize);
    finishing.Update(lengthBytes, sizeof(lengthBytes));

    Md5Digest digest;
    for (int i = 0; i < 4; ++i) {
        StoreLittleEndian(finishing.m_state[i], digest.bytes + 4 * i);
    }
    return digest;
}

void Md5::Transform(const unsigned char block[64])
{
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
        x[i] = LoadLittleEndian(block + 4 * i);
    }
    uint32_t a = m_state[0];
    uint32_t b = m_state[1];
    uint32_t c = m_state[2];
    uint32_t d = m_state[3];
    Step<F, 7>(a, b, c, d, x[0], 0);
    Step<F, 12>(d, a, b, c, x[1], 1);
    Step<F, 17>(c, d, a, b, x[2], 2);
    Step<F, 22>(b, c, d, a, x[3], 3);
    Step<F, 7>(a, b, c, d, x[4], 4);
    Step<F, 12>(d, a, b, c, x[5], 5);
    Step<F, 17>(c, d, a, b, x[6], 6);
    Step<F, 22>(b, c, d, a, x[7], 7);
    Step<F, 7>(a, b, c, d, x[8], 8);
    Step<F, 12>(d, a, b, c, x[9], 9);
    Step<F, 17>(c, d, a, b, x[10], 10);
    Step<F, 22>(b, c, d, a, x[11], 11);
    Step<F, 7>(a, b, c, d, x[12], 12);
    Step<F, 12>(d, a, b, c, x[13], 13);
    Step<F, 17>(c, d, a, b, x[14], 14);
    Step<F, 22>(b, c, d, a, x[15], 15);
    Step<G, 5>(a, b, c, d, x[1], 16);
    Step<G, 9>(d, a, b, c, x[6], 17);
    Step<G, 14>(c, d, a, b, x[11], 18);
    Step<G, 20>(b, c, d, a, x[0], 19);
    Step<G, 5>(a, b, c, d, x[5], 20);
    Step<G, 9>(d, a, b, c, x[10], 21);
    Step<G, 14>(c, d, a, b, x[15], 22);
    Step<G, 20>(b, c, d, a, x[4], 23);
    Step<G, 5>(a, b, c, d, x[9], 24);
    Step<G, 9>(d, a, b, c, x[14], 25);
    Step<G, 14>(c, d, a, b, x[3], 26);
    Step<G, 20>(b, c, d, a, x[8], 27);
    Step<G, 5>(a, b, c, d, x[13], 28);
    Step<G, 9>(d, a, b, c, x[2], 29);
    Step<G, 14>(c, d, a, b, x[7], 30);
    Step<G, 20>(b, c, d, a, x[12], 31);
    Step<H, 4>(a, b, c, d, x[5], 32);
    Step<H, 11>(d, a, b, c, x[8], 33);
    Step<H, 16>(c, d, a, b, x[11], 34);
    Step<H, 23>(b, c, d, a, x[14], 35);
    Step<H, 4>(a, b, c, d, x[1], 36);
    Step<H, 11>(d, a, b, c, x[4], 37);
    Step<H, 16>(c, d, a, b, x[7], 38);
    Step<H, 23>(b, c, d, a, x[10], 39);
    Step<H, 4>(a, b, c, d, x[13], 40);
    Step<H, 11>(d, a, b, c, x[0], 41);
    Step<H, 16>(c, d, a, b, x[3], 42);
    Step<H, 23>(b, c, d, a, x[6], 43);
    Step<H, 4>(a, b, c, d, x[9], 44);
    Step<H, 11>(d, a, b, c, x[12], 45);
    Step<H, 16>(c, d, a, b, x[15], 46);
    Step<H, 23>(b, c, d, a, x[2], 47);
    Step<I, 6>(a, b, c, d, x[0], 48);
    Step<I, 10>(d, a, b, c, x[7], 49);
    Step<I, 15>(c, d, a, b, x[14], 50);
    Step<I, 21>(b, c, d, a, x[5], 51);
    Step<I, 6>(a, b, c, d, x[12], 52);
    Step<I, 10>(d, a, b, c, x[3], 53);
    Step<I, 15>(c, d, a, b, x[10], 54);
    Step<I, 21>(b, c, d, a, x[1], 55);
    Step<I, 6>(a, b, c, d, x[8], 56);
    Step<I, 10>(d, a, b, c, x[15], 57);
    Step<I, 15>(c, d, a, b, x[6], 58);
    Step<I, 21>(b, c, d, a, x[13], 59);
    Step<I, 6>(a, b, c, d, x[4], 60);
    Step<I, 10>(d, a, b, c, x[11], 61);
    Step<I, 15>(c, d, a, b, x[2], 62);
    Step<I, 21>(b, c, d, a, x[9], 63);
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
}

}  // namespace OstrelInstallEngine
