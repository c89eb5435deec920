// Material manager: the material list block, MAT files (older versions upgraded on reading),
// and the edits that keep the render table (intmat.cpp) in step with the list.
#include "materials/matm.h"

#include <cstring>

#include "base/bytes.h"
#include "base/fatal.h"
#include "base/files.h"
#include "base/log.h"
#include "base/res.h"
#include "base/str.h"
#include "materials/intmat.h"
#include "palette/palm.h"

static struct {
    uint8_t* block;     // header + room for MAT_MAX_RECORDS records
    int current;
    int texturesDirty;
    uint64_t cleanHash;   // the list as last installed, loaded or saved
} mat;

// The name MatMAdd tries first; it keeps its last value between calls.
static char newName[] = "New Mat 00";
enum { NEW_TENS = 8, NEW_UNITS = 9 };

static inline int Count(void) { return mat.block ? GetI16(mat.block, MH_COUNT) : 0; }
static inline void SetCount(int n) { PutI16(mat.block, MH_COUNT, (int16_t)n); }
static inline uint8_t* Record(int i) { return mat.block + MAT_HEADER_SIZE + (size_t)i * MAT_RECORD_SIZE; }
static inline bool Valid(int i) { return mat.block && i >= 0 && i < Count(); }
// Whether list index i has its render entry (a list longer than the render table has not):
// the render table's index rule would otherwise send the edit to the Dummy's entry.
static inline bool Mirrored(int i) { return i < IntMatCount(); }

// ============================================================================================
// Install
// ============================================================================================

void MatMInstall(void)
{
    if (mat.block) ResFreeMem(mat.block);
    mat.block = (uint8_t*)ResAllocMem(MAT_HEADER_SIZE + (size_t)MAT_MAX_RECORDS * MAT_RECORD_SIZE);
    if (!mat.block) FatalError("MatMInstall: Can't allocate buffer.");
    memset(mat.block, 0, MAT_HEADER_SIZE + MAT_RECORD_SIZE);
    SetCount(1);
    PutI16(mat.block, MH_VERSION, MAT_VERSION);
    PutU32(mat.block, MH_FLAGS, 0);
    StrCopy((char*)Record(0) + MR_NAME, "Dummy");
    PutU8(Record(0), MR_PALETTE, 250);
    mat.current = 0;
    memcpy(newName, "New Mat 00", sizeof newName);
    MatSetData(mat.block, MatMBlockSize());
    MatMMarkClean();
}

void MatMMarkClean(void) { mat.cleanHash = mat.block ? BytesHash(mat.block, MatMBlockSize()) : 0; }
int MatMChanged(void) { return mat.block && BytesHash(mat.block, MatMBlockSize()) != mat.cleanHash; }

void MatMSetTrueColour(void)
{
    if (mat.block) PutU32(mat.block, MH_FLAGS, GetU32(mat.block, MH_FLAGS) | MAT_FLAG_TRUE_COLOUR);
}

int MatMTrueColour(void) { return mat.block && (GetU32(mat.block, MH_FLAGS) & MAT_FLAG_TRUE_COLOUR) ? 1 : 0; }

int MatMCount(void) { return Count(); }
uint8_t* MatMRecord(int index) { return Valid(index) ? Record(index) : nullptr; }
const uint8_t* MatMBlock(void) { return mat.block; }
size_t MatMBlockSize(void) { return mat.block ? MAT_HEADER_SIZE + (size_t)Count() * MAT_RECORD_SIZE : 0; }

int MatMTexturesDirty(void) { return mat.texturesDirty; }
void MatMSetTexturesDirty(void) { mat.texturesDirty = 1; }
void MatMClearTexturesDirty(void) { mat.texturesDirty = 0; }

// ============================================================================================
// Files
// ============================================================================================

// The name of record i as a terminated text (a record read from a file may fill all 16 bytes).
static const char* NameOf(const uint8_t* rec, char out[MAT_NAME_SIZE + 1])
{
    return StrLCopy(out, (const char*)rec + MR_NAME, MAT_NAME_SIZE + 1);
}

