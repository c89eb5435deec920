// 3DS ASCII mesh listings: import into the edit buffer of the shape manager, and export of
// the edit buffer in the same line syntax. A listing's (X, Y, Z) is the shape's (x, -z, y).
#pragma once

enum {
    ASC_MAX_VERTICES = 5500,
    ASC_MAX_FACES = 5500,
    ASC_MAX_FACE_POINTS = 10,
    ASC_LINE_CHARS = 155,     // longer lines are read in pieces of this many characters
    // A listing has no size of its own; this is many times what the tables above can take in
    // (every vertex and face line of the longest), so a larger file is no listing to import.
    ASC_MAX_FILE_SIZE = 32 << 20,
};

// Builds a new shape in the edit buffer from a listing: coordinates scaled so that the
// largest becomes its whole part, every face a triangle of material 0. 0, or 1 when the file
// cannot be read, holds no vertex or no face, or passes the tables (the reason in
// ASCIILastError); the edit buffer is then unchanged.
int Import3DSASCII(const char* fileName);
// Writes the edit buffer as a listing (a polygon as its first three points). 0, or 1 when the
// file cannot be written.
int Export3DSASCII(const char* fileName);
const char* ASCIILastError(void);
