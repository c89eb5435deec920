// Recovery files and autosave: a copy of the user's unsaved work in the user's state folder
// (FileStateFolder), one set of files per editor, so that neither a fatal error nor a crash
// loses more than a few minutes of it.
//
// Each editor has a data file (the Shape Editor's edit buffer as an SHP file prepared as Save
// prepares it; the World Editor's world image as a WLE file) and a small text file of names
// (the folder, the name and the file the work was edited under), so that after a recovery
// the views' title and the next Save go where the user expects. They are written:
// - by the fatal hook, before the program ends, when the work changed since it was last
//   loaded, saved or recovered;
// - by the autosave, every few minutes (the INI key "autosave", minutes, 0 for never), when
//   the work changed since the last copy and no drag or modal window is in progress. The
//   bytes are copied in the frame and written by a worker thread, one write at a time.
// They are removed when the user's own file holds the work again (load, save, New), when the
// user declines a recovery, and at a clean exit. Every write goes through FileWrite, into the
// state folder only: never over the user's own files.
#pragma once
#include <cstdint>

enum {
    RECOVERY_PATH_MAX = 1100,                // bytes of a recovery file's path
    RECOVERY_AUTOSAVE_DEFAULT_MINUTES = 5,
    RECOVERY_AUTOSAVE_MAX_MINUTES = 1440,    // a larger setting counts as a day
    RECOVERY_WAIT_MS = 5000,                 // how long the fatal path waits for a write in flight
};

// The INI key that gives the autosave interval in minutes.
#define RECOVERY_AUTOSAVE_KEY "autosave"

// The autosave interval for the next editor start (minutes; 0 turns it off). The editor start
// reads it from the INI; a value that is no number keeps the default with a log line.
void RecoverySetAutosaveMinutes(uint32_t minutes);
uint32_t RecoveryAutosaveMinutes(void);
// Parses the INI value: 0, or 1 when it is no decimal number (out then unchanged).
int RecoveryParseMinutes(const char* text, uint32_t* out);

// At the end of the editor start (the panels registered, the windows made): finds the state
// folder, and when the editor's recovery file is there asks "Recover" with Yes and No. Yes
// loads it, marked as changed, with the names it was edited under; No removes the files; a
// damaged file is refused in a box and removed. Then starts the autosave and sets the fatal
// hook. Without a state folder recovery is off, with a log line.
void RecoveryStart(int editorMode);
// A clean end of the editor: the write in flight is awaited, the files are removed, the hook
// cleared and the worker stopped.
void RecoveryStop(void);
// The editor frame's autosave check: a clock comparison when nothing is due.
void RecoveryFrame(void);
// The user's own file holds the work now (loaded, saved, or a New emptied it): the recovery
// files go, and the next autosave waits for a change.
void RecoveryMarkClean(void);
// Writes the recovery files now, on this thread, once a write in flight has ended. The fatal
// hook calls it; 0, or 1 when they could not be written (or recovery is off).
int RecoveryWriteNow(void);

// The paths of an editor's recovery files ("" when recovery is off).
const char* RecoveryDataPath(int editorMode);
const char* RecoveryNamesPath(int editorMode);