int MatMFind(const char* name)
{
    if (!name) return 0;
    char have[MAT_NAME_SIZE + 1];
    for (int i = 0; i < Count(); i++)
        if (StrICmp(NameOf(Record(i), have), name) == 0) return 1;
    return 0;
}

// Reads a MAT file into a resource and converts it to version 4; 0 when missing or refused.
static ResId ReadFile(const char* path)
{
    if (!mat.block || !path) return 0;
    ResId id = LoadFileToRes(path, MAT_MAX_FILE_SIZE, "a material file");
    if (!id) return 0;
    if (MatMUpgradeBlock(id) != 0) {
        ResFreeAlways(id);
        return 0;
    }
    return id;
}

// Appends the records of a converted block whose names are not in the list yet. The limit
// counts every record of the file, also those that will be skipped, before anything is added;
// `spare` records of the file are known to be skipped (a load's own Dummy).
static int MergeBlock(ResId id, int spare)
{
    const uint8_t* data = (const uint8_t*)ResPeek(id);
    int n = GetI16(data, MH_COUNT);
    if (Count() + n - spare > MAT_MAX_RECORDS) return 1;
    char name[MAT_NAME_SIZE + 1];
    for (int i = 0; i < n; i++) {
        const uint8_t* rec = data + MAT_HEADER_SIZE + (size_t)i * MAT_RECORD_SIZE;
        if (MatMFind(NameOf(rec, name))) continue;
        int at = Count();
        if (at >= MAT_MAX_RECORDS) break;
        memcpy(Record(at), rec, MAT_RECORD_SIZE);
        SetCount(at + 1);
    }
    return 0;
}

static void AfterListChange(void)
{
    mat.texturesDirty = 1;
    MatMReload();
    MatMSetCurrent(mat.current);
}

int MatMMerge(const char* path)
{
    ResId id = ReadFile(path);
    if (!id) return 1;
    // Its textures are loaded anew: one that cannot be had is told again.
    IntMatForgetReportedTextures();
    int failed = MergeBlock(id, 0);
    ResFreeAlways(id);
    if (failed) return 1;
    AfterListChange();
    return 0;
}

int MatMLoad(const char* path)
{
    // The file is read and checked before the list is emptied, so a refused file loses nothing.
    ResId id = ReadFile(path);
    if (!id) return 1;
    // A saved list starts with its own Dummy, which takes no new place: a full list that was
    // saved loads back.
    const uint8_t* data = (const uint8_t*)ResPeek(id);
    char dummy[MAT_NAME_SIZE + 1], first[MAT_NAME_SIZE + 1];
    int spare = GetI16(data, MH_COUNT) > 0 && StrICmp(NameOf(Record(0), dummy), NameOf(data + MAT_HEADER_SIZE, first)) == 0;
    if (1 + GetI16(data, MH_COUNT) - spare > MAT_MAX_RECORDS) {
        ResFreeAlways(id);
        return 1;
    }
    SetCount(1);
    IntMatForgetReportedTextures();
    MergeBlock(id, spare);
    ResFreeAlways(id);
    AfterListChange();
    MatMMarkClean();
    return 0;
}

int MatMSave(const char* path)
{
    if (!mat.block || !path) return 1;
    if (FileWrite(path, mat.block, MatMBlockSize()) != 0) return 1;
    MatMMarkClean();
    return 0;
}

void MatMReload(void)
{
    if (!mat.block) return;
    IntMatReleaseAll();
    MatSetData(mat.block, MatMBlockSize());
}

// ============================================================================================
// MAT blocks: checking and upgrading to version 4
// ============================================================================================

