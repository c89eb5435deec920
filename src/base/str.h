// Text and number routines: bounded copies, case-insensitive comparison, word extraction,
// single-line editing and number formatting in any radix, on zero-terminated 8-bit texts.
#pragma once
#include <cstddef>
#include <cstdint>

enum { STR_WORD_MAX = 257 };

int StrLen(const char* s);
char* StrCopy(char* dest, const char* src);
// Copies at most n bytes, zero-filling the rest; adds no terminator when src has n or more.
char* StrNCopy(char* dest, const char* src, int n);
// Copies into a buffer of `size` bytes and always terminates (cuts what does not fit).
char* StrLCopy(char* dest, const char* src, size_t size);
char* StrCat(char* dest, const char* src);
// -1, 0 or 1 comparing bytes as signed values.
int StrCmp(const char* a, const char* b);
int StrICmp(const char* a, const char* b);
char* StrUpper(char* s);
char* StrLower(char* s);
void StrCut(char* s, char c);
// Text from a file as it may be shown on a terminal or in a report: printable ASCII is kept
// and every other byte is written as \xNN (ESC as \x1B), so that no byte of a file acts on the
// terminal. Reads n bytes, or up to a NUL with stopAtNul; out (outSize > 0) is always
// terminated and cut when too small. Returns out.
char* StrPrintable(const void* text, size_t n, int stopAtNul, char* out, size_t outSize);
// Offset of a path's file-name part: just after its last '/' or '\\' (0 when it has none).
int StrFileNameOffset(const char* path);
int StrInsertChar(char* s, int pos, char c, int limit);
void StrDeleteChar(char* s, int pos);
// Applies one key of the program's own codes to a single-line text; returns the new cursor.
int StrEditKey(char* s, int pos, int key, int limit);

// UTF-8. Decode: the length (1 to 4) of the character that starts s, and its code point; 0
// when s starts with none (at the terminator, or a byte that begins no well-formed character:
// a stray continuation, an overlong form, a surrogate). Encode: the bytes of a code point into
// out (4 at most) and their count; 0 for a value that is no character.
int StrUtf8Decode(const char* s, uint32_t* codePoint);
int StrUtf8Encode(uint32_t codePoint, char* out);

// The n-th word: setting words split at runs of '=', blank, tab, CR, LF; command-line words
// at runs of blank, tab, CR, LF with double-quoted words kept whole. Shared static buffers.
const char* StrWord(int n, const char* text);
const char* StrCmdWord(int n, const char* text);

// 0 on success, 1 on failure (the value then holds what was accumulated).
int StrToDec(const char* text, int32_t* out);
int StrToHex(const char* text, int32_t* out);
// Flags: bits 0-6 the fill character (0 = drop leading zeros), bits 8-14 non-zero = show '+'.
char* StrFromNum(int32_t value, uint32_t flags, int width, int radix, char* buf);
char* StrFromUNum(uint32_t value, uint32_t flags, int width, int radix, char* buf);
