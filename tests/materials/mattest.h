// Hand-made MAT images and the fixture the material tests share.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/res.h"
#include "materials/intmat.h"
#include "materials/matm.h"
#include "palette/palm.h"
#include "platform/platform.h"
#include "support/testutil.h"

// Records are written as aggregates naming only their leading fields.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

struct Mat {
    std::string name;
    int32_t red = 0, green = 0, blue = 0;
    int32_t si = 0, ambient = 0, diffuse = 0, specular = 0, alpha = 0;
    std::string texture;
};

// One version-3/4 record of 100 bytes.
inline Bytes MatRecordBytes(const Mat& m)
{
    Bytes r(MAT_RECORD_SIZE, 0);
    for (size_t i = 0; i < m.name.size() && i < 16; i++) r[MR_NAME + i] = (uint8_t)m.name[i];
    for (auto [at, v] : {std::pair<int, int32_t>{MR_RED, m.red}, {MR_GREEN, m.green}, {MR_BLUE, m.blue}, {MR_SI, m.si},
                         {MR_AMBIENT, m.ambient}, {MR_DIFFUSE, m.diffuse}, {MR_SPECULAR, m.specular}, {MR_ALPHA, m.alpha}})
        PutI32(r.data(), at, v);
    for (size_t i = 0; i < m.texture.size() && i < 13; i++) r[MR_TEXTURE + i] = (uint8_t)m.texture[i];
    return r;
}

// A small 8-bit sprite file that loads as a texture.
inline void WriteSprite(const std::string& path)
{
    ResId id = SpriteCreate8(4, 4, -1, nullptr, 0);
    ASSERT_NE(id, 0);
    const uint8_t* d = (const uint8_t*)ResPeek(id);
    WriteBytes(path, Bytes(d, d + ResSize(id)));
    ResFree(id);
}

inline Bytes MatFile(const std::vector<Mat>& mats, uint32_t flags = 0, int version = 4)
{
    Bytes b;
    AppendU16(b, (uint16_t)mats.size());
    AppendU16(b, (uint16_t)version);
    AppendU32(b, flags);
    for (const Mat& m : mats) {
        Bytes r = MatRecordBytes(m);
        b.insert(b.end(), r.begin(), r.end());
    }
    return b;
}

// Version-2 record: the name and texture are raw bytes (15 and 12), written as given.
struct Mat2 {
    std::string name;      // up to 15 bytes
    uint8_t palette = 0;
    uint16_t si = 0, ambient = 0, diffuse = 0, specular = 0;
    uint8_t transparency = 0;
    std::string texture;   // up to 12 bytes
};

inline Bytes Mat2File(const std::vector<Mat2>& mats)
{
    Bytes b;
    AppendU16(b, (uint16_t)mats.size());
    AppendU16(b, 2);
    for (const Mat2& m : mats) {
        Bytes r(46, 0xEE);   // bytes the conversion does not read
        for (size_t i = 0; i < 15; i++) r[i] = i < m.name.size() ? (uint8_t)m.name[i] : 0;
        r[0x10] = m.palette;
        for (auto [at, v] :
             {std::pair<int, uint16_t>{0x16, m.si}, {0x18, m.ambient}, {0x1A, m.diffuse}, {0x1C, m.specular}})
            PutU16(r.data(), at, v);
        r[0x21] = m.transparency;
        for (size_t i = 0; i < 12; i++) r[0x22 + i] = i < m.texture.size() ? (uint8_t)m.texture[i] : 0;
        b.insert(b.end(), r.begin(), r.end());
    }
    return b;
}

// Materials named prefix0000, prefix0001, ...
inline std::vector<Mat> NumberedMats(const std::string& prefix, int n)
{
    std::vector<Mat> v;
    for (int i = 0; i < n; i++) {
        char name[16];
        snprintf(name, sizeof name, "%s%04d", prefix.c_str(), i);
        v.push_back(Mat{name});
    }
    return v;
}

inline std::string RecordName(const uint8_t* r) { return std::string((const char*)r, strnlen((const char*)r, 16)); }

// Resources, palette, render table and list installed, working inside a fresh folder.
class Materials : public ::testing::Test {
protected:
    TempDir dir{true};
    void SetUp() override
    {
        ResRemove();
        ResInstall(2000);
        SpriteInstall();
        PalMInstall(PAL_USER_COLOURS);
        ASSERT_EQ(0, IntMatCreate(512));
        MatMInstall();
        MatMClearTexturesDirty();
    }
    void TearDown() override
    {
        IntMatDestroy();
        ResRemove();
    }
    // The list's block as it stands, to compare before and after a refused operation.
    static Bytes ListImage() { return Bytes(MatMBlock(), MatMBlock() + MatMBlockSize()); }
};
