// Palette manager: the editor's one working palette (up to 248 user colours, 6-bit components),
// PAL files, a clipboard of colour ranges, and applying the palette to the display's and the
// toolkit's colour tables.
#pragma once
#include <cstddef>
#include <cstdint>

enum {
    PAL_USER_COLOURS = 248,
    PAL_BLOCK_SIZE = 748,      // first index (i16), count (i16), 248 entry slots of r, g, b
    PAL_FILE_SIZE = 748,
};

// Closes a previous installation, zeroes the block and the clipboard.
void PalMInstall(int userColours);
void PalMRemove(void);
int PalMIsInstalled(void);

// 0 on success, 1 when the file cannot be read or written (a partial file is removed).
int PalMLoad(const char* fileName);
int PalMSave(const char* fileName);
// Whether the palette differs from what was last installed, loaded or saved (by its bytes),
// and the mark that a load or save sets.
int PalMChanged(void);
void PalMMarkClean(void);
// Fills the block from a PAL file image already in memory (checked against its size); 0 or 1.
int PalMLoadImage(const uint8_t* data, size_t size);
// Checks a PAL file image: 0 when its count (at offset 2) is 0..248 and the file holds that
// many triples, 1 otherwise. *count gets the count of an accepted image.
int PalMCheckImage(const uint8_t* data, size_t size, int* count);

// Entry i is the triple at byte 4 + 3i of the block, the same place load, save and apply use.
// A component of -1 is left as it is; the palette is applied afterwards.
void PalMSetColour(int index, int red, int green, int blue);
void PalMGetColour(int index, int* red, int* green, int* blue);
void PalMCopyRange(int a, int b);
// Pastes the clipboard at index when it fits (index + count <= 256); not applied until the next apply.
void PalMPaste(int index);
int PalMClipboardCount(void);
int PalMClipboardStart(void);
// Writes the block's entries to the display colour table and the toolkit's colour table.
void PalMApply(void);
// The part of a range of colours that an 8-bit display of the given mode type takes into its
// hardware palette: all of it inside 0..255, but only 10..245 on a windowed 8-bit desktop
// (VIDEO_WINDOWED), where the system owns the rest. Returns the count (0: nothing to send)
// and the first colour in *outFirst.
int PalMHardwareRange(int modeType, int first, int count, int* outFirst);
// Fills the colours strictly between a and b by linear interpolation of their end colours.
void PalMSpread(int a, int b);
// Takes the CMAP of an LBM picture into the range starting at `first` (at most `count`
// colours); 0 on success, 1 when the picture cannot be read.
int PalMImport(const char* lbmFile, int first, int count);

// The block (748 bytes) as it stands.
const uint8_t* PalMBlock(void);
// The current palette as 256 r, g, b triples of 6-bit components, from index 0: what the
// material conversion colours palette-indexed materials with.
void PalMGetPalette(uint8_t out[256 * 3]);
