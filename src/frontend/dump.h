// What the screen holds, written as JSON for the headless script's `dump FILE`: the screen,
// the modal and focus windows, every window with its class, title, place, style and parent
// (with what a control holds and what a view shows), the tool, and the sections the editors
// register (the edited document's counts).
#pragma once
#include <cstdint>
#include <string>

#include "toolkit/win.h"

// The texts a panel draws itself (labels, the name it shows), for the dump: a class's function
// writes up to `max` texts of a window into out and returns how many. Windows of the class get
// a "texts" array.
enum { DUMP_TEXTS_MAX = 16, DUMP_TEXT_CLASSES = 16 };
typedef int (*DumpTextsFn)(WinId window, const char** out, int max);
void DumpRegisterTexts(uint32_t classId, DumpTextsFn fn);

// A section the editors add: a name and up to DUMP_FIELDS_MAX fields, each a number or (text
// not null) a text. The function writes the fields and returns how many; 0 leaves the section
// out (its document is not there).
enum { DUMP_FIELDS_MAX = 16, DUMP_SECTIONS = 4 };
struct DumpField {
    const char* key;
    int64_t number;
    const char* text;
};
typedef int (*DumpSectionFn)(DumpField* out, int max);
void DumpRegisterSection(const char* name, DumpSectionFn fn);

// The description as text (tests read it directly).
std::string DumpText(void);
// Writes it to a file; 0 on success.
int DumpWrite(const char* fileName);
