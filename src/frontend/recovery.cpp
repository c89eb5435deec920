// Recovery files and autosave. The work is compared with what the recovery files hold by a
// 64-bit hash of its bytes, taken only when an autosave is due, at the clean points and in
// the fatal path: an idle frame costs one clock comparison and allocates nothing. The copy
// buffer and the worker are made at the editor start.
#include "frontend/recovery.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "base/bytes.h"
#include "base/log.h"
#include "base/res.h"
#include "base/str.h"
#include "frontend/editor.h"
#include "frontend/editstate.h"
#include "frontend/msgbox.h"
#include "kernel/app.h"
#include "kernel/kernel.h"
#include "materials/matm.h"
#include "platform/platform.h"
#include "toolkit/win.h"

enum {
    NAMES_MAX = 3 * RECOVERY_PATH_MAX,   // bytes of the names file
    MS_PER_MINUTE = 60000,
};

static const char kTitle[] = "Recover";
static const char kDataFile[EDITOR_WORLD + 1][24] = {"", "recovery-shape.shp", "recovery-world.wle"};
static const char kNamesFile[EDITOR_WORLD + 1][24] = {"", "recovery-shape.txt", "recovery-world.txt"};
static const char kWhat[EDITOR_WORLD + 1][8] = {"", "shape", "world"};

static struct {
    int mode;                       // the editor whose work is kept; 0 while recovery is off
    uint32_t minutes;               // the autosave interval the next start takes
    uint32_t intervalMs;            // 0: no autosave
    uint32_t lastCheck;             // the clock at the last autosave check
    uint64_t heldHash;              // the work as the recovery files hold it, or as the user's file does
    char folder[RECOVERY_PATH_MAX];
    char dataPath[EDITOR_WORLD + 1][RECOVERY_PATH_MAX];
    char namesPath[EDITOR_WORLD + 1][RECOVERY_PATH_MAX];
    uint8_t* copy;                  // the bytes the worker writes
    uint32_t copyCapacity;
    uint32_t copySize;
    char names[NAMES_MAX];
    size_t namesSize;
} rc = {0, RECOVERY_AUTOSAVE_DEFAULT_MINUTES, 0, 0, 0, {}, {}, {}, nullptr, 0, 0, {}, 0};

// The autosave's writer: one write at a time, of rc.copy and rc.names, which the main thread
// fills only while no write is pending.
static struct {
    std::thread thread;
    std::mutex lock;
    std::condition_variable wake, done;
    int running;
    int pending;
    int quit;
    int failed;   // the last write did not reach the disk
} worker;

// ============================================================================================
// Settings and paths
// ============================================================================================

void RecoverySetAutosaveMinutes(uint32_t minutes)
{
    rc.minutes = minutes > (uint32_t)RECOVERY_AUTOSAVE_MAX_MINUTES ? (uint32_t)RECOVERY_AUTOSAVE_MAX_MINUTES : minutes;
}

uint32_t RecoveryAutosaveMinutes(void) { return rc.minutes; }

int RecoveryParseMinutes(const char* text, uint32_t* out)
{
    int32_t n = 0;
    // Beyond nine digits the decimal parse would wrap; such a value means "rarely" anyway.
    if (!text || StrLen(text) > 9 || StrToDec(text, &n) != 0 || n < 0) return 1;
    *out = (uint32_t)n;
    return 0;
}

const char* RecoveryDataPath(int editorMode)
{
    return editorMode == EDITOR_SHAPE || editorMode == EDITOR_WORLD ? rc.dataPath[editorMode] : "";
}

const char* RecoveryNamesPath(int editorMode)
{
    return editorMode == EDITOR_SHAPE || editorMode == EDITOR_WORLD ? rc.namesPath[editorMode] : "";
}

static int FindFolder(void)
{
    rc.folder[0] = 0;
    for (int m = EDITOR_SHAPE; m <= EDITOR_WORLD; m++) rc.dataPath[m][0] = rc.namesPath[m][0] = 0;
    if (FileStateFolder(rc.folder, sizeof rc.folder) != 0) return 1;
    for (int m = EDITOR_SHAPE; m <= EDITOR_WORLD; m++) {
        int a = snprintf(rc.dataPath[m], sizeof rc.dataPath[m], "%s/%s", rc.folder, kDataFile[m]);
        int b = snprintf(rc.namesPath[m], sizeof rc.namesPath[m], "%s/%s", rc.folder, kNamesFile[m]);
        if (a < 0 || b < 0 || (size_t)a >= sizeof rc.dataPath[m] || (size_t)b >= sizeof rc.namesPath[m]) {
            LogPrintf(LOG_WARN, "RECOVERY: the state folder's path is too long");
            rc.folder[0] = 0;
            return 1;
        }
    }
    return 0;
}

