#include "palette/image.h"

#include <algorithm>
#include <cstring>
#include <strings.h>
#include <unordered_map>

#include <stb_image.h>
#include <stb_image_resize.h>

#include "base/bytes.h"
#include "base/files.h"
#include "platform/sandbox.h"
#include "platform/sprite.h"

enum {
    SPR8_HEADER = 48,
    SPR32_HEADER = 32,
    SPRZ_HEADER = 52,
    SPR32_TAIL = 4,          // created 32-bit sprites carry 4 spare bytes behind the pixels
    OFF_WIDTH = 4,
    OFF_HEIGHT = 8,
    OFF_KEY = 12,
    OFF_TRANSPARENT = 20,
    OFF_PIXELS = 32,
    OFF_PALETTE = 36,
    OFF_ROWS = 40,
    OFF_ALPHA_FLAG = 30,     // 1: the pixels' alpha carries the transparency
    OFF_ALPHA_MODE = 40,     // "BGRZ": 0 = runs of 6-bit alpha, red, green, blue
    RUN_MAX = 64,
    CODE_KEY = 0x00,
    CODE_565 = 0x80,
    CODE_ARGB = 0xC0,
    TRANSPARENT_BELOW = 128, // an 8-bit sprite has no partial alpha: below this, a pixel is the transparent index
};

// ---- decoding --------------------------------------------------------------------------------

int ImgDecode(const uint8_t* data, size_t size, ImgPicture* out, std::string& why)
{
    if (size > (size_t)IMG_MAX_FILE_SIZE || size > (size_t)INT32_MAX) {
        why = "it is larger than a picture can be here (" + std::to_string(IMG_MAX_FILE_SIZE >> 20) + " MiB)";
        return 1;
    }
    int w = 0, h = 0, channels = 0;
    // The size the file declares, read before any pixel: a small file may claim a huge picture.
    if (!stbi_info_from_memory(data, (int)size, &w, &h, &channels)) {
        why = "it is no PNG, JPEG, TGA, BMP or GIF picture this reader knows";
        return 1;
    }
    if (w <= 0 || h <= 0 || w > IMG_MAX_DECODED_SIDE || h > IMG_MAX_DECODED_SIDE ||
        (int64_t)w * h > IMG_MAX_DECODED_PIXELS) {
        why = "its size " + std::to_string(w) + "x" + std::to_string(h) + " passes the largest picture read (" +
              std::to_string(IMG_MAX_DECODED_SIDE) + " pixels a side, " + std::to_string(IMG_MAX_DECODED_PIXELS) +
              " pixels in all)";
        return 1;
    }
    uint8_t* pixels = stbi_load_from_memory(data, (int)size, &w, &h, &channels, 4);
    if (!pixels) {
        const char* reason = stbi_failure_reason();
        why = std::string("it cannot be decoded (") + (reason ? reason : "damaged") + ")";
        return 1;
    }
    out->width = w;
    out->height = h;
    out->rgba.assign(pixels, pixels + 4ull * w * h);
    stbi_image_free(pixels);
    return 0;
}

struct DecodeJob {
    const uint8_t* data;
    size_t size;
};

// In the child: the picture as width, height (u32 each) and the pixels.
static int DecodeInChild(const void* arg, std::vector<uint8_t>& out, std::string& why)
{
    const DecodeJob* job = (const DecodeJob*)arg;
    ImgPicture p;
    if (ImgDecode(job->data, job->size, &p, why)) return 1;
    out.resize(8 + p.rgba.size());
    PutU32(out.data(), 0, (uint32_t)p.width);
    PutU32(out.data(), 4, (uint32_t)p.height);
    memcpy(out.data() + 8, p.rgba.data(), p.rgba.size());
    return 0;
}

int ImgLoad(const char* fileName, ImgPicture* out, std::string& why)
{
    std::vector<uint8_t> data;
    switch (FileReadWhole(fileName, IMG_MAX_FILE_SIZE, "a picture", data)) {
    case FILE_READABLE: break;
    case FILE_CANNOT_READ: why = "it cannot be read"; return 1;
    default: why = FileRefusal(); return 1;
    }
    return ImgLoadMemory(data.data(), data.size(), out, why);
}

