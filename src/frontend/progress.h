// Progress of long work: the progress variable, the mini frame that keeps the interface alive
// while the work runs, and the four callbacks handed to long operations.
#pragma once
#include <cstdint>

#include "kernel/kernel.h"

#include "toolkit/win.h"

// The progress window (class 0x208): a modal bar with the percentage and "Cancel". It shows
// the variable it is given and closes itself once the variable reaches PROGRESS_DONE or
// PROGRESS_CANCEL; "Cancel" puts PROGRESS_CANCEL into it, which stops the work.
void ProgressRegisterClass(void);
// Centred on the screen. The variable must outlive the window.
WinId ProgressOpen(const char* title, uint32_t* variable);
// The program's one progress variable, which the callbacks below report into.
uint32_t* ProgressVariable(void);

uint32_t ProgressValue(void);
void ProgressSetValue(uint32_t value);
// Timing, input, slot events and a redraw of the modal tree (the progress window).
void ProgressMiniFrame(int redraw);
// Texture loading: never stops; 0x3FFF and above count as done.
int ProgressTextures(uint32_t value);
// Sorting, world operations and the spare: stop (answer 1) once the progress variable holds
// PROGRESS_CANCEL.
int ProgressSort(uint32_t value);
int ProgressWorld(uint32_t value);
int ProgressSpare(uint32_t value);