// ============================================================================================
// The work
// ============================================================================================

// The edited bytes as they stand: the edit buffer's used part, or the world image's.
static const uint8_t* WorkBytes(uint32_t* size)
{
    *size = 0;
    const EditorPanels* panels = EditorPanelsFor(rc.mode);
    return panels && panels->bytes ? panels->bytes(size) : nullptr;
}

// FNV-1a over 64-bit words, then the tail bytes and the length.
static uint64_t WorkHash(void)
{
    uint32_t size;
    const uint8_t* work = WorkBytes(&size);
    return work ? BytesHash(work, size) : 0;
}

// The bytes of the data file into rc.copy: the shape prepared as Save prepares it (on the
// copy, so that the user's buffer stays as it is), the world image as it is. A shape whose
// preparation fails, or runs out of memory in the fatal path, goes as it stands: a copy the
// load may have to check is better than none. 0, or 1 when there is nothing to copy.
static int FillCopy(void)
{
    uint32_t size;
    const uint8_t* work = WorkBytes(&size);
    if (!work || !rc.copy || size > rc.copyCapacity) return 1;
    rc.copySize = 0;
    const EditorPanels* panels = EditorPanelsFor(rc.mode);
    if (panels && panels->prepareCopy) {
        const char* why = panels->prepareCopy(rc.copy, rc.copyCapacity, &rc.copySize);
        if (!why) return 0;
        LogPrintf(LOG_WARN, "RECOVERY: the %s could not be prepared (%s); it is kept as it stands", kWhat[rc.mode], why);
    }
    memcpy(rc.copy, work, size);
    rc.copySize = size;
    return 0;
}

// The names file: the folder, the name and whether the work has a file of its own, one
// "key=value" line each.
static void FillNames(void)
{
    const EditorPanels* panels = EditorCurrentPanels();
    const char* folder = panels && panels->folder ? panels->folder() : "";
    const char* name = panels && panels->name ? panels->name() : "";
    // "" is the working folder, which the next start may not share.
    static char current[RECOVERY_PATH_MAX];
    if ((!folder || !*folder) && FileCurrentFolder(current, sizeof current)) folder = current;
    const char* file = panels && panels->fileName ? panels->fileName() : "";
    int n = snprintf(rc.names, sizeof rc.names, "folder=%s\nname=%s\ntitled=%d\n", folder ? folder : "",
                     name ? name : "", file && *file ? 1 : 0);
    rc.namesSize = n < 0 ? 0 : (size_t)n < sizeof rc.names ? (size_t)n : sizeof rc.names - 1;
}

// The user opened or saved the recovery file itself as their own: it is then theirs, and
// neither written over nor removed.
static int WorkIsTheRecoveryFile(void)
{
    const EditorPanels* panels = EditorCurrentPanels();
    const char* folder = panels && panels->folder ? panels->folder() : "";
    const char* name = panels && panels->name ? panels->name() : "";
    return folder && name && StrCmp(folder, rc.folder) == 0 && StrICmp(name, kDataFile[rc.mode]) == 0;
}

static int WriteFiles(int mode)
{
    // The data first: a names file without its data is never offered.
    if (FileWrite(rc.dataPath[mode], rc.copy, rc.copySize)) return 1;
    if (FileWrite(rc.namesPath[mode], rc.names, rc.namesSize)) return 1;
    return 0;
}

static void RemoveFiles(int mode)
{
    if (!rc.dataPath[mode][0]) return;
    if (FileExists(rc.dataPath[mode])) FileDelete(rc.dataPath[mode]);
    if (FileExists(rc.namesPath[mode])) FileDelete(rc.namesPath[mode]);
}

// ============================================================================================
// The worker
// ============================================================================================

static void WorkerMain(int mode)
{
    std::unique_lock<std::mutex> hold(worker.lock);
    for (;;) {
        worker.wake.wait(hold, [] { return worker.pending || worker.quit; });
        if (worker.pending) {
            hold.unlock();
            int failed = WriteFiles(mode);
            if (failed) LogPrintf(LOG_WARN, "RECOVERY: the autosave could not write %s", rc.dataPath[mode]);
            hold.lock();
            worker.failed = failed;
            worker.pending = 0;
            worker.done.notify_all();
            continue;
        }
        if (worker.quit) return;
    }
}

static int WorkerBusy(void)
{
    if (!worker.running) return 0;
    std::lock_guard<std::mutex> hold(worker.lock);
    return worker.pending;
}

