// Little-endian byte accessors. Every file image (resource files, sprites, fonts, shapes,
// worlds, palettes, pictures) is read and written through these, never by casting a
// struct over the bytes, so the layout is the same on any host.
#pragma once
#include <cstdint>
#include <cstring>

static inline uint8_t GetU8(const void* p, size_t off = 0) { return ((const uint8_t*)p)[off]; }
static inline int8_t GetI8(const void* p, size_t off = 0) { return (int8_t)((const uint8_t*)p)[off]; }
static inline uint16_t GetU16(const void* p, size_t off = 0)
{
    const uint8_t* b = (const uint8_t*)p + off;
    return (uint16_t)(b[0] | (b[1] << 8));
}
static inline int16_t GetI16(const void* p, size_t off = 0) { return (int16_t)GetU16(p, off); }
static inline uint32_t GetU32(const void* p, size_t off = 0)
{
    const uint8_t* b = (const uint8_t*)p + off;
    return (uint32_t)b[0] | ((uint32_t)b[1] << 8) | ((uint32_t)b[2] << 16) | ((uint32_t)b[3] << 24);
}
static inline int32_t GetI32(const void* p, size_t off = 0) { return (int32_t)GetU32(p, off); }

static inline void PutU8(void* p, size_t off, uint8_t v) { ((uint8_t*)p)[off] = v; }
static inline void PutU16(void* p, size_t off, uint16_t v)
{
    uint8_t* b = (uint8_t*)p + off;
    b[0] = (uint8_t)v;
    b[1] = (uint8_t)(v >> 8);
}
static inline void PutI16(void* p, size_t off, int16_t v) { PutU16(p, off, (uint16_t)v); }
static inline void PutU32(void* p, size_t off, uint32_t v)
{
    uint8_t* b = (uint8_t*)p + off;
    b[0] = (uint8_t)v;
    b[1] = (uint8_t)(v >> 8);
    b[2] = (uint8_t)(v >> 16);
    b[3] = (uint8_t)(v >> 24);
}
static inline void PutI32(void* p, size_t off, int32_t v) { PutU32(p, off, (uint32_t)v); }

// 32-bit IEEE floats, stored as the little-endian image of their bits.
static inline float GetF32(const void* p, size_t off = 0)
{
    uint32_t u = GetU32(p, off);
    float f;
    memcpy(&f, &u, sizeof f);
    return f;
}
static inline void PutF32(void* p, size_t off, float v)
{
    uint32_t u;
    memcpy(&u, &v, sizeof u);
    PutU32(p, off, u);
}

// Big-endian forms, for the chunk sizes and fields of IFF pictures.
static inline uint16_t GetU16BE(const void* p, size_t off = 0)
{
    const uint8_t* b = (const uint8_t*)p + off;
    return (uint16_t)((b[0] << 8) | b[1]);
}
static inline uint32_t GetU32BE(const void* p, size_t off = 0)
{
    const uint8_t* b = (const uint8_t*)p + off;
    return ((uint32_t)b[0] << 24) | ((uint32_t)b[1] << 16) | ((uint32_t)b[2] << 8) | (uint32_t)b[3];
}

// A 64-bit hash of a block (FNV-1a over 8-byte words, then the tail): what the recovery files
// and the unsaved-work marks compare. A 2 MB block in well under a millisecond.
static inline uint64_t BytesHash(const void* data, size_t size)
{
    const uint8_t* p = (const uint8_t*)data;
    const uint64_t prime = 0x100000001B3ull;
    uint64_t h = 0xCBF29CE484222325ull;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        memcpy(&word, p + i, sizeof word);
        h = (h ^ word) * prime;
    }
    for (; i < size; i++) h = (h ^ p[i]) * prime;
    return (h ^ size) * prime;
}

// A four-byte tag such as "FONT" or "TRPS" compared against the bytes at p.
static inline bool TagIs(const void* p, const char* tag) { return memcmp(p, tag, 4) == 0; }

// True when [off, off + len) lies inside a block of `size` bytes, without overflow.
static inline bool InBlock(uint64_t off, uint64_t len, uint64_t size) { return off <= size && len <= size - off; }
