// Palette manager. The block is the PAL file image: first index, count, then 248 slots of
// 6-bit red, green, blue. Every accessor addresses entry i at byte 4 + 3i, the slot that
// load, save and apply use, so what the panel edits is what the file stores and the display
// shows. Entries beyond the count are raised into it when edited; otherwise an edit would be
// neither applied nor read back from the saved file.
#include "palette/palm.h"

#include <cstring>

#include "base/bytes.h"
#include "base/fatal.h"
#include "base/files.h"
#include "base/log.h"
#include "base/res.h"
#include "palette/iff.h"
#include "platform/video.h"

enum {
    PAL_OFF_FIRST = 0,
    PAL_OFF_COUNT = 2,
    PAL_OFF_ENTRIES = 4,
    PAL_SYSTEM_LOW = 10,     // a windowed 8-bit desktop keeps 0..9 and 246..255 for itself
    PAL_SYSTEM_HIGH = 245,
};

static struct {
    int installed;
    int userColours;
    uint8_t block[PAL_BLOCK_SIZE];
    int clipStart;
    int clipCount;
    uint8_t clip[256 * 3];
    uint64_t cleanHash;   // the palette as last installed, loaded or saved
} pal;

static uint8_t* Entry(int i) { return pal.block + PAL_OFF_ENTRIES + 3 * i; }
static bool InPalette(int i) { return i >= 0 && i < pal.userColours; }
static int Count(void) { return GetI16(pal.block, PAL_OFF_COUNT); }

// Makes entry i part of the described range.
static void Cover(int i)
{
    if (i + 1 > Count()) PutI16(pal.block, PAL_OFF_COUNT, (int16_t)(i + 1));
}

static uint8_t Component(int v) { return (uint8_t)(v < 0 ? 0 : v > 63 ? 63 : v); }

// ============================================================================================
// Install
// ============================================================================================

static void PalMExit(void) { PalMRemove(); }

void PalMInstall(int userColours)
{
    if (pal.installed) PalMRemove();
    memset(pal.block, 0, sizeof pal.block);
    // The block has room for 248 entries whatever is asked for.
    pal.userColours = userColours > 0 && userColours < PAL_USER_COLOURS ? userColours : PAL_USER_COLOURS;
    pal.clipStart = 0;
    pal.clipCount = 0;
    pal.installed = 1;
    PalMMarkClean();
    RegisterExit(PalMExit);
}

void PalMMarkClean(void) { pal.cleanHash = BytesHash(pal.block, PAL_FILE_SIZE); }
int PalMChanged(void) { return pal.installed && BytesHash(pal.block, PAL_FILE_SIZE) != pal.cleanHash; }

void PalMRemove(void) { pal.installed = 0; }

int PalMIsInstalled(void) { return pal.installed; }

// ============================================================================================
// PAL files
// ============================================================================================

int PalMCheckImage(const uint8_t* data, size_t size, int* count)
{
    if (!data || size < PAL_OFF_ENTRIES) return 1;
    int n = GetI16(data, PAL_OFF_COUNT);
    if (n < 0 || n > PAL_USER_COLOURS) return 1;
    if (!InBlock(PAL_OFF_ENTRIES, 3 * (uint64_t)n, size)) return 1;
    if (count) *count = n;
    return 0;
}

int PalMLoadImage(const uint8_t* data, size_t size)
{
    int n;
    if (PalMCheckImage(data, size, &n) || n > pal.userColours) return 1;
    // The rest of the block keeps its old bytes.
    PutI16(pal.block, PAL_OFF_FIRST, 0);
    PutI16(pal.block, PAL_OFF_COUNT, (int16_t)n);
    memcpy(Entry(0), data + PAL_OFF_ENTRIES, (size_t)n * 3);
    PalMApply();
    return 0;
}

int PalMLoad(const char* fileName)
{
    ResId id = LoadFileToRes(fileName, PAL_FILE_SIZE, "a palette file");
    if (!id) return 1;
    int result = PalMLoadImage((const uint8_t*)ResOpen(id), ResSize(id));
    ResClose(id);
    ResFreeAlways(id);
    if (result == 0) PalMMarkClean();
    return result;
}

int PalMSave(const char* fileName)
{
    if (FileWrite(fileName, pal.block, PAL_FILE_SIZE)) return 1;
    PalMMarkClean();
    return 0;
}

// ============================================================================================
// Colours and the clipboard
// ============================================================================================

void PalMSetColour(int index, int red, int green, int blue)
{
    if (!InPalette(index)) return;
    uint8_t* e = Entry(index);
    if (red != -1) e[0] = Component(red);
    if (green != -1) e[1] = Component(green);
    if (blue != -1) e[2] = Component(blue);
    Cover(index);
    PalMApply();
}

void PalMGetColour(int index, int* red, int* green, int* blue)
{
    int r = 0, g = 0, b = 0;
    if (InPalette(index)) {
        const uint8_t* e = Entry(index);
        r = GetI8(e, 0);
        g = GetI8(e, 1);
        b = GetI8(e, 2);
    }
    if (red) *red = r;
    if (green) *green = g;
    if (blue) *blue = b;
}