// Waits for the write in flight; 0 once none is, 1 when the wait ran out.
static int WorkerWait(uint32_t ms)
{
    if (!worker.running) return 0;
    std::unique_lock<std::mutex> hold(worker.lock);
    return worker.done.wait_for(hold, std::chrono::milliseconds(ms), [] { return !worker.pending; }) ? 0 : 1;
}

// 1 when the last write failed; the mark is cleared.
static int WorkerTakeFailure(void)
{
    if (!worker.running) return 0;
    std::lock_guard<std::mutex> hold(worker.lock);
    int failed = worker.failed;
    worker.failed = 0;
    return failed;
}

static void WorkerStart(int mode)
{
    worker.pending = worker.quit = worker.failed = 0;
    worker.thread = std::thread(WorkerMain, mode);
    worker.running = 1;
}

static void WorkerStop(void)
{
    if (!worker.running) return;
    {
        std::lock_guard<std::mutex> hold(worker.lock);
        worker.quit = 1;
    }
    worker.wake.notify_all();
    worker.thread.join();
    worker.running = 0;
}

// ============================================================================================
// Start: the offer
// ============================================================================================

static int ValidValue(const char* v)
{
    for (; *v; v++)
        if ((unsigned char)*v < ' ') return 0;
    return 1;
}

// Reads the names file into folder and name (left as they are for a missing or damaged
// file). Returns whether the work had a file of its own.
static int ReadNames(int mode, char* folder, size_t folderSize, char* name, size_t nameSize)
{
    int64_t size = FileSize(rc.namesPath[mode]);
    if (size <= 0 || size >= NAMES_MAX) return 0;
    if (FileReadAt(rc.namesPath[mode], 0, rc.names, (size_t)size)) return 0;
    rc.names[size] = 0;
    int titled = 0;
    for (char* line = rc.names; line && *line;) {
        char* end = strchr(line, '\n');
        if (end) *end = 0;
        char* eq = strchr(line, '=');
        if (eq) {
            *eq = 0;
            const char* value = eq + 1;
            size_t len = (size_t)StrLen(value);
            if (!ValidValue(value)) {
                LogPrintf(LOG_WARN, "RECOVERY: %s: a damaged line is passed over", rc.namesPath[mode]);
            } else if (StrCmp(line, "folder") == 0 && len < folderSize) {
                StrLCopy(folder, value, folderSize);
            } else if (StrCmp(line, "name") == 0 && len > 0 && len < nameSize) {
                StrLCopy(name, value, nameSize);
            } else if (StrCmp(line, "titled") == 0) {
                titled = StrCmp(value, "1") == 0;
            }
        }
        line = end ? end + 1 : nullptr;
    }
    return titled;
}

// 0 when the data file became the editor's work, else 1 (refused: nothing changed).
static int LoadData(int mode)
{
    const EditorPanels* panels = EditorPanelsFor(mode);
    const char* why = panels && panels->loadRecovered ? panels->loadRecovered(rc.dataPath[mode]) : "no editor";
    if (!why) {
        EditRequestFrame();
        return 0;
    }
    LogPrintf(LOG_WARN, "RECOVERY: %s refused: %s", rc.dataPath[mode], why);
    return 1;
}

static void Offer(int mode)
{
    if (!FileExists(rc.dataPath[mode])) {
        // A names file alone is what an interrupted write left: nothing to offer.
        RemoveFiles(mode);
        return;
    }
    char text[120];
    snprintf(text, sizeof text, "Tolbex ended without saving your work. Load the recovered %s?", kWhat[mode]);
    if (PlatMessageBox(kTitle, text, MB_YESNO | MB_ICONQUESTION) != ID_YES) {
        LogPrintf(LOG_INFO, "RECOVERY: the recovered %s was declined and removed", kWhat[mode]);
        RemoveFiles(mode);
        return;
    }
    if (LoadData(mode)) {
        snprintf(text, sizeof text, "The recovered %s is damaged and cannot be loaded. It has been removed.",
                 kWhat[mode]);
        MsgBoxShow(kTitle, text);
        RemoveFiles(mode);
        return;
    }
    static char folder[RECOVERY_PATH_MAX], name[RECOVERY_PATH_MAX];
    const EditorPanels* panels = EditorCurrentPanels();
    StrLCopy(folder, panels && panels->folder ? panels->folder() : "", sizeof folder);
    StrLCopy(name, panels && panels->name ? panels->name() : "", sizeof name);
    int titled = ReadNames(mode, folder, sizeof folder, name, sizeof name);
    if (panels && panels->restoreNames) panels->restoreNames(folder, name, titled);
    LogPrintf(LOG_INFO, "RECOVERY: loaded the recovered %s (%s%s%s)", kWhat[mode], folder, folder[0] ? "/" : "", name);
}

