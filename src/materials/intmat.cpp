// Render materials: the IntMat table and the record -> IntMat conversion.
#include "materials/intmat.h"

#include <cstdio>
#include <cstring>

#include "base/bytes.h"
#include "base/fatal.h"
#include "base/log.h"
#include "base/str.h"
#include "materials/matm.h"
#include "palette/palm.h"
#include "platform/sprite.h"

static struct {
    uint8_t* table;          // capacity records of IM_SIZE bytes
    IntMatDrawFn* hooks;     // the draw routine of each entry, beside its record
    int capacity;
    int count;
    IntMatChangeFn handlers[IM_MAX_HANDLERS];
    int handlerCount;
    IntMatChangeFn releaseHandlers[IM_MAX_HANDLERS];
    int releaseCount;
    IntMatUnloadFn unload;
    int dummy[3];            // the Dummy's colour, 0 to 255 each; all 0: the all-zero material
} intMat;

// Textures that failed since the last report: each sprite once, with why and a material that
// uses it; past the room, only counted.
enum { TEXTURE_FAILURES_KEPT = 8, FAILURE_TEXT = 96, TEXTURE_REPORTED_MAX = 64 };
static struct {
    struct {
        ResId sprite;
        char material[MAT_NAME_SIZE + 1];
        char texture[MAT_TEXTURE_SIZE];   // as the material names it
        char why[FAILURE_TEXT];
    } kept[TEXTURE_FAILURES_KEPT];
    int count;   // all noted, kept or not
    // The names of all noted since the last report, and of those reported already: each is
    // told once, though the table is rebuilt at every change.
    char noted[TEXTURE_REPORTED_MAX][MAT_TEXTURE_SIZE];
    int notedCount;
    char reported[TEXTURE_REPORTED_MAX][MAT_TEXTURE_SIZE];
    int reportedCount;
} failures;

static void NoteFailure(ResId sprite, const char* material, const char* texture);
static void ColourDummy(void);

// The no-material record: not in the table, all zero until a setter writes into it.
static uint8_t none[IM_SIZE];
static IntMatDrawFn noneHook;

// ============================================================================================
// Table
// ============================================================================================

int IntMatCreate(int capacity)
{
    IntMatDestroy();
    if (capacity < 1) capacity = 1;
    intMat.table = (uint8_t*)ResAllocMem((size_t)capacity * IM_SIZE);
    intMat.hooks = (IntMatDrawFn*)ResAllocMem(sizeof(IntMatDrawFn) * (size_t)capacity);
    if (!intMat.table || !intMat.hooks) {
        IntMatDestroy();
        return 1;
    }
    memset(intMat.table, 0, (size_t)capacity * IM_SIZE);
    memset(intMat.hooks, 0, sizeof(IntMatDrawFn) * (size_t)capacity);
    intMat.capacity = capacity;
    intMat.count = 0;
    intMat.handlerCount = 0;
    intMat.releaseCount = 0;
    intMat.dummy[0] = intMat.dummy[1] = intMat.dummy[2] = 0;
    failures.count = failures.notedCount = failures.reportedCount = 0;
    memset(none, 0, sizeof none);
    noneHook = nullptr;
    ResRegisterType("mat", MatMUpgradeBlock, nullptr, MAT_MAX_FILE_SIZE);
    // Texture copies are resources: the table must go before the resource manager does.
    RegisterExit(IntMatDestroy);
    return 0;
}

void IntMatDestroy(void)
{
    if (intMat.table) IntMatReleaseAll();
    if (intMat.table) ResFreeMem(intMat.table);
    if (intMat.hooks) ResFreeMem(intMat.hooks);
    intMat.table = nullptr;
    intMat.hooks = nullptr;
    intMat.capacity = 0;
    intMat.count = 0;
}

int IntMatCount(void) { return intMat.count; }
int IntMatCapacity(void) { return intMat.capacity; }
void IntMatSetUnloadFn(IntMatUnloadFn fn) { intMat.unload = fn; }

void IntMatReleaseAll(void)
{
    if (intMat.count > 0)
        for (int i = 0; i < intMat.releaseCount; i++) intMat.releaseHandlers[i]();
    for (int i = 0; i < intMat.count; i++) {
        uint8_t* r = intMat.table + (size_t)i * IM_SIZE;
        ResId handle = GetU16(r, IM_HANDLE);
        if (handle) {
            ResFreeAlways(handle);
            PutU16(r, IM_HANDLE, 0);
        }
    }
    if (intMat.unload) intMat.unload();
    intMat.count = 0;
}

