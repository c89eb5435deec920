// Text and number routines. Bytes compare as signed values, so characters of 128 and above
// sort before the ASCII range; the settings reader and the resource index rely on one order.
#include "base/str.h"

static char wordBuf[STR_WORD_MAX + 7];
static char cmdWordBuf[STR_WORD_MAX + 7];
static char numBuf[40];

static const char kDigits[] = "0123456789ABCDEF";

static inline int Upper(int c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

int StrLen(const char* s)
{
    int n = 0;
    while (s[n]) n++;
    return n;
}

char* StrCopy(char* dest, const char* src)
{
    char* d = dest;
    while ((*d++ = *src++) != 0) {
    }
    return dest;
}

char* StrNCopy(char* dest, const char* src, int n)
{
    int i = 0;
    for (; i < n && src[i]; i++) dest[i] = src[i];
    for (; i < n; i++) dest[i] = 0;
    return dest;
}

char* StrLCopy(char* dest, const char* src, size_t size)
{
    if (size == 0) return dest;
    size_t i = 0;
    for (; i + 1 < size && src[i]; i++) dest[i] = src[i];
    dest[i] = 0;
    return dest;
}

char* StrCat(char* dest, const char* src)
{
    StrCopy(dest + StrLen(dest), src);
    return dest;
}

static int Compare(const char* a, const char* b, int fold)
{
    for (;; a++, b++) {
        int ca = (signed char)*a, cb = (signed char)*b;
        // The end of the shorter text sorts first, even before the negative bytes.
        if (!ca || !cb) {
            if (!ca && !cb) return 0;
            return ca ? 1 : -1;
        }
        if (fold) {
            ca = Upper(ca);
            cb = Upper(cb);
        }
        if (ca != cb) return ca < cb ? -1 : 1;
    }
}

int StrCmp(const char* a, const char* b) { return Compare(a, b, 0); }
int StrICmp(const char* a, const char* b) { return Compare(a, b, 1); }

char* StrUpper(char* s)
{
    for (char* p = s; *p; p++)
        if (*p >= 'a' && *p <= 'z') *p -= 32;
    return s;
}

char* StrLower(char* s)
{
    for (char* p = s; *p; p++)
        if (*p >= 'A' && *p <= 'Z') *p += 32;
    return s;
}

void StrCut(char* s, char c)
{
    for (; *s; s++)
        if (*s == c) {
            *s = 0;
            return;
        }
}

char* StrPrintable(const void* text, size_t n, int stopAtNul, char* out, size_t outSize)
{
    const uint8_t* p = (const uint8_t*)text;
    size_t at = 0;
    for (size_t i = 0; p && i < n; i++) {
        uint8_t c = p[i];
        if (!c && stopAtNul) break;
        bool plain = c >= 32 && c < 127;
        if (at + (plain ? 1 : 4) >= outSize) break;
        if (plain) {
            out[at++] = (char)c;
        } else {
            out[at++] = '\\';
            out[at++] = 'x';
            out[at++] = kDigits[c >> 4];
            out[at++] = kDigits[c & 15];
        }
    }
    out[at] = 0;
    return out;
}

int StrFileNameOffset(const char* path)
{
    int at = 0;
    for (int i = 0; path && path[i]; i++)
        if (path[i] == '/' || path[i] == '\\') at = i + 1;
    return at;
}

int StrInsertChar(char* s, int pos, char c, int limit)
{
    int len = StrLen(s);
    if (len >= limit) return 1;
    // A cursor past either end inserts at that end rather than outside the text.
    if (pos < 0) pos = 0;
    if (pos > len) pos = len;
    for (int i = len; i >= pos; i--) s[i + 1] = s[i];
    s[pos] = c;
    return 0;
}

void StrDeleteChar(char* s, int pos)
{
    int len = StrLen(s);
    if (pos < 0 || pos >= len) return;
    for (int i = pos; i < len; i++) s[i] = s[i + 1];
}

int StrEditKey(char* s, int pos, int key, int limit)
{
    switch (key) {
    case 1:
    case 2:
    case 13:
        return pos;
    case 3:
        return pos > 0 ? pos - 1 : pos;
    case 4:
        return pos < StrLen(s) ? pos + 1 : pos;
    case 5:
        StrDeleteChar(s, pos);
        return pos;
    case 8:
        if (pos > 0) {
            StrDeleteChar(s, pos - 1);
            return pos - 1;
        }
        return pos;
    case 0:
        // Inserting a terminator would silently cut the text at the cursor.
        return pos;
    default: {
        int len = StrLen(s);
        int at = pos < 0 ? 0 : (pos > len ? len : pos);
        if (StrInsertChar(s, at, (char)key, limit) == 0) return at + 1;
        return pos;
    }
    }
}

int StrUtf8Decode(const char* s, uint32_t* codePoint)
{
    const unsigned char* u = (const unsigned char*)s;
    unsigned c = u[0];
    if (c == 0) return 0;
    if (c < 0x80) {
        *codePoint = c;
        return 1;
    }
    int n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (!n) return 0;
    uint32_t cp = c & (0x7Fu >> n);
    for (int i = 1; i < n; i++) {
        if ((u[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (u[i] & 0x3Fu);
    }
    static const uint32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    *codePoint = cp;
    return n;
}

int StrUtf8Encode(uint32_t cp, char* out)
{
    if (cp < 0x80) {
        out[0] = (char)cp;
        return cp ? 1 : 0;
    }
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    int n = cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    static const unsigned char lead[5] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (int i = n - 1; i > 0; i--) {
        out[i] = (char)(0x80 | (cp & 0x3F));
        cp >>= 6;
    }
    out[0] = (char)(lead[n] | cp);
    return n;
}

static const char* Word(int n, const char* text, const char* seps, int quotes, char* buf)
{
    buf[0] = 0;
    if (!text || n < 0) return buf;
    const char* p = text;
    for (int w = 0;; w++) {
        while (*p) {
            const char* s = seps;
            while (*s && *s != *p) s++;
            if (!*s) break;
            p++;
        }
        if (!*p) return buf;
        const char* start = p;
        const char* end;
        const char* next;
        if (quotes && *p == '"') {
            start = ++p;
            while (*p && *p != '"') p++;
            end = p;
            next = *p ? p + 1 : p;
        } else {
            while (*p) {
                const char* s = seps;
                while (*s && *s != *p) s++;
                if (*s) break;
                p++;
            }
            end = next = p;
        }
        if (w == n) {
            int len = (int)(end - start);
            if (len > STR_WORD_MAX) len = STR_WORD_MAX;
            for (int i = 0; i < len; i++) buf[i] = start[i];
            buf[len] = 0;
            return buf;
        }
        p = next;
    }
}

const char* StrWord(int n, const char* text) { return Word(n, text, "= \t\r\n", 0, wordBuf); }
const char* StrCmdWord(int n, const char* text) { return Word(n, text, " \t\r\n", 1, cmdWordBuf); }

// Accumulated in unsigned arithmetic: the parse has no overflow test, and the value simply wraps.
static int Parse(const char* text, int32_t* out, int radix)
{
    uint32_t v = 0;
    int ok = text && *text;
    if (ok) {
        for (const char* p = text; *p; p++) {
            int c = *p, d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (radix == 16 && c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else if (radix == 16 && c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else {
                ok = 0;
                break;
            }
            v = v * (uint32_t)radix + (uint32_t)d;
        }
    }
    if (out) *out = (int32_t)v;
    return ok ? 0 : 1;
}

int StrToDec(const char* text, int32_t* out) { return Parse(text, out, 10); }
int StrToHex(const char* text, int32_t* out) { return Parse(text, out, 16); }

// Writes exactly `digits` digits of v (modulo radix^digits), with leading zeros but the last
// replaced by the fill character or dropped.
static char* PutDigits(char* p, uint32_t v, uint32_t flags, int digits, int radix)
{
    char d[16] = {};
    for (int i = digits - 1; i >= 0; i--) {
        d[i] = kDigits[v % (uint32_t)radix];
        v /= (uint32_t)radix;
    }
    char fill = (char)(flags & 0x7F);
    int leading = 1;
    for (int i = 0; i < digits; i++) {
        if (leading && i < digits - 1 && d[i] == '0') {
            if (fill) *p++ = fill;
            continue;
        }
        leading = 0;
        *p++ = d[i];
    }
    return p;
}

static int DigitCount(int width)
{
    if (width < 0) return 0;
    return width > 16 ? 16 : width;
}

// Radixes outside 2..16 have no digit characters (and 0 would divide by zero): use the nearest.
static int ClampRadix(int radix) { return radix < 2 ? 2 : (radix > 16 ? 16 : radix); }

char* StrFromNum(int32_t value, uint32_t flags, int width, int radix, char* buf)
{
    char* out = buf ? buf : numBuf;
    char* p = out;
    uint32_t mag = (uint32_t)value;
    int sign = 0;
    if (value < 0) {
        *p++ = '-';
        mag = 0u - mag;
        sign = 1;
    } else if (flags & 0x7F00) {
        *p++ = '+';
        sign = 1;
    }
    p = PutDigits(p, mag, flags, DigitCount(width - sign), ClampRadix(radix));
    *p = 0;
    return out;
}

char* StrFromUNum(uint32_t value, uint32_t flags, int width, int radix, char* buf)
{
    char* out = buf ? buf : numBuf;
    char* p = PutDigits(out, value, flags, DigitCount(width), ClampRadix(radix));
    *p = 0;
    return out;
}