int ImgLoadMemory(const uint8_t* data, size_t size, ImgPicture* out, std::string& why)
{
    DecodeJob job{data, size};
    std::vector<uint8_t> got;
    if (SandboxRun(DecodeInChild, &job, SandboxLimits{}, got, why)) return 1;
    // The child's answer is checked like any other input.
    if (got.size() < 8) {
        why = "the reader's answer is damaged";
        return 1;
    }
    uint32_t w = GetU32(got.data(), 0), h = GetU32(got.data(), 4);
    if (w == 0 || h == 0 || w > IMG_MAX_DECODED_SIDE || h > IMG_MAX_DECODED_SIDE ||
        (uint64_t)w * h > IMG_MAX_DECODED_PIXELS || got.size() != 8 + 4ull * w * h) {
        why = "the reader's answer is damaged";
        return 1;
    }
    out->width = (int)w;
    out->height = (int)h;
    out->rgba.assign(got.begin() + 8, got.end());
    return 0;
}

int ImgIsPictureName(const char* name)
{
    const char* dot = name ? strrchr(name, '.') : nullptr;
    const char* slash = name ? strrchr(name, '/') : nullptr;
    if (!dot || (slash && dot < slash)) return 0;
    static const char* const kExtensions[] = {"png", "jpg", "jpeg", "tga", "bmp", "gif"};
    for (const char* e : kExtensions)
        if (strcasecmp(dot + 1, e) == 0) return 1;
    return 0;
}

std::string ImgSpriteFileName(const std::string& picture, const std::string& folder, std::vector<std::string>& taken)
{
    enum { BASE_CHARS = 8, MAX_TRIES = 1000 };
    std::string leaf = picture;
    size_t slash = leaf.find_last_of("/\\");
    if (slash != std::string::npos) leaf = leaf.substr(slash + 1);
    std::string base;
    for (char ch : leaf) {
        if (ch == '.') break;
        if (isalnum((unsigned char)ch) || ch == '_' || ch == '-') base += (char)toupper((unsigned char)ch);
        if (base.size() == BASE_CHARS) break;
    }
    if (base.empty()) base = "TEXTURE";
    std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    std::string name = base + ".SPR";
    for (int n = 1; n < MAX_TRIES; n++) {
        bool used = std::find(taken.begin(), taken.end(), name) != taken.end() || FileExists((prefix + name).c_str());
        if (!used) break;
        std::string tail = "~" + std::to_string(n);
        name = base.substr(0, BASE_CHARS - tail.size()) + tail + ".SPR";
    }
    taken.push_back(name);
    return name;
}

// ---- colours ---------------------------------------------------------------------------------

static inline int Shown(uint8_t six) { return (uint8_t)(six << 2); }

static inline int Distance(const uint8_t* e, int r, int g, int b)
{
    int dr = Shown(e[0]) - r, dg = Shown(e[1]) - g, db = Shown(e[2]) - b;
    return dr * dr + dg * dg + db * db;
}