void IntMatAddChangeHandler(IntMatChangeFn fn)
{
    if (!fn) return;
    for (int i = 0; i < intMat.handlerCount; i++)
        if (intMat.handlers[i] == fn) return;
    if (intMat.handlerCount < IM_MAX_HANDLERS) intMat.handlers[intMat.handlerCount++] = fn;
}

void IntMatRunChangeHandlers(void)
{
    for (int i = 0; i < intMat.handlerCount; i++) intMat.handlers[i]();
}

void IntMatAddReleaseHandler(IntMatChangeFn fn)
{
    if (!fn) return;
    for (int i = 0; i < intMat.releaseCount; i++)
        if (intMat.releaseHandlers[i] == fn) return;
    if (intMat.releaseCount < IM_MAX_HANDLERS) intMat.releaseHandlers[intMat.releaseCount++] = fn;
}

// ============================================================================================
// Conversion
// ============================================================================================

// The 16 name bytes of an entry: upper case, spaces from the first NUL on.
static void MakeName(uint8_t out[IM_NAME_CHARS], const char* name, size_t limit)
{
    bool ended = false;
    for (size_t i = 0; i < IM_NAME_CHARS; i++) {
        char c = (!ended && i < limit) ? name[i] : 0;
        if (!c) ended = true;
        if (c >= 'a' && c <= 'z') c -= 32;
        out[i] = ended ? ' ' : (uint8_t)c;
    }
}

static void UpdateUnlit(uint8_t* r)
{
    bool unlit = GetI32(r, IM_SI) == 0 && GetI32(r, IM_AMBIENT) == 0 && GetI32(r, IM_DIFFUSE) == 0;
    PutI32(r, IM_UNLIT, unlit ? 1 : 0);
}

// Record -> IntMat. palette: 256 triples of 6-bit components, or null to keep the record's
// own colour.
static void Convert(uint8_t* out, IntMatDrawFn* hook, const uint8_t* rec, const uint8_t* palette, int loadTexture,
                    int32_t loadFlags)
{
    memset(out, 0, IM_SIZE);
    *hook = nullptr;
    MakeName(out + IM_NAME, (const char*)rec + MR_NAME, MAT_NAME_SIZE);
    PutI32(out, IM_AMBIENT, GetI32(rec, MR_AMBIENT));
    PutI32(out, IM_DIFFUSE, GetI32(rec, MR_DIFFUSE));
    PutI32(out, IM_SPECULAR, GetI32(rec, MR_SPECULAR));
    PutI32(out, IM_SI, GetI32(rec, MR_SI));
    PutI32(out, IM_ALPHA, GetI32(rec, MR_ALPHA));
    UpdateUnlit(out);

    int index = GetU8(rec, MR_PALETTE);
    PutI32(out, IM_PALETTE, index);
    if (palette) {
        PutI32(out, IM_RED, (palette[index * 3] & 63) * 4);
        PutI32(out, IM_GREEN, (palette[index * 3 + 1] & 63) * 4);
        PutI32(out, IM_BLUE, (palette[index * 3 + 2] & 63) * 4);
    } else {
        PutI32(out, IM_RED, GetI32(rec, MR_RED) >> 6);
        PutI32(out, IM_GREEN, GetI32(rec, MR_GREEN) >> 6);
        PutI32(out, IM_BLUE, GetI32(rec, MR_BLUE) >> 6);
    }

    PutI32(out, IM_LOAD_FLAGS, loadFlags);
    char texture[MAT_TEXTURE_SIZE];
    StrLCopy(texture, (const char*)rec + MR_TEXTURE, sizeof texture);
    // A texture that is not there draws untextured.
    ResId sprite = texture[0] ? ResFindOrAdd(texture) : 0;
    PutU16(out, IM_SPRITE, sprite);
    // A sprite that its loader refuses has no copy: the user hears of it once the load is over.
    if (loadTexture && sprite) {
        ResId copy = ResCopy(sprite);
        PutU16(out, IM_HANDLE, copy);
        if (!copy) NoteFailure(sprite, (const char*)rec + MR_NAME, texture);
    } else if (loadTexture && texture[0]) {
        NoteFailure(0, (const char*)rec + MR_NAME, texture);   // no file of that name
    }
}