void PalMCopyRange(int a, int b)
{
    a = a < 0 ? 0 : a > 255 ? 255 : a;
    b = b < 0 ? 0 : b > 255 ? 255 : b;
    pal.clipStart = a < b ? a : b;
    pal.clipCount = (a < b ? b - a : a - b) + 1;
    for (int k = 0; k < pal.clipCount; k++) {
        int i = pal.clipStart + k;
        if (InPalette(i))
            memcpy(pal.clip + 3 * k, Entry(i), 3);
        else
            memset(pal.clip + 3 * k, 0, 3);
    }
}

void PalMPaste(int index)
{
    if (pal.clipCount == 0 || index < 0 || index > 256 - pal.clipCount) return;
    for (int k = 0; k < pal.clipCount; k++) {
        int i = index + k;
        if (!InPalette(i)) break;
        memcpy(Entry(i), pal.clip + 3 * k, 3);
        Cover(i);
    }
}

int PalMClipboardCount(void) { return pal.clipCount; }
int PalMClipboardStart(void) { return pal.clipStart; }

void PalMSpread(int a, int b)
{
    int lo = a < b ? a : b;
    int hi = a < b ? b : a;
    if (!InPalette(lo) || !InPalette(hi) || hi - lo < 2) return;
    const uint8_t* from = Entry(lo);
    const uint8_t* to = Entry(hi);
    int span = hi - lo;
    for (int i = lo + 1; i < hi; i++) {
        uint8_t* e = Entry(i);
        for (int c = 0; c < 3; c++)
            e[c] = (uint8_t)((from[c] * (hi - i) + to[c] * (i - lo) + span / 2) / span);
    }
    Cover(hi);
    PalMApply();
}

int PalMImport(const char* lbmFile, int first, int count)
{
    ResId id = LoadFileToRes(lbmFile, IFF_MAX_FILE_SIZE, "an LBM picture");
    if (!id) return 1;
    uint8_t cmap[256 * 3];
    int colours = 0;
    int ok = IffGetPalette((const uint8_t*)ResOpen(id), ResSize(id), cmap, &colours);
    ResClose(id);
    ResFreeAlways(id);
    if (!ok) return 1;
    // CMAP components are 8-bit; the palette keeps the top six bits.
    for (int k = 0; k < colours && k < count; k++) {
        int64_t at = (int64_t)first + k;
        if (at < 0 || at >= pal.userColours) continue;
        int i = (int)at;
        uint8_t* e = Entry(i);
        for (int c = 0; c < 3; c++) e[c] = (uint8_t)(cmap[3 * k + c] >> 2);
        Cover(i);
    }
    PalMApply();
    return 0;
}

// ============================================================================================
// Display
// ============================================================================================

int PalMHardwareRange(int modeType, int first, int count, int* outFirst)
{
    int64_t last = (int64_t)first + count - 1;
    int lo = first < 0 ? 0 : first;
    int hi = last > 255 ? 255 : (int)last;
    if (modeType == VIDEO_WINDOWED) {
        if (lo < PAL_SYSTEM_LOW) lo = PAL_SYSTEM_LOW;
        if (hi > PAL_SYSTEM_HIGH) hi = PAL_SYSTEM_HIGH;
    }
    if (count <= 0 || hi < lo) return 0;
    if (outFirst) *outFirst = lo;
    return hi - lo + 1;
}

void PalMApply(void)
{
    int first = GetI16(pal.block, PAL_OFF_FIRST);
    int n = Count();
    if (n > PAL_USER_COLOURS) n = PAL_USER_COLOURS;
    for (int k = 0; k < n; k++) {
        int index = first + k;
        if (index < 0 || index > 255) continue;
        const uint8_t* e = Entry(k);
        VideoSetColour(index, (uint8_t)(Component(e[0]) << 2), (uint8_t)(Component(e[1]) << 2),
                       (uint8_t)(Component(e[2]) << 2));
    }
    // The colour table written above is what an 8-bit display shows; this platform has no
    // separate hardware palette to load, so the range it would take is only logged.
    if (VideoBitsPerPixel() == 8) {
        int from = 0;
        int sent = PalMHardwareRange(VideoModeType(), first, n, &from);
        if (sent) LogPrintf(LOG_DEBUG, "PALETTE: hardware colours %d to %d", from, from + sent - 1);
    }
}

const uint8_t* PalMBlock(void) { return pal.block; }

void PalMGetPalette(uint8_t out[256 * 3])
{
    const uint32_t* table = VideoColourTable();
    for (int i = 0; i < 256; i++) {
        out[3 * i + 0] = (uint8_t)((table[i] >> 16 & 255) >> 2);
        out[3 * i + 1] = (uint8_t)((table[i] >> 8 & 255) >> 2);
        out[3 * i + 2] = (uint8_t)((table[i] & 255) >> 2);
    }
}