// ============================================================================================
// Life cycle
// ============================================================================================

static void FatalHook(const char*) { RecoveryWriteNow(); }

void RecoveryStart(int editorMode)
{
    rc.mode = 0;
    if (editorMode != EDITOR_SHAPE && editorMode != EDITOR_WORLD) return;
    if (FindFolder()) {
        LogPrintf(LOG_WARN, "RECOVERY: no state folder; recovery files and autosave are off");
        return;
    }
    const EditorPanels* panels = EditorPanelsFor(editorMode);
    rc.copyCapacity = panels && panels->capacity ? panels->capacity() : 0;
    rc.copy = (uint8_t*)ResAllocMem(rc.copyCapacity);
    if (!rc.copy) {
        LogPrintf(LOG_WARN, "RECOVERY: no memory for the copy; recovery files and autosave are off");
        return;
    }
    rc.mode = editorMode;
    Offer(editorMode);
    // What the editor holds now is either the user's file or what the recovery files hold.
    rc.heldHash = WorkHash();
    rc.intervalMs = rc.minutes * MS_PER_MINUTE;
    rc.lastCheck = TimerMs();
    if (rc.intervalMs) WorkerStart(editorMode);
    FatalSetHook(FatalHook);
    LogPrintf(LOG_INFO, "RECOVERY: %s files in %s, autosave %s%u min", kWhat[editorMode], rc.folder,
              rc.intervalMs ? "every " : "off, ", rc.minutes);
}

void RecoveryStop(void)
{
    FatalSetHook(nullptr);
    if (!rc.mode) return;
    WorkerWait(RECOVERY_WAIT_MS);
    WorkerStop();
    if (!WorkIsTheRecoveryFile()) RemoveFiles(rc.mode);
    ResFreeMem(rc.copy);
    rc.copy = nullptr;
    rc.copyCapacity = rc.copySize = 0;
    rc.mode = 0;
    rc.intervalMs = 0;
}

void RecoveryMarkClean(void)
{
    if (!rc.mode) return;
    // A write in flight would bring back what is being removed.
    WorkerWait(RECOVERY_WAIT_MS);
    WorkerTakeFailure();
    if (!WorkIsTheRecoveryFile()) RemoveFiles(rc.mode);
    rc.heldHash = WorkHash();
    rc.lastCheck = TimerMs();
}

void RecoveryFrame(void)
{
    if (!rc.mode || !rc.intervalMs) return;
    uint32_t now = TimerMs();
    if (now - rc.lastCheck < rc.intervalMs) return;
    // Not in the middle of a drag or a modal window (a dialog, a box, a progress window), nor
    // while the last write is still going: the next frame asks again.
    if (WinCaptured() || WinModal() || WorkerBusy()) return;
    rc.lastCheck = now;
    uint64_t hash = WorkHash();
    if (WorkerTakeFailure()) rc.heldHash = ~hash;   // the files do not hold what was sent
    if (hash == rc.heldHash || WorkIsTheRecoveryFile()) return;
    if (FillCopy()) return;
    FillNames();
    rc.heldHash = hash;
    LogPrintf(LOG_INFO, "RECOVERY: autosave of the %s (%u bytes) at %u ms", kWhat[rc.mode], rc.copySize, now);
    {
        std::lock_guard<std::mutex> hold(worker.lock);
        worker.pending = 1;
    }
    worker.wake.notify_all();
}

int RecoveryWriteNow(void)
{
    if (!rc.mode) return 1;
    // The write in flight goes first, so that what this one writes is what stays.
    if (WorkerWait(RECOVERY_WAIT_MS)) LogPrintf(LOG_WARN, "RECOVERY: the autosave in flight did not end in time");
    uint64_t hash = WorkHash();
    if (!WorkerTakeFailure() && hash == rc.heldHash) {
        LogPrintf(LOG_INFO, "RECOVERY: nothing changed since the %s was last kept", kWhat[rc.mode]);
        return 0;
    }
    if (WorkIsTheRecoveryFile()) {
        LogPrintf(LOG_WARN, "RECOVERY: the work was opened from %s itself: it is not written over", rc.dataPath[rc.mode]);
        return 1;
    }
    if (FillCopy()) return 1;
    FillNames();
    if (WriteFiles(rc.mode)) {
        LogPrintf(LOG_ERROR, "RECOVERY: %s could not be written", rc.dataPath[rc.mode]);
        return 1;
    }
    rc.heldHash = hash;
    LogPrintf(LOG_ERROR, "RECOVERY: the %s was kept in %s", kWhat[rc.mode], rc.dataPath[rc.mode]);
    return 0;
}