void IntMatNoteTextureFailure(ResId sprite, const char* material) { NoteFailure(sprite, material, nullptr); }

static void NoteFailure(ResId sprite, const char* material, const char* texture)
{
    char name[MAT_TEXTURE_SIZE];
    StrLCopy(name, texture ? texture : sprite ? ResName(sprite) : "", sizeof name);
    if (!name[0]) return;
    int kept = failures.count < TEXTURE_FAILURES_KEPT ? failures.count : TEXTURE_FAILURES_KEPT;
    for (int i = 0; i < kept; i++)
        if (sprite && failures.kept[i].sprite == sprite) return;
    for (int i = 0; i < failures.notedCount; i++)
        if (StrICmp(failures.noted[i], name) == 0) return;
    for (int i = 0; i < failures.reportedCount; i++)
        if (StrICmp(failures.reported[i], name) == 0) return;
    if (failures.notedCount < TEXTURE_REPORTED_MAX) StrLCopy(failures.noted[failures.notedCount++], name, MAT_TEXTURE_SIZE);
    const char* why = "the file cannot be read";
    if (!sprite || ResLastError() == RES_ERR_NOT_FOUND) why = "there is no such file";
    else if (ResLastError() == RES_ERR_MEMORY) why = "there is not enough memory for it";
    else if (SpriteLastRefusal()[0]) why = SpriteLastRefusal();
    LogPrintf(LOG_WARN, "TEXTURES: %s cannot be loaded: %s", name, why);
    if (failures.count++ >= TEXTURE_FAILURES_KEPT) return;
    auto& f = failures.kept[kept];
    f.sprite = sprite;
    f.material[0] = 0;
    if (material) {
        StrLCopy(f.material, material, sizeof f.material);
    } else {
        for (int i = 0; sprite && i < intMat.count; i++) {
            if (GetU16(intMat.table + (size_t)i * IM_SIZE, IM_SPRITE) != sprite) continue;
            // The table's names are space-filled.
            StrLCopy(f.material, (const char*)intMat.table + (size_t)i * IM_SIZE + IM_NAME, IM_NAME_CHARS + 1);
            for (int k = IM_NAME_CHARS - 1; k >= 0 && f.material[k] == ' '; k--) f.material[k] = 0;
            break;
        }
    }
    StrLCopy(f.why, why, sizeof f.why);
    StrLCopy(f.texture, name, sizeof f.texture);
}

void IntMatForgetReportedTextures(void) { failures.reportedCount = 0; }

int IntMatTakeTextureReport(char* out, size_t size)
{
    if (size) out[0] = 0;
    int n = failures.count;
    if (!n) return 0;
    failures.count = 0;
    int kept = n < TEXTURE_FAILURES_KEPT ? n : TEXTURE_FAILURES_KEPT;
    for (int i = 0; i < failures.notedCount && failures.reportedCount < TEXTURE_REPORTED_MAX; i++)
        StrLCopy(failures.reported[failures.reportedCount++], failures.noted[i], MAT_TEXTURE_SIZE);
    failures.notedCount = 0;
    if (!size) return 1;
    const auto& f = failures.kept[0];
    char material[MAT_NAME_SIZE + 16] = "";
    if (f.material[0]) snprintf(material, sizeof material, " (material %s)", f.material);
    if (n == 1) {
        snprintf(out, size, "Texture %s%s cannot be loaded: %s.", f.texture, material, f.why);
        return 1;
    }
    // Several: each named with its reason, as many as were kept.
    snprintf(out, size, "%d textures cannot be loaded:", n);
    for (int i = 0; i < kept; i++) {
        size_t at = strlen(out);
        snprintf(out + at, size - at, "%s %s (%s)", i ? "," : "", failures.kept[i].texture, failures.kept[i].why);
    }
    size_t at = strlen(out);
    if (n > kept) snprintf(out + at, size - at, " and %d more.", n - kept);
    else snprintf(out + at, size - at, ".");
    return 1;
}

