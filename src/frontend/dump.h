// What the screen holds, written as JSON for the headless script's `dump FILE`: the screen,
// the modal and focus windows, every window with its class, title, place, style and parent
// (with what a control holds and what a view shows), the tool, and the edited shape's counts.
#pragma once
#include <string>

// The description as text (tests read it directly).
std::string DumpText(void);
// Writes it to a file; 0 on success.
int DumpWrite(const char* fileName);