enum {
    V2_HEADER_SIZE = 4,
    V2_RECORD_SIZE = 46,
    V2_NAME_CHARS = 15,
    V2_PALETTE = 0x10,
    V2_SI = 0x16,
    V2_AMBIENT = 0x18,
    V2_DIFFUSE = 0x1A,
    V2_SPECULAR = 0x1C,
    V2_TRANSPARENCY = 0x21,
    V2_TEXTURE = 0x22,
};

int MatMCheckBlock(const uint8_t* data, size_t size, int* version, int* count)
{
    if (version) *version = 0;
    if (count) *count = 0;
    if (!data || size < V2_HEADER_SIZE) return MATCHK_SHORT;
    int v = GetI16(data, MH_VERSION);
    int n = GetI16(data, MH_COUNT);
    if (version) *version = v;
    if (count) *count = n;
    if (v < 2 || v > MAT_VERSION) return MATCHK_VERSION;
    if (v >= 3 && size < MAT_HEADER_SIZE) return MATCHK_SHORT;
    if (n < 0) return MATCHK_COUNT;
    uint64_t need = v == 2 ? V2_HEADER_SIZE + (uint64_t)n * V2_RECORD_SIZE : MAT_HEADER_SIZE + (uint64_t)n * MAT_RECORD_SIZE;
    return need == size ? MATCHK_OK : MATCHK_COUNT;
}

// Cuts a text at the highest position from last down to 1 that holds a space or NUL: one
// position only, as the old files were written.
static void TrimOnce(uint8_t* text, int last)
{
    for (int i = last; i >= 1; i--)
        if (text[i] == ' ' || text[i] == 0) {
            text[i] = 0;
            return;
        }
}

int MatMUpgradeBlock(ResId id)
{
    size_t size = ResSize(id);
    uint8_t* data = (uint8_t*)ResPeek(id);
    int version, count;
    int check = MatMCheckBlock(data, size, &version, &count);
    if (check != MATCHK_OK) {
        LogPrintf(LOG_WARN, "MATERIALS: material block refused (version %d, count %d, %zu bytes)", version, count,
                  size);
        return 1;
    }
    if (version == 2) {
        uint8_t* old = (uint8_t*)ResAllocMem(size);
        if (!old) FatalError("Draw3DMaterialsConvert - failed to resize");
        memcpy(old, data, size);
        if (ResResize(id, MAT_HEADER_SIZE + (size_t)count * MAT_RECORD_SIZE) != 0)
            FatalError("Draw3DMaterialsConvert - failed to resize");
        data = (uint8_t*)ResPeek(id);
        PutI16(data, MH_COUNT, (int16_t)count);
        PutI16(data, MH_VERSION, 3);
        PutU32(data, MH_FLAGS, 0);
        for (int i = 0; i < count; i++) {
            const uint8_t* s = old + V2_HEADER_SIZE + (size_t)i * V2_RECORD_SIZE;
            uint8_t* d = data + MAT_HEADER_SIZE + (size_t)i * MAT_RECORD_SIZE;
            memset(d, 0, MAT_RECORD_SIZE);
            memcpy(d + MR_NAME, s, V2_NAME_CHARS);
            TrimOnce(d + MR_NAME, V2_NAME_CHARS - 1);
            PutU8(d, MR_PALETTE, GetU8(s, V2_PALETTE));
            PutI32(d, MR_SI, GetU16(s, V2_SI));
            PutI32(d, MR_AMBIENT, GetU16(s, V2_AMBIENT));
            PutI32(d, MR_DIFFUSE, GetU16(s, V2_DIFFUSE));
            PutI32(d, MR_SPECULAR, GetU16(s, V2_SPECULAR));
            PutI32(d, MR_ALPHA, GetI8(s, V2_TRANSPARENCY));
            memcpy(d + MR_TEXTURE, s + V2_TEXTURE, MAT_TEXTURE_CHARS);
            TrimOnce(d + MR_TEXTURE, MAT_TEXTURE_CHARS - 1);
        }
        ResFreeMem(old);
        version = 3;
    }
    if (version == 3) {
        PutI16(data, MH_VERSION, MAT_VERSION);
        // Version 3 kept a transparency switch where alpha now is: such a material becomes
        // translucent by its ambient level and loses its colour.
        for (int i = 0; i < count; i++) {
            uint8_t* d = data + MAT_HEADER_SIZE + (size_t)i * MAT_RECORD_SIZE;
            if (GetI32(d, MR_ALPHA) == 0) continue;
            PutI32(d, MR_ALPHA, GetI32(d, MR_AMBIENT));
            PutI32(d, MR_RED, 0);
            PutI32(d, MR_GREEN, 0);
            PutI32(d, MR_BLUE, 0);
        }
    }
    return 0;
}