int MatSetData(const uint8_t* block, size_t size)
{
    uint8_t palette[256 * 3];
    PalMGetPalette(palette);
    // Material data comes from the user's files: a damaged block changes nothing.
    if (!block || size < MAT_HEADER_SIZE || GetI16(block, MH_VERSION) != MAT_VERSION) {
        LogPrintf(LOG_ERROR, "MATERIALS: material data refused: not version %d material data", MAT_VERSION);
        return 1;
    }
    int count = GetI16(block, MH_COUNT);
    if (count < 0 || !InBlock(MAT_HEADER_SIZE, (uint64_t)count * MAT_RECORD_SIZE, size)) {
        LogPrintf(LOG_ERROR, "MATERIALS: material data refused: %zu bytes are too short for %d materials", size, count);
        return 1;
    }
    const uint8_t* pal = (GetU32(block, MH_FLAGS) & MAT_FLAG_TRUE_COLOUR) ? nullptr : palette;

    // A list longer than the table keeps its first materials rather than losing them all.
    int room = intMat.capacity - intMat.count;
    if (count > room) {
        if (intMat.table)
            LogPrintf(LOG_WARN, "MATERIALS: %d of %d materials fit the render table", room, count);
        count = room;
    }
    for (int i = 0; i < count; i++) {
        int at = intMat.count++;
        Convert(intMat.table + (size_t)at * IM_SIZE, &intMat.hooks[at], block + MAT_HEADER_SIZE + (size_t)i * MAT_RECORD_SIZE,
                pal, 1, 0);
    }
    if (intMat.count > 0) {
        // The Dummy renders as the all-zero material, whatever record 0 holds.
        ResId handle = GetU16(intMat.table, IM_HANDLE);
        if (handle) ResFreeAlways(handle);
        memset(intMat.table + IM_NAME_CHARS, 0, IM_CLEARED_BYTES);
        intMat.hooks[0] = nullptr;
        ColourDummy();
    }
    IntMatRunChangeHandlers();
    return 0;
}

int IntMatFind(const char* name)
{
    if (!name || intMat.count == 0) return IM_NONE;
    uint8_t key[IM_NAME_CHARS];
    MakeName(key, name, IM_NAME_CHARS);
    for (int i = 0; i < intMat.count; i++)
        if (memcmp(intMat.table + (size_t)i * IM_SIZE + IM_NAME, key, IM_NAME_CHARS) == 0) return i;
    return IM_NONE;
}

int IntMatFindOrAdd(const uint8_t* record)
{
    if (!record) return IM_NONE;
    char name[MAT_NAME_SIZE + 1];
    StrLCopy(name, (const char*)record + MR_NAME, sizeof name);
    int found = IntMatFind(name);
    if (found != IM_NONE) return found;
    if (intMat.count >= intMat.capacity) return IM_NONE;
    int at = intMat.count++;
    Convert(intMat.table + (size_t)at * IM_SIZE, &intMat.hooks[at], record, nullptr, 0, 0);
    IntMatRunChangeHandlers();
    return at;
}

// ============================================================================================
// Entries
// ============================================================================================

// The record an index names, by the rule of every accessor.
static uint8_t* Entry(int index, IntMatDrawFn** hook = nullptr)
{
    if (index == IM_NONE || !intMat.table) {
        if (hook) *hook = &noneHook;
        return none;
    }
    if (index < 0 || index >= intMat.count) index = 0;
    if (hook) *hook = &intMat.hooks[index];
    return intMat.table + (size_t)index * IM_SIZE;
}

uint8_t* IntMatPtr(int index)
{
    if (!intMat.table || index < 0 || index > intMat.count) return nullptr;
    if (index == intMat.count) index = 0;
    return intMat.table + (size_t)index * IM_SIZE;
}

int32_t IntMatAmbient(int index) { return GetI32(Entry(index), IM_AMBIENT); }
int32_t IntMatDiffuse(int index) { return GetI32(Entry(index), IM_DIFFUSE); }
int32_t IntMatSpecular(int index) { return GetI32(Entry(index), IM_SPECULAR); }
int32_t IntMatUnlit(int index) { return GetI32(Entry(index), IM_UNLIT); }
int32_t IntMatSI(int index) { return index == IM_NONE ? 0 : GetI32(Entry(index), IM_SI); }
int32_t IntMatAlpha(int index) { return index == IM_NONE ? 0 : GetI32(Entry(index), IM_ALPHA); }
int32_t IntMatPalette(int index) { return index == IM_NONE ? 0 : GetI32(Entry(index), IM_PALETTE); }
int32_t IntMatRed(int index) { return GetI32(Entry(index), IM_RED); }
int32_t IntMatGreen(int index) { return GetI32(Entry(index), IM_GREEN); }
int32_t IntMatBlue(int index) { return GetI32(Entry(index), IM_BLUE); }
int32_t IntMatLoadFlags(int index) { return GetI32(Entry(index), IM_LOAD_FLAGS); }
uint32_t IntMatTPage(int index) { return GetU32(Entry(index), IM_TPAGE); }
ResId IntMatSprite(int index) { return GetU16(Entry(index), IM_SPRITE); }
ResId IntMatHandle(int index) { return GetU16(Entry(index), IM_HANDLE); }
ResId IntMatSprite2(int index) { return GetU16(Entry(index), IM_SPRITE2); }
ResId IntMatSprite3(int index) { return GetU16(Entry(index), IM_SPRITE3); }

