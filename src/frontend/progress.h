// Progress of long work: the progress variable, the mini frame that keeps the interface alive
// while the work runs, and the four callbacks handed to long operations.
#pragma once
#include <cstdint>

#include "kernel/kernel.h"

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