// ============================================================================================
// Adding and deleting
// ============================================================================================

void MatMAdd(int position)
{
    int n = Count();
    if (!mat.block || n >= MAT_MAX_RECORDS) return;
    if (position < 1) position = 1;
    if (position > n) position = n;
    memmove(Record(position + 1), Record(position), (size_t)(n - position) * MAT_RECORD_SIZE);

    while (MatMFind(newName)) {
        if (++newName[NEW_UNITS] > '9') {
            newName[NEW_UNITS] = '0';
            newName[NEW_TENS]++;
            // Past 255 the tens would become a terminator and cut the name short.
            if (newName[NEW_TENS] == 0) newName[NEW_TENS] = '0';
        }
    }
    SetCount(n + 1);
    uint8_t* r = Record(position);
    memset(r, 0, MAT_RECORD_SIZE);
    StrLCopy((char*)r + MR_NAME, newName, MAT_NAME_SIZE);
    PutI32(r, MR_AMBIENT, 16384);
    PutI32(r, MR_DIFFUSE, 16384);
    mat.texturesDirty = 1;
    MatMReload();
}

void MatMDelete(void)
{
    int n = Count();
    if (!mat.block || mat.current <= 0 || mat.current >= n) return;
    memmove(Record(mat.current), Record(mat.current + 1), (size_t)(n - mat.current - 1) * MAT_RECORD_SIZE);
    SetCount(n - 1);
    if (mat.current > 1) mat.current--;
    MatMSetCurrent(mat.current);
    mat.texturesDirty = 1;
    MatMReload();
}

// ============================================================================================
// Current material
// ============================================================================================

int MatMCurrent(void) { return mat.current; }

void MatMSetCurrent(int index)
{
    int n = Count();
    if (index >= n) index = n - 1;
    if (index < 0) index = 0;
    mat.current = index;
}

void MatMNext(void) { mat.current = mat.current + 1 >= Count() ? 0 : mat.current + 1; }
void MatMPrevious(void) { mat.current = mat.current <= 0 ? (Count() > 0 ? Count() - 1 : 0) : mat.current - 1; }

// ============================================================================================
// Fields
// ============================================================================================

const char* MatMGetName(int index)
{
    static char out[MAT_NAME_SIZE + 1];
    out[0] = 0;
    if (Valid(index)) NameOf(Record(index), out);
    return out;
}

const char* MatMGetTexture(int index)
{
    static char out[MAT_TEXTURE_SIZE];
    out[0] = 0;
    if (Valid(index)) StrLCopy(out, (const char*)Record(index) + MR_TEXTURE, sizeof out);
    return out;
}

int MatMGetPalette(int index) { return Valid(index) ? GetU8(Record(index), MR_PALETTE) : 0; }

static int32_t ClampColour(int32_t v) { return v < 0 ? 0 : v > MAT_COLOUR_MAX ? MAT_COLOUR_MAX : v; }

static void SetColour(int index, size_t offset, int32_t v)
{
    if (!Valid(index)) return;
    v = ClampColour(v);
    PutI32(Record(index), offset, v);
    if (!Mirrored(index)) return;
    // Only this component changes in the render entry (a palette material's others come from
    // the palette, not from its record).
    int32_t c[3] = {IntMatRed(index) << 6, IntMatGreen(index) << 6, IntMatBlue(index) << 6};
    c[(offset - MR_RED) / 4] = v;
    IntMatSetRGB(index, c[0], c[1], c[2]);
}