IntMatDrawFn IntMatDrawHook(int index)
{
    IntMatDrawFn* hook;
    uint8_t* r = Entry(index, &hook);
    return GetU32(r, IM_DRAW_HOOK) ? *hook : nullptr;
}

static void SetCoefficient(int index, size_t offset, int32_t v)
{
    uint8_t* r = Entry(index);
    PutI32(r, offset, v);
    UpdateUnlit(r);
}


void IntMatSetAmbient(int index, int32_t v) { SetCoefficient(index, IM_AMBIENT, v); }
void IntMatSetDiffuse(int index, int32_t v) { SetCoefficient(index, IM_DIFFUSE, v); }
void IntMatSetSI(int index, int32_t v) { SetCoefficient(index, IM_SI, v); }
void IntMatSetSpecular(int index, int32_t v) { PutI32(Entry(index), IM_SPECULAR, v); }
void IntMatSetAlpha(int index, int32_t v) { PutI32(Entry(index), IM_ALPHA, v); }
void IntMatSetPalette(int index, int32_t v) { PutI32(Entry(index), IM_PALETTE, v); }

void IntMatSetRGB(int index, int32_t red, int32_t green, int32_t blue)
{
    uint8_t* r = Entry(index);
    PutI32(r, IM_RED, red >> 6);
    PutI32(r, IM_GREEN, green >> 6);
    PutI32(r, IM_BLUE, blue >> 6);
}

static void ColourDummy(void)
{
    if (intMat.count == 0 || (!intMat.dummy[0] && !intMat.dummy[1] && !intMat.dummy[2])) return;
    IntMatSetRGB(0, intMat.dummy[0] << 6, intMat.dummy[1] << 6, intMat.dummy[2] << 6);
    IntMatSetAmbient(0, 16384);
    IntMatSetDiffuse(0, 16384);
}

void IntMatSetDummyColour(int red, int green, int blue)
{
    const int rgb[3] = {red, green, blue};
    int was = intMat.dummy[0] || intMat.dummy[1] || intMat.dummy[2];
    for (int i = 0; i < 3; i++) intMat.dummy[i] = rgb[i] < 0 ? 0 : rgb[i] > 255 ? 255 : rgb[i];
    if (intMat.dummy[0] || intMat.dummy[1] || intMat.dummy[2]) {
        ColourDummy();
    } else if (was && intMat.count > 0) {
        // Black again: the all-zero material, as the rebuild leaves it.
        memset(intMat.table + IM_NAME_CHARS, 0, IM_CLEARED_BYTES);
    }
}

void IntMatSetDrawHook(int index, IntMatDrawFn fn)
{
    IntMatDrawFn* hook;
    uint8_t* r = Entry(index, &hook);
    *hook = fn;
    PutU32(r, IM_DRAW_HOOK, fn ? 1 : 0);
}

void IntMatSetLoadFlags(int index, int32_t flags) { PutI32(Entry(index), IM_LOAD_FLAGS, flags); }
void IntMatSetSprite(int index, ResId sprite) { PutU16(Entry(index), IM_SPRITE, sprite); }

void IntMatClearTexture(int index)
{
    uint8_t* r = Entry(index);
    ResId handle = GetU16(r, IM_HANDLE);
    if (handle) ResFreeAlways(handle);
    PutU16(r, IM_HANDLE, 0);
    PutU16(r, IM_SPRITE, 0);
}

void IntMatSetPlacement(int index, uint32_t tpage, ResId sprite2, ResId sprite3)
{
    uint8_t* r = Entry(index);
    PutU32(r, IM_TPAGE, tpage);
    PutU16(r, IM_SPRITE2, sprite2);
    PutU16(r, IM_SPRITE3, sprite3);
}
