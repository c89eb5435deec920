// Refusals of the shapes subsystem: an operation that does not happen keeps its reason for the
// user's message and writes it to the developer log under its module's tag.
#pragma once

// Keeps the reason and logs "<tag>: <reason>" as a warning. Returns 1, the refused result of
// the shape operations, so that they can return it directly.
int ShapeRefuse(const char* tag, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// The reason of the latest refusal ("" before the first).
const char* ShapeRefusal(void);