void MatMSetRed(int index, int32_t v) { SetColour(index, MR_RED, v); }
void MatMSetGreen(int index, int32_t v) { SetColour(index, MR_GREEN, v); }
void MatMSetBlue(int index, int32_t v) { SetColour(index, MR_BLUE, v); }

// Coefficients: the record holds them as 16-bit values in 32-bit fields.
static bool SetCoefficient(int index, size_t offset, int32_t v)
{
    if (!Valid(index)) return false;
    PutI32(Record(index), offset, (int32_t)(v & 0xFFFF));
    return true;
}

void MatMSetSI(int index, int32_t v)
{
    if (SetCoefficient(index, MR_SI, v) && Mirrored(index)) IntMatSetSI(index, v);
}
void MatMSetAmbient(int index, int32_t v)
{
    if (SetCoefficient(index, MR_AMBIENT, v) && Mirrored(index)) IntMatSetAmbient(index, v);
}
void MatMSetDiffuse(int index, int32_t v)
{
    if (SetCoefficient(index, MR_DIFFUSE, v) && Mirrored(index)) IntMatSetDiffuse(index, v);
}
void MatMSetSpecular(int index, int32_t v)
{
    if (SetCoefficient(index, MR_SPECULAR, v) && Mirrored(index)) IntMatSetSpecular(index, v);
}

void MatMSetAlpha(int index, int32_t v)
{
    if (!Valid(index)) return;
    PutI32(Record(index), MR_ALPHA, v);
    if (Mirrored(index)) IntMatSetAlpha(index, v);
}

void MatMSetPalette(int index, int32_t v)
{
    if (!Valid(index)) return;
    PutU8(Record(index), MR_PALETTE, (uint8_t)v);
    if (!Mirrored(index)) return;
    IntMatSetPalette(index, v & 0xFF);
    if (!MatMTrueColour()) {
        // The render colour of a palette material is its palette entry: keep it in step.
        uint8_t palette[256 * 3];
        PalMGetPalette(palette);
        const uint8_t* c = palette + (v & 0xFF) * 3;
        IntMatSetRGB(index, (c[0] & 63) << 8, (c[1] & 63) << 8, (c[2] & 63) << 8);
    }
}

// Copies text into a field of `size` bytes (terminator included), zero-filling the rest.
// 1 when it differed from what the field held, ignoring a-z case.
static int SetText(int index, size_t offset, size_t size, const char* text)
{
    if (!Valid(index)) return 0;
    char want[MAT_NAME_SIZE], have[MAT_NAME_SIZE];
    StrLCopy(want, text ? text : "", size);
    StrLCopy(have, (const char*)Record(index) + offset, size);
    int changed = StrICmp(want, have) != 0;
    memset(Record(index) + offset, 0, size);
    memcpy(Record(index) + offset, want, StrLen(want));
    // A shape keeps the names its polygons carry: a renamed material is no longer theirs. A
    // texture named anew that cannot be had is told again.
    if (changed && offset == MR_TEXTURE) IntMatForgetReportedTextures();
    if (changed) {
        mat.texturesDirty = 1;
        MatMReload();
    }
    return changed;
}

int MatMSetName(int index, const char* text) { return SetText(index, MR_NAME, MAT_NAME_SIZE, text); }
int MatMSetTexture(int index, const char* text) { return SetText(index, MR_TEXTURE, MAT_TEXTURE_SIZE, text); }

void MatMClearTexture(int index)
{
    if (!Valid(index)) return;
    memset(Record(index) + MR_TEXTURE, 0, MAT_TEXTURE_SIZE);
    if (Mirrored(index)) IntMatClearTexture(index);
    mat.texturesDirty = 1;
}
