// The RAR 2.0 cipher: key set-up from the password, 32-step block encryption and
// decryption over four 32-bit words, and the key update after every block.
#include <cstring>

#include "RarState.h"

namespace rar {

namespace {

const uint8_t kInitialSubst[256] = {
    215, 19,  149, 35,  73,  197, 192, 205, 249, 28,  16,  119, 48,  221, 2,   42,
    232, 1,   177, 233, 14,  88,  219, 25,  223, 195, 244, 90,  87,  239, 153, 137,
    255, 199, 147, 70,  92,  66,  246, 13,  216, 40,  62,  29,  217, 230, 86,  6,
    71,  24,  171, 196, 101, 113, 218, 123, 93,  91,  163, 178, 202, 67,  44,  235,
    107, 250, 75,  234, 49,  167, 125, 211, 83,  114, 157, 144, 32,  193, 143, 36,
    158, 124, 247, 187, 89,  214, 141, 47,  121, 228, 61,  130, 213, 194, 174, 251,
    97,  110, 54,  229, 115, 57,  152, 94,  105, 243, 212, 55,  209, 245, 63,  11,
    164, 200, 31,  156, 81,  176, 227, 21,  76,  99,  139, 188, 127, 17,  248, 51,
    207, 120, 189, 210, 8,   226, 41,  72,  183, 203, 135, 165, 166, 60,  98,  7,
    122, 38,  155, 170, 69,  172, 252, 238, 39,  134, 59,  128, 236, 27,  240, 80,
    131, 3,   85,  206, 145, 79,  154, 142, 159, 220, 201, 133, 74,  64,  20,  129,
    224, 185, 138, 103, 173, 182, 43,  34,  254, 82,  198, 151, 231, 180, 58,  10,
    118, 26,  102, 12,  50,  132, 22,  191, 136, 111, 162, 179, 45,  4,   148, 108,
    161, 56,  78,  126, 242, 222, 15,  175, 146, 23,  33,  241, 181, 190, 77,  225,
    0,   46,  169, 186, 68,  95,  237, 65,  53,  208, 253, 168, 9,   18,  100, 52,
    116, 184, 160, 96,  109, 37,  30,  106, 140, 104, 150, 5,   204, 117, 112, 84};

inline uint32_t Rol(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t LoadWord(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void StoreWord(unsigned char* p, uint32_t w) {
    p[0] = static_cast<unsigned char>(w);
    p[1] = static_cast<unsigned char>(w >> 8);
    p[2] = static_cast<unsigned char>(w >> 16);
    p[3] = static_cast<unsigned char>(w >> 24);
}

inline uint32_t SubstituteWord(uint32_t w) {
    return static_cast<uint32_t>(g.subst[w & 0xFF]) | (static_cast<uint32_t>(g.subst[(w >> 8) & 0xFF]) << 8) |
           (static_cast<uint32_t>(g.subst[(w >> 16) & 0xFF]) << 16) |
           (static_cast<uint32_t>(g.subst[(w >> 24) & 0xFF]) << 24);
}

void UpdateCryptKey(const unsigned char* block) {
    for (int i = 0; i < 16; i += 4) {
        g.key[0] ^= g.crcTable[block[i]];
        g.key[1] ^= g.crcTable[block[i + 1]];
        g.key[2] ^= g.crcTable[block[i + 2]];
        g.key[3] ^= g.crcTable[block[i + 3]];
    }
}

// Runs the 32 steps forwards (encrypt) or backwards (decrypt) and writes the result.
void Transform(unsigned char* block, bool forward) {
    uint32_t a = LoadWord(block) ^ g.key[0];
    uint32_t b = LoadWord(block + 4) ^ g.key[1];
    uint32_t c = LoadWord(block + 8) ^ g.key[2];
    uint32_t d = LoadWord(block + 12) ^ g.key[3];
    for (int step = 0; step < 32; ++step) {
        uint32_t S = g.key[(forward ? step : 31 - step) & 3];
        uint32_t ta = a ^ SubstituteWord((c + Rol(d, 11)) ^ S);
        uint32_t tb = b ^ SubstituteWord((d ^ Rol(c, 17)) + S);
        a = c;
        b = d;
        c = ta;
        d = tb;
    }
    StoreWord(block, c ^ g.key[0]);
    StoreWord(block + 4, d ^ g.key[1]);
    StoreWord(block + 8, a ^ g.key[2]);
    StoreWord(block + 12, b ^ g.key[3]);
}

}  // namespace

void EncryptBlock(unsigned char* block) {
    Transform(block, true);
    UpdateCryptKey(block);
}

void DecryptBlock(unsigned char* block) {
    unsigned char cipher[16];
    memcpy(cipher, block, 16);
    Transform(block, false);
    UpdateCryptKey(cipher);
}

// Needs the CRC-32 table (Crc32Init) in place.
void SetupCryptKey(const char* password) {
    g.key[0] = 0xD3A3B879u;
    g.key[1] = 0x3F6D12F7u;
    g.key[2] = 0x7515A235u;
    g.key[3] = 0xA4E7F123u;
    unsigned char P[256] = {};
    size_t n = strnlen(password, 255);
    memcpy(P, password, n);
    memcpy(g.subst, kInitialSubst, sizeof g.subst);
    for (unsigned j = 0; j < 256; ++j) {
        for (size_t i = 0; i < n; i += 2) {
            unsigned x = g.crcTable[(P[i] - j) & 0xFF] & 0xFF;
            unsigned y = g.crcTable[(P[i + 1] + j) & 0xFF] & 0xFF;
            for (unsigned k = 1; x != y; ++k) {
                unsigned other = (x + static_cast<unsigned>(i) + k) & 0xFF;
                uint8_t t = g.subst[x];
                g.subst[x] = g.subst[other];
                g.subst[other] = t;
                x = (x + 1) & 0xFF;
            }
        }
    }
    for (size_t i = 0; i < n; i += 16) EncryptBlock(P + i);
    memset(P, 0, sizeof P);
}

}  // namespace rar
