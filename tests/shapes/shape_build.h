// Hand-made shape blocks of any version 12 to 16, written field by field so that tests can
// state what a block holds and what a conversion or edit must make of it.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "base/bytes.h"
#include "support/testutil.h"

struct TVert {
    int16_t x, y, z;
    uint16_t flags = 0;   // versions 13 and 14: the fourth word
    uint32_t name = 0;    // versions 15 and 16
};

struct TPoly {
    TPoly(std::vector<uint16_t> points = {}, uint16_t f = 0, uint16_t m = 0, int16_t nx = 0, int16_t ny = 0,
          int16_t nz = 0)
        : idx(std::move(points)), flags(f), material(m), normal{nx, ny, nz} {}
    std::vector<uint16_t> idx;
    uint16_t flags = 0;
    uint16_t material = 0;
    int16_t normal[3] = {0, 0, 0};
    std::vector<int16_t> normals;   // 3 per point when present
    std::vector<int16_t> mapping;   // 2 per point when present
    uint8_t droppedByte = 0;        // versions 12 and 13: the byte after the flags, gone once converted
};

struct TShape {
    int version = 16;
    uint16_t shift = 0, flags = 0, reservedWord = 0;
    uint32_t reservedLong = 0;
    int32_t radius = 0;
    int32_t lo[3] = {0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF};
    int32_t hi[3] = {(int32_t)0x80000001, (int32_t)0x80000001, (int32_t)0x80000001};
    int16_t noSort = 0, maxAngle = 0;
    uint32_t extra = 0, reservedTail = 0;
    std::vector<TVert> verts;
    std::vector<TPoly> polys;
    std::vector<std::pair<std::string, uint16_t>> names;
    std::string order = "vpn";   // order of the sections in the block
};

static inline Bytes BuildShape(const TShape& s)
{
    Bytes b(s.version >= 15 ? 68 : 60, 0);
    uint8_t* h = b.data();
    PutU16(h, 0x00, (uint16_t)s.version);
    PutU16(h, 0x02, s.shift);
    PutU16(h, 0x04, s.flags);
    PutU16(h, 0x06, s.reservedWord);
    PutU32(h, 0x0C, s.reservedLong);
    PutU32(h, 0x1C, (uint32_t)s.radius);
    for (int a = 0; a < 3; a++) {   // before version 16: min X, max X, min Y, ...
        PutU32(h, s.version >= 16 ? 0x20 + 4 * a : 0x20 + 8 * a, (uint32_t)s.lo[a]);
        PutU32(h, s.version >= 16 ? 0x2C + 4 * a : 0x24 + 8 * a, (uint32_t)s.hi[a]);
    }
    PutU16(h, 0x38, (uint16_t)s.noSort);
    PutU16(h, 0x3A, (uint16_t)s.maxAngle);
    if (s.version >= 15) PutU32(h, 0x3C, s.extra), PutU32(h, 0x40, s.reservedTail);
    for (char section : s.order) {
        if (section == 'v' && !s.verts.empty()) {
            PutU32(b.data(), 0x10, (uint32_t)b.size());
            AppendU16(b, (uint16_t)s.verts.size());
            for (const TVert& v : s.verts) {
                for (int16_t c : {v.x, v.y, v.z}) AppendU16(b, (uint16_t)c);
                if (s.version >= 13) AppendU16(b, v.flags);
                if (s.version >= 15) AppendU32(b, v.name);
            }
        } else if (section == 'p' && !s.polys.empty()) {
            PutU32(b.data(), 0x14, (uint32_t)b.size());
            AppendU16(b, (uint16_t)s.polys.size());
            for (const TPoly& p : s.polys) {
                uint16_t word = (uint16_t)(p.idx.size() | (p.normals.empty() ? 0 : 0x4000) |
                                           (p.mapping.empty() ? 0 : 0x8000));
                if (s.version <= 13) {   // the count word first, the flags a byte
                    AppendU16(b, word);
                    for (int16_t c : p.normal) AppendU16(b, (uint16_t)c);
                    AppendU16(b, p.material);
                    AppendU8(b, (uint8_t)p.flags);
                    AppendU8(b, p.droppedByte);
                } else {
                    AppendU16(b, p.flags);
                    AppendU16(b, p.material);
                    for (int16_t c : p.normal) AppendU16(b, (uint16_t)c);
                    AppendU16(b, word);
                }
                for (uint16_t i : p.idx) AppendU16(b, i);
                for (int16_t n : p.normals) AppendU16(b, (uint16_t)n);
                for (int16_t m : p.mapping) AppendU16(b, (uint16_t)m);
            }
        } else if (section == 'n' && !s.names.empty()) {
            PutU32(b.data(), 0x18, (uint32_t)b.size());
            AppendU16(b, (uint16_t)s.names.size());
            for (const auto& [name, id] : s.names) {
                for (size_t c = 0; c < 16; c++) AppendU8(b, c < name.size() ? (uint8_t)name[c] : ' ');
                AppendU16(b, id);
            }
        }
    }
    PutU32(b.data(), 0x08, (uint32_t)b.size());
    return b;
}