int ImgNearest(const uint8_t* palette, int first, int count, int r, int g, int b)
{
    int best = first, bestDistance = INT32_MAX;
    for (int i = first; i < first + count; i++) {
        int d = Distance(palette + 3 * i, r, g, b);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

int ImgNearestPow2(int n)
{
    int p = 1;
    while (p * 2 <= n) p *= 2;
    int up = p * 2;
    int best = (n - p < up - n) ? p : up;
    return best > IMG_MAX_SIDE ? IMG_MAX_SIDE : best;
}

// The candidate indices of an 8-bit conversion and the nearest of them to a colour, cached.
struct Quantiser {
    const uint8_t* palette;    // 256 triples
    std::vector<int> candidates;
    std::unordered_map<uint32_t, uint8_t> exact;
    std::vector<int16_t> coarse;   // by 6-bit colour, for dithered pixels

    int Search(int r, int g, int b) const
    {
        int best = candidates[0], bestDistance = INT32_MAX;
        for (int i : candidates) {
            int d = Distance(palette + 3 * i, r, g, b);
            if (d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
        return best;
    }
    uint8_t Exact(int r, int g, int b)
    {
        uint32_t key = (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b;
        auto it = exact.find(key);
        if (it != exact.end()) return it->second;
        uint8_t index = (uint8_t)Search(r, g, b);
        exact.emplace(key, index);
        return index;
    }
    // Dithered pixels are many and already approximate (the error they leave goes on to their
    // neighbours): looked up by their 5-bit colour, each cell answered for its centre.
    uint8_t Coarse(int r, int g, int b)
    {
        if (coarse.empty()) coarse.assign(1 << 15, -1);
        int key = (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
        if (coarse[key] < 0) coarse[key] = (int16_t)Search((r & ~7) | 4, (g & ~7) | 4, (b & ~7) | 4);
        return (uint8_t)coarse[key];
    }
};

// A palette of the picture's own: its distinct 6-bit colours when they fit, else median cut
// of them weighted by their pixel counts. Returns the count of entries written to pal.
static int OwnPalette(const ImgPicture& p, const std::vector<uint8_t>& clear, int most, uint8_t* pal)
{
    std::unordered_map<uint32_t, uint32_t> counts;
    size_t n = (size_t)p.width * p.height;
    for (size_t i = 0; i < n; i++) {
        if (clear[i]) continue;
        const uint8_t* c = &p.rgba[4 * i];
        counts[(uint32_t)(c[0] >> 2) << 12 | (uint32_t)(c[1] >> 2) << 6 | (uint32_t)(c[2] >> 2)]++;
    }
    struct Entry {
        uint8_t c[3];
        uint32_t count;
    };
    std::vector<Entry> colours;
    colours.reserve(counts.size());
    for (auto& [key, count] : counts)
        colours.push_back({{(uint8_t)(key >> 12), (uint8_t)(key >> 6 & 63), (uint8_t)(key & 63)}, count});
    // The same picture gives the same palette whatever the hash order.
    std::sort(colours.begin(), colours.end(), [](const Entry& a, const Entry& b) {
        return memcmp(a.c, b.c, 3) < 0;
    });
    if (colours.empty()) return 0;
    if ((int)colours.size() <= most) {
        for (size_t i = 0; i < colours.size(); i++) memcpy(pal + 3 * i, colours[i].c, 3);
        return (int)colours.size();
    }
    struct Box {
        size_t begin, end;
    };
    std::vector<Box> boxes{{0, colours.size()}};
    auto range = [&](const Box& b, int axis) {
        int lo = 63, hi = 0;
        for (size_t i = b.begin; i < b.end; i++) {
            lo = std::min<int>(lo, colours[i].c[axis]);
            hi = std::max<int>(hi, colours[i].c[axis]);
        }
        return hi - lo;
    };
    while ((int)boxes.size() < most) {
        int pick = -1, pickAxis = 0, pickRange = 0;
        for (size_t k = 0; k < boxes.size(); k++) {
            if (boxes[k].end - boxes[k].begin < 2) continue;
            for (int axis = 0; axis < 3; axis++) {
                int r = range(boxes[k], axis);
                if (r > pickRange) {
                    pickRange = r;
                    pick = (int)k;
                    pickAxis = axis;
                }
            }
        }
        if (pick < 0) break;
        Box b = boxes[pick];
        std::sort(colours.begin() + b.begin, colours.begin() + b.end,
                  [pickAxis](const Entry& x, const Entry& y) { return x.c[pickAxis] < y.c[pickAxis]; });
        uint64_t total = 0, half = 0;
        for (size_t i = b.begin; i < b.end; i++) total += colours[i].count;
        size_t cut = b.begin + 1;
        for (size_t i = b.begin; i < b.end - 1; i++) {
            half += colours[i].count;
            cut = i + 1;
            if (half * 2 >= total) break;
        }
        boxes[pick] = {b.begin, cut};
        boxes.push_back({cut, b.end});
    }
    for (size_t k = 0; k < boxes.size(); k++) {
        uint64_t sum[3] = {0, 0, 0}, total = 0;
        for (size_t i = boxes[k].begin; i < boxes[k].end; i++) {
            for (int a = 0; a < 3; a++) sum[a] += (uint64_t)colours[i].c[a] * colours[i].count;
            total += colours[i].count;
        }
        for (int a = 0; a < 3; a++) pal[3 * k + a] = (uint8_t)((sum[a] + total / 2) / total);
    }
    return (int)boxes.size();
}

// ---- writing sprites -------------------------------------------------------------------------

static void Write8(const ImgPicture& p, const ImgSpriteOptions& o, std::vector<uint8_t>& out, ImgSpriteReport* report,
                   const std::vector<uint8_t>& clear, bool anyClear)
{
    uint8_t own[256 * 3] = {};
    Quantiser q;
    int transparent = -1, ownCount = 0;
    if (o.ownPalette) {
        ownCount = OwnPalette(p, clear, anyClear ? IMG_OWN_PALETTE_COLOURS - 1 : IMG_OWN_PALETTE_COLOURS, own);
        if (ownCount == 0) ownCount = 1;   // a wholly transparent picture still has one colour
        q.palette = own;
        for (int i = 0; i < ownCount; i++) q.candidates.push_back(i);
        if (anyClear) {
            transparent = ownCount;
            if (o.hasKey)
                for (int a = 0; a < 3; a++) own[3 * transparent + a] = o.key[a] >> 2;
            ownCount++;
        }
    } else {
        q.palette = o.palette;
        int first = std::max(0, o.paletteFirst), last = std::min((int)IMG_OWN_PALETTE_COLOURS, o.paletteFirst + o.paletteCount);
        if (anyClear) {
            // A user index the palette leaves unused, else the first of its colours gives way.
            for (int i = 0; i < IMG_OWN_PALETTE_COLOURS && transparent < 0; i++)
                if (i < first || i >= last) transparent = i;
            if (transparent < 0) transparent = first;
        }
        for (int i = first; i < last; i++)
            if (i != transparent) q.candidates.push_back(i);
    }
    int w = p.width, h = p.height;
    std::vector<uint8_t> pixels((size_t)w * h);
    if (!o.dither) {
        for (size_t i = 0; i < pixels.size(); i++) {
            const uint8_t* c = &p.rgba[4 * i];
            pixels[i] = clear[i] ? (uint8_t)transparent : q.Exact(c[0], c[1], c[2]);
        }
    } else {
        // Floyd-Steinberg: each pixel's error goes 7/16 right, 3/16, 5/16 and 1/16 to the row below.
        std::vector<int> error((size_t)(w + 2) * 3 * 2, 0);
        int* cur = error.data();
        int* next = cur + (size_t)(w + 2) * 3;
        for (int y = 0; y < h; y++) {
            std::fill(next, next + (size_t)(w + 2) * 3, 0);
            for (int x = 0; x < w; x++) {
                size_t i = (size_t)y * w + x;
                if (clear[i]) {
                    pixels[i] = (uint8_t)transparent;
                    continue;
                }
                const uint8_t* c = &p.rgba[4 * i];
                int want[3];
                for (int a = 0; a < 3; a++) want[a] = std::clamp(c[a] + cur[3 * (x + 1) + a] / 16, 0, 255);
                uint8_t index = q.Coarse(want[0], want[1], want[2]);
                pixels[i] = index;
                for (int a = 0; a < 3; a++) {
                    int e = want[a] - Shown(q.palette[3 * index + a]);
                    cur[3 * (x + 2) + a] += e * 7;
                    next[3 * x + a] += e * 3;
                    next[3 * (x + 1) + a] += e * 5;
                    next[3 * (x + 2) + a] += e;
                }
            }
            std::swap(cur, next);
        }
    }
    size_t rows = SPR8_HEADER + pixels.size();
    size_t pal = rows + 8ull * h;
    out.assign(pal + (o.ownPalette ? 4 + 3ull * ownCount : 0), 0);
    uint8_t* d = out.data();
    memcpy(d, "TRPS", 4);
    PutU32(d, OFF_WIDTH, (uint32_t)w);
    PutU32(d, OFF_HEIGHT, (uint32_t)h);
    PutI32(d, OFF_TRANSPARENT, transparent);
    PutU32(d, OFF_PIXELS, SPR8_HEADER);
    PutU32(d, OFF_ROWS, (uint32_t)rows);
    for (int y = 0; y < h; y++) {
        PutU32(d, rows + 4ull * y, (uint32_t)(SPR8_HEADER + (size_t)y * w));
        PutU32(d, rows + 4ull * (h + y), (uint32_t)(SPR8_HEADER + (size_t)y * w));
    }
    memcpy(d + SPR8_HEADER, pixels.data(), pixels.size());
    if (o.ownPalette) {
        PutU32(d, OFF_PALETTE, (uint32_t)pal);
        PutI16(d, pal, 0);
        PutI16(d, pal + 2, (int16_t)ownCount);
        memcpy(d + pal + 4, own, 3ull * ownCount);
    }
    if (report) {
        report->colours = o.ownPalette ? ownCount : (int)q.candidates.size();
        report->transparent = transparent;
    }
}

// A 32-bit pixel as the "BGRZ" runs give it back (5-6-5 without alpha, 6 bits with it).
static uint32_t RoundedZ(uint32_t rgb, bool alpha)
{
    uint32_t r = rgb >> 16 & 255, g = rgb >> 8 & 255, b = rgb & 255;
    if (alpha) return (r & ~3u) << 16 | (g & ~3u) << 8 | (b & ~3u);
    return (r & ~7u) << 16 | (g & ~3u) << 8 | (b & ~7u);
}

static void Write32(const ImgPicture& p, const ImgSpriteOptions& o, std::vector<uint8_t>& out)
{
    size_t n = (size_t)p.width * p.height;
    bool alpha = false;
    for (size_t i = 0; i < n && !alpha; i++) alpha = p.rgba[4 * i + 3] != 255;
    bool z = o.format == IMG_FORMAT_32Z;
    uint32_t key;
    if (o.hasKey) {
        key = (uint32_t)o.key[0] << 16 | (uint32_t)o.key[1] << 8 | o.key[2];
    } else {
        // The format always has a key colour: one no pixel shows, so that none turns transparent.
        std::vector<bool> used(1 << 24, false);
        for (size_t i = 0; i < n; i++) {
            const uint8_t* c = &p.rgba[4 * i];
            uint32_t rgb = (uint32_t)c[0] << 16 | (uint32_t)c[1] << 8 | c[2];
            used[z ? RoundedZ(rgb, alpha) : rgb] = true;
        }
        key = 0xFF00FF;
        while (used[key]) key = (key + 0x010305) & 0xFFFFFF;
    }
    uint8_t head[SPRZ_HEADER] = {};
    memcpy(head, z ? "BGRZ" : "BGRS", 4);
    PutU32(head, OFF_WIDTH, (uint32_t)p.width);
    PutU32(head, OFF_HEIGHT, (uint32_t)p.height);
    head[OFF_KEY] = (uint8_t)(key >> 16);
    head[OFF_KEY + 1] = (uint8_t)(key >> 8);
    head[OFF_KEY + 2] = (uint8_t)key;
    head[OFF_ALPHA_FLAG] = alpha ? 1 : 0;
    auto rgbOf = [&](size_t i) {
        const uint8_t* c = &p.rgba[4 * i];
        return (uint32_t)c[0] << 16 | (uint32_t)c[1] << 8 | c[2];
    };
    if (!z) {
        out.assign(SPR32_HEADER + 4 * n + SPR32_TAIL, 0);
        memcpy(out.data(), head, SPR32_HEADER);
        for (size_t i = 0; i < n; i++)
            PutU32(out.data(), SPR32_HEADER + 4 * i, (uint32_t)p.rgba[4 * i + 3] << 24 | rgbOf(i));
        return;
    }
    PutU32(head, OFF_ALPHA_MODE, 0);
    out.assign(head, head + SPRZ_HEADER);
    for (int y = 0; y < p.height; y++) {
        size_t row = (size_t)y * p.width;
        int x = 0;
        while (x < p.width) {
            auto isKey = [&](int at) { return rgbOf(row + at) == key && p.rgba[4 * (row + at) + 3] == 255; };
            bool keyRun = isKey(x);
            int end = x + 1;
            while (end < p.width && end - x < RUN_MAX && isKey(end) == keyRun) end++;
            int count = end - x;
            if (keyRun) {
                out.push_back((uint8_t)(CODE_KEY | (count - 1)));
            } else if (!alpha) {
                out.push_back((uint8_t)(CODE_565 | (count - 1)));
                for (int k = x; k < end; k++) {
                    const uint8_t* c = &p.rgba[4 * (row + k)];
                    uint16_t v = (uint16_t)((c[0] >> 3) << 11 | (c[1] >> 2) << 5 | (c[2] >> 3));
                    out.push_back((uint8_t)v);
                    out.push_back((uint8_t)(v >> 8));
                }
            } else {
                out.push_back((uint8_t)(CODE_ARGB | (count - 1)));
                for (int k = x; k < end; k++) {
                    const uint8_t* c = &p.rgba[4 * (row + k)];
                    uint32_t v = (uint32_t)(c[3] >> 2) << 18 | (uint32_t)(c[0] >> 2) << 12 | (uint32_t)(c[1] >> 2) << 6 |
                                 (uint32_t)(c[2] >> 2);
                    out.push_back((uint8_t)v);
                    out.push_back((uint8_t)(v >> 8));
                    out.push_back((uint8_t)(v >> 16));
                }
            }
            x = end;
        }
    }
}

int ImgToSprite(const ImgPicture& source, const ImgSpriteOptions& o, std::vector<uint8_t>& sprite,
                ImgSpriteReport* report, std::string& why)
{
    if (source.width <= 0 || source.height <= 0 || source.rgba.size() != 4ull * source.width * source.height) {
        why = "the picture is empty";
        return 1;
    }
    if (o.format == IMG_FORMAT_8 && !o.ownPalette && (!o.palette || o.paletteCount <= 0)) {
        why = "an 8-bit sprite needs a palette with colours (--palette FILE.PAL or --own-palette)";
        return 1;
    }
    const ImgPicture* p = &source;
    ImgPicture resized;
    if (o.resizePow2) {
        resized.width = ImgNearestPow2(source.width);
        resized.height = ImgNearestPow2(source.height);
        if (resized.width != source.width || resized.height != source.height) {
            resized.rgba.resize(4ull * resized.width * resized.height);
            stbir_resize_uint8(source.rgba.data(), source.width, source.height, 0, resized.rgba.data(), resized.width,
                               resized.height, 0, 4);
            p = &resized;
        }
    } else if (source.width > IMG_MAX_SIDE || source.height > IMG_MAX_SIDE) {
        why = "its size " + std::to_string(source.width) + "x" + std::to_string(source.height) +
              " passes what a texture page holds (" + std::to_string(IMG_MAX_SIDE) +
              " pixels a side); --resize pow2 scales it to fit";
        return 1;
    }
    if (report) {
        report->sourceWidth = source.width;
        report->sourceHeight = source.height;
        report->width = p->width;
        report->height = p->height;
    }
    if (o.format == IMG_FORMAT_8) {
        size_t n = (size_t)p->width * p->height;
        std::vector<uint8_t> clear(n, 0);
        bool any = false;
        for (size_t i = 0; i < n; i++) {
            const uint8_t* c = &p->rgba[4 * i];
            clear[i] = c[3] < TRANSPARENT_BELOW || (o.hasKey && c[0] == o.key[0] && c[1] == o.key[1] && c[2] == o.key[2]);
            any = any || clear[i];
        }
        Write8(*p, o, sprite, report, clear, any);
    } else {
        Write32(*p, o, sprite);
    }
    return 0;
}

// ---- reading sprites -------------------------------------------------------------------------

int ImgFromSprite(ResId id, const uint8_t* palette, ImgPicture* out, std::string& why)
{
    SpriteInfo info;
    if (!SpriteFormat(id, &info)) {
        why = "it is no sprite";
        return 1;
    }
    const uint8_t* d = (const uint8_t*)ResPeek(id);
    uint8_t colours[256 * 3] = {};
    if (info.bpp == 8) {
        const uint8_t* own = SpritePalette(id);
        if (!own && !palette) {
            why = "the sprite has no palette of its own: give the working palette with --palette FILE.PAL";
            return 1;
        }
        if (palette) memcpy(colours, palette, sizeof colours);
        if (own) {
            int first = GetI16(own, 0), count = GetI16(own, 2);
            for (int k = 0; k < count; k++)
                if (first + k >= 0 && first + k < 256) memcpy(colours + 3 * (first + k), own + 4 + 3 * k, 3);
        }
    }
    out->width = info.width;
    out->height = info.height;
    out->rgba.assign(4ull * info.width * info.height, 0);
    const uint8_t* pixels = SpritePixels(id);
    size_t n = (size_t)info.width * info.height;
    if (info.bpp == 8) {
        int transparent = SpriteTransparent(id);
        for (size_t i = 0; i < n; i++) {
            uint8_t index = pixels[i];
            uint8_t* c = &out->rgba[4 * i];
            for (int a = 0; a < 3; a++) c[a] = (uint8_t)Shown(colours[3 * index + a]);
            c[3] = index == transparent ? 0 : 255;
        }
    } else {
        uint32_t key = (uint32_t)d[OFF_KEY] << 16 | (uint32_t)d[OFF_KEY + 1] << 8 | d[OFF_KEY + 2];
        bool alpha = d[OFF_ALPHA_FLAG] == 1;
        for (size_t i = 0; i < n; i++) {
            uint32_t v = GetU32(pixels, 4 * i);
            uint32_t rgb = v & 0xFFFFFF;
            uint8_t* c = &out->rgba[4 * i];
            c[0] = (uint8_t)(rgb >> 16);
            c[1] = (uint8_t)(rgb >> 8);
            c[2] = (uint8_t)rgb;
            c[3] = rgb == key ? 0 : alpha ? (uint8_t)(v >> 24) : 255;
        }
    }
    SpriteRelease(id);
    return 0;
}
