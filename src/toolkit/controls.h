// Standard controls: the button (push, toggle, radio), the single-line edit field that edits
// a caller's buffer in place, the list (single or multiple choice, scrolled by a slider when
// longer than its height) and the slider with its thumb; and the packed list data they share.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/res.h"
#include "toolkit/win.h"

// Button styles (class 0x201): 0 is a push button.
enum { BUTTON_PUSH = 0, BUTTON_TOGGLE = 1, BUTTON_RADIO = 2, BUTTON_GROUP = 4, BUTTON_LABEL_MAX = 31 };
// Edit field (class 0x204): its text is UTF-8, its limit in bytes. With this style bit it takes
// ASCII only, for names stored in a file's fixed ASCII fields. A character that does not fit,
// or is not ASCII in such a field, is refused in a box that says why (through the panel host).
// Home and End go to the ends; the text scrolls to keep the cursor in the field.
enum { EDIT_ASCII = 1 };
// List control (class 0x203): this style bit makes it a multiple-choice list.
enum { LIST_MULTIPLE = 0x10000, LIST_LINE_HEIGHT = 9, SLIDER_WIDTH = 11 };

// Class registration, called by the editor start and the launcher.
void ButtonRegisterClass(void);
void EditRegisterClass(void);
void ListRegisterClass(void);
void SliderRegisterClass(void);   // the slider and its thumb
// All four standard controls' classes: button, edit field, list and slider.
void ControlsRegisterClasses(void);

// ---- list data: items of (i16 id, text), ended by an item with an empty text ----------------
// Bytes a list of these texts needs, end mark included.
size_t ListSizeFor(int count, size_t totalTextLength);
void ListClear(ResId list);
// Appends an item, growing the resource when it is too small for it.
void ListAdd(ResId list, int id, const char* text);
// Appends an item behind the list's end at byte `end` (0 for an empty list) and returns the
// new end: a long list is built in one pass, where ListAdd walks the list at every item.
size_t ListAppend(ResId list, size_t end, int id, const char* text);
const char* ListFindText(ResId list, int id);
int ListIndexOf(ResId list, int id);           // 1-based; 0 when absent
int ListGetItemID(ResId list, int index);      // 1-based
const char* ListGetItemText(ResId list, int index);
int ListCount(ResId list);

// ---- what a control holds, for readers outside its procedure -------------------------------
struct ControlInfo {
    uint32_t classId;     // CLASS_BUTTON, CLASS_EDIT, CLASS_LIST or CLASS_SLIDER
    const char* text;     // button: label; edit field: its text ("" without a buffer)
    int32_t state;        // button: state; list: selection (index, or the mask); slider: position
    int32_t range;        // slider: range
    ResId list;           // list: its list resource
};
// 1 and the control's values; 0 when the window is none of the standard controls.
int ControlDescribe(WinId window, ControlInfo* out);
