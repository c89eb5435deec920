// The file selector. The platform offers no file dialog, so the selector is a modal window
// of our own built from the standard controls: the folder it shows, a list of ".." and the
// subfolders and then the matching files, a name field, "Ok" and "Cancel".
//
// One selector is open at a time, so its state is this module's. Folders are kept as full
// paths, tidied as text ("a/./b/../c" is "a/c"), and never made the process's current
// folder: every name the user types is joined to the folder shown instead.
#include "frontend/filesel.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/log.h"
#include "base/str.h"
#include "frontend/msgbox.h"
#include "platform/platform.h"
#include "toolkit/controls.h"
#include "toolkit/draw.h"
#include "toolkit/text.h"

// An entry is its name's offset in the names block, with this bit for a folder.
static const uint32_t ENTRY_FOLDER = 0x80000000u;

enum {
    SEL_WIDTH = 320,
    SEL_MARGIN = 8,
    SEL_LIST_Y = 26,
    SEL_FIXED_HEIGHT = 68,   // everything but the list's lines
    SEL_MIN_LINES = 3,
    SEL_MAX_LINES = 20,
    SEL_LABEL_WIDTH = 36,    // "Name:" before the field
    SEL_BUTTON_WIDTH = 60,
    SEL_BOX_TEXT_MAX = 255,  // a longer box text would show as nothing
};

static struct {
    WinId window, list, edit, ok, cancel;
    WinId requester;
    uint32_t requesterClass;   // a window id may be reused once its window has gone
    WinId box;                 // the refusal box while it waits or shows
    int saving;
    int closing;               // closed and waiting to be destroyed: deaf to input
    int lastClick;             // list id of the file clicked last, 0 = none
    int width, height, lines;
    int editY, buttonY;        // the rows below the list
    int clientX, clientY;      // the client area's corner in the window
    char title[WIN_TITLE_MAX + 1];
    char pattern[FILESEL_PATTERN_MAX];
    char folder[FILESEL_PATH_MAX];
    char folderShown[FILESEL_PATH_MAX + 4];   // printable, cut from the left to fit
    char name[FILESEL_NAME_MAX + 1];
    char filterShown[FILESEL_PATTERN_MAX + 16];   // "Files (pattern)", cut to fit
    // The listing: names one after another, and per entry its name's offset and flag.
    ResId names, entries, listData;
    size_t namesUsed;
    int count, dropped;
} fs;

// ============================================================================================
// Patterns
// ============================================================================================

static int Fold(int c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

// One pattern, [p, end), against a whole name. A '*' remembers where it stood, and a mismatch
// later retries from there with the star taking one character more: no exponential search.
static int MatchOne(const char* p, const char* end, const char* s)
{
    const char* starP = nullptr;
    const char* starS = nullptr;
    while (*s) {
        if (p < end && *p == '*') {
            starP = ++p;
            starS = s;
        } else if (p < end && (*p == '?' || Fold((uint8_t)*p) == Fold((uint8_t)*s))) {
            p++;
            s++;
        } else if (starP) {
            p = starP;
            s = ++starS;
        } else {
            return 0;
        }
    }
    while (p < end && *p == '*') p++;
    return p == end;
}

int FileSelMatch(const char* patterns, const char* name)
{
    if (!name) return 0;
    int any = 0;
    for (const char* p = patterns ? patterns : ""; *p;) {
        while (*p == ' ' || *p == '\t') p++;
        const char* end = p;
        while (*end && *end != ';') end++;
        const char* next = *end ? end + 1 : end;
        while (end > p && (end[-1] == ' ' || end[-1] == '\t')) end--;
        if (end > p) {
            any = 1;
            // "*.*" has always meant every file, names without a dot included.
            if ((end - p == 3 && memcmp(p, "*.*", 3) == 0) || MatchOne(p, end, name)) return 1;
        }
        p = next;
    }
    return !any;
}

// ============================================================================================
// Paths
// ============================================================================================

static void Slashes(char* s)
{
    for (; *s; s++)
        if (*s == '\\') *s = '/';
}

// Tidies a full path in place (FILESEL_PATH_MAX bytes): no empty, "." or ".." parts, no '/'
// at the end but for the root. ".." above the root stays at the root.
static void TidyPath(char* path)
{
    char in[FILESEL_PATH_MAX];
    StrLCopy(in, path, sizeof in);
    size_t n = 1;
    const char* p = in;
    char* out = path;
    while (*p) {
        while (*p == '/') p++;
        const char* start = p;
        while (*p && *p != '/') p++;
        size_t len = (size_t)(p - start);
        if (len == 0 || (len == 1 && start[0] == '.')) continue;
        if (len == 2 && start[0] == '.' && start[1] == '.') {
            while (n > 1 && out[n - 1] != '/') n--;
            if (n > 1) n--;
            continue;
        }
        if (n + 1 + len >= FILESEL_PATH_MAX) break;
        if (n > 1) out[n++] = '/';
        memcpy(out + n, start, len);
        n += len;
    }
    out[0] = '/';
    out[n] = 0;
}

// `name` as a full, tidied path: as it is when it starts with '/', else inside `folder`.
// '\' separates as '/' does. 0 when the result does not fit.
static int FullPath(char* out, const char* folder, const char* name)
{
    char typed[FILESEL_PATH_MAX];
    if ((size_t)StrLen(name) >= sizeof typed) return 0;
    StrCopy(typed, name);
    Slashes(typed);
    if (typed[0] == '/') {
        StrCopy(out, typed);
    } else {
        if ((size_t)StrLen(folder) + 1 + (size_t)StrLen(typed) >= FILESEL_PATH_MAX) return 0;
        StrCopy(out, folder);
        StrCat(out, "/");
        StrCat(out, typed);
    }
    TidyPath(out);
    return 1;
}

// The starting folder: the given one (relative to the current folder, or full), spelled as
// it is on disk when it exists.
static void StartFolder(const char* folder)
{
    char cwd[FILESEL_PATH_MAX];
    if (!FileCurrentFolder(cwd, sizeof cwd) || cwd[0] != '/') StrCopy(cwd, "/");
    char path[FILESEL_PATH_MAX];
    if (!FullPath(path, cwd, folder ? folder : "")) {
        LogPrintf(LOG_WARN, "FILESEL: the folder %s is too long; starting in %s", folder, cwd);
        StrCopy(path, cwd);
        TidyPath(path);
    }
    char found[FILESEL_PATH_MAX];
    StrCopy(fs.folder, FileFind(path, found, sizeof found) ? found : path);
    TidyPath(fs.folder);
}

// ============================================================================================
// The listing
// ============================================================================================

static const char* Names(void) { return (const char*)ResPeek(fs.names); }
static uint32_t* Entries(void) { return (uint32_t*)ResPeek(fs.entries); }

static const char* EntryName(int index) { return Names() + (Entries()[index] & ~ENTRY_FOLDER); }
static int EntryIsFolder(int index) { return (Entries()[index] & ENTRY_FOLDER) != 0; }

// Grows a resource to hold `need` bytes, doubling, so that a long listing is copied a few
// times rather than at every entry. 0 on success.
static int Reserve(ResId id, size_t need)
{
    size_t size = ResSize(id);
    if (need <= size) return 0;
    if (size < 64) size = 64;
    while (size < need) size *= 2;
    return ResResize(id, size);
}

static void AddEntry(const char* name, int isFolder)
{
    if (fs.count >= FILESEL_MAX_ENTRIES) {
        fs.dropped++;
        return;
    }
    size_t length = (size_t)StrLen(name) + 1;
    if (Reserve(fs.names, fs.namesUsed + length) != 0 ||
        Reserve(fs.entries, (size_t)(fs.count + 1) * sizeof(uint32_t)) != 0) {
        fs.dropped++;
        return;
    }
    memcpy((char*)ResPeek(fs.names) + fs.namesUsed, name, length);
    Entries()[fs.count++] = (uint32_t)fs.namesUsed | (isFolder ? ENTRY_FOLDER : 0);
    fs.namesUsed += length;
}

static void CollectEntry(const char* name, int isFolder, void*)
{
    if (isFolder || FileSelMatch(fs.pattern, name)) AddEntry(name, isFolder);
}

// Bytes above 127 sort after the plain letters, as they would in any character set.
static int CompareIgnoringCase(const char* a, const char* b)
{
    for (;; a++, b++) {
        int ca = Fold((uint8_t)*a), cb = Fold((uint8_t)*b);
        if (ca != cb || !ca) return ca - cb;
    }
}

// Folders before files; then by name ignoring the letter case, and by the exact bytes where
// only the case differs, so that the order never depends on the order on disk.
static bool EntryBefore(uint32_t a, uint32_t b)
{
    if ((a & ENTRY_FOLDER) != (b & ENTRY_FOLDER)) return (a & ENTRY_FOLDER) != 0;
    const char* names = Names();
    const char* na = names + (a & ~ENTRY_FOLDER);
    const char* nb = names + (b & ~ENTRY_FOLDER);
    int c = CompareIgnoringCase(na, nb);
    return c ? c < 0 : strcmp(na, nb) < 0;
}

// A name as the list shows it: as it is (UTF-8: the text drawing shows a '?' for each
// character the font lacks), control characters as '?', folders with a '/' behind. Never
// empty, never starting with character 255.
static void DisplayText(char* out, size_t size, const char* name, int isFolder)
{
    size_t n = 0;
    for (; *name && n + 2 < size; name++) {
        uint8_t c = (uint8_t)*name;
        out[n++] = (c < 32 || c == 127 || c == 255) ? '?' : (char)c;
    }
    if (isFolder || n == 0) out[n++] = isFolder ? '/' : '?';
    out[n] = 0;
}

static void FillList(void)
{
    char text[FILESEL_NAME_MAX + 3];
    size_t total = 0;
    for (int i = 0; i < fs.count; i++) {
        DisplayText(text, sizeof text, EntryName(i), EntryIsFolder(i));
        total += (size_t)StrLen(text);
    }
    if (ResResize(fs.listData, ListSizeFor(fs.count, total)) != 0) {
        LogPrintf(LOG_WARN, "FILESEL: no memory to list %d entries of %s", fs.count, fs.folder);
        fs.count = 1;   // ".." alone is always somewhere to go
        ResResize(fs.listData, ListSizeFor(1, 3));
    }
    ListClear(fs.listData);
    size_t end = 0;
    for (int i = 0; i < fs.count; i++) {
        DisplayText(text, sizeof text, EntryName(i), EntryIsFolder(i));
        end = ListAppend(fs.listData, end, i + 1, text);
    }
    WinParam p1 = fs.listData, p2 = 0;
    WinSendMessage(fs.list, WM_LISTSET, &p1, &p2);
}

// The folder line: printable, and when too wide its end with "..." before it.
static void ShowFolder(void)
{
    char text[FILESEL_PATH_MAX];
    DisplayText(text, sizeof text, fs.folder, 0);
    int room = fs.width - 2 * SEL_MARGIN;
    int width = TextWidth(text);
    int skip = 0;
    if (width > room) {
        room -= TextWidth("...");
        // Whole characters go, so that what stays is still the folder's name as it is.
        while (text[skip] && width > room) {
            char one[5] = {};
            uint32_t cp;
            int n = StrUtf8Decode(text + skip, &cp);
            if (!n) n = 1;
            memcpy(one, text + skip, (size_t)n);
            skip += n;
            width -= TextWidth(one);
        }
    }
    StrCopy(fs.folderShown, skip ? "..." : "");
    StrCat(fs.folderShown, text + skip);
}

// Which files are listed, beside the buttons: "Files (" + pattern + ")", its end cut off with
// "..." when too wide.
static void ShowFilter(void)
{
    char text[FILESEL_PATTERN_MAX + 16];
    StrCopy(text, "Files (");
    DisplayText(text + 7, sizeof text - 8, fs.pattern[0] ? fs.pattern : "*", 0);
    StrCat(text, ")");
    int room = fs.width - 3 * SEL_MARGIN - 2 * (SEL_MARGIN + SEL_BUTTON_WIDTH);
    if (TextWidth(text) > room) {
        int n = StrLen(text), dots = TextWidth("...");
        while (n > 0 && TextWidth(text) + dots > room) text[--n] = 0;
        StrCat(text, "...");
    }
    StrCopy(fs.filterShown, text);
}

static void ReadFolder(void)
{
    fs.namesUsed = 0;
    fs.count = 0;
    fs.dropped = 0;
    fs.lastClick = 0;
    AddEntry("..", 1);
    if (FileListFolder(fs.folder, CollectEntry, nullptr) != 0)
        LogPrintf(LOG_WARN, "FILESEL: %s cannot be read", fs.folder);
    if (fs.dropped)
        LogPrintf(LOG_WARN, "FILESEL: %s holds more entries than can be listed; %d are left out", fs.folder,
                  fs.dropped);
    if (fs.count > 2) std::sort(Entries() + 1, Entries() + fs.count, EntryBefore);
    FillList();
    ShowFolder();
}

// ============================================================================================
// Confirming and cancelling
// ============================================================================================

static int Active(void) { return fs.window && !fs.closing && WinIsModal(fs.window); }

static void Close(void)
{
    fs.closing = 1;
    // The requester may open a modal window of its own as soon as it hears from us.
    if (WinIsModal(fs.window)) WinSetModal(0);
    WinClose(fs.window);
}

static void Cancel(void)
{
    Close();
    LogPrintf(LOG_INFO, "FILESEL CANCELLED");
}

static void Finish(const char* path)
{
    // The path goes out from here: a new selector opened by the requester reuses the state.
    char chosen[FILESEL_PATH_MAX];
    StrLCopy(chosen, path, sizeof chosen);
    WinId requester = fs.requester;
    uint32_t requesterClass = fs.requesterClass;
    Close();
    LogPrintf(LOG_INFO, "FILESEL CHOSEN \"%s\"", chosen);
    if (requester && WinIsWindow(requester) && WinGetClass(requester) == requesterClass) {
        WinParam p1 = (WinParam)chosen, p2 = 0;
        WinSendMessage(requester, FILESEL_CHOSEN, &p1, &p2);
    }
}

// Tells the user why the name was not taken. The box may wait behind a modal window and
// only one can be modal, so the selector lets go until the box has gone (see the tick).
static void Refuse(const char* why)
{
    const char* name = fs.name;
    size_t room = SEL_BOX_TEXT_MAX - (size_t)StrLen(why) - 3;
    int cut = (size_t)StrLen(name) > room;
    if (cut) name += (size_t)StrLen(name) - room;
    char text[SEL_BOX_TEXT_MAX + 1];
    StrCopy(text, why);
    StrCat(text, cut ? "..." : "");
    StrCat(text, name);
    WinSetFocus(0);
    if (WinIsModal(fs.window)) WinSetModal(0);
    fs.box = MsgBoxShow("File Error", text);
}

static void Confirm(void)
{
    if (!fs.name[0]) return;
    char path[FILESEL_PATH_MAX], found[FILESEL_PATH_MAX];
    if (!FullPath(path, fs.folder, fs.name)) {
        Refuse("Name too long: ");
        return;
    }
    if (FileFind(path, found, sizeof found)) {
        // A folder (or a device) is nothing to open or to write over. A name that is there but
        // cannot be opened (a link to nothing or to itself, a FIFO) is refused with its reason.
        if (FileSize(found) < 0) {
            char why[128];
            if (!fs.saving && FileCheckRead(found, UINT64_MAX, nullptr, nullptr) != FILE_READABLE && errno != EISDIR) {
                snprintf(why, sizeof why, "%s: ", FileRefusal());
                if (why[0] >= 'a' && why[0] <= 'z') why[0] = (char)(why[0] - 32);
                Refuse(why);
                return;
            }
            Refuse("Not a file: ");
            return;
        }
        Finish(found);
        return;
    }
    if (!fs.saving) {
        Refuse("File not found: ");
        return;
    }
    // A new file: its folder must be there (found whatever its case), its name is as typed.
    char* slash = strrchr(path, '/');
    char leaf[FILESEL_PATH_MAX];
    StrCopy(leaf, slash + 1);
    slash[slash == path ? 1 : 0] = 0;
    if (!FileFind(path, found, sizeof found) || FileSize(found) >= 0) {
        Refuse("Folder not found: ");
        return;
    }
    if ((size_t)StrLen(found) + 1 + (size_t)StrLen(leaf) >= sizeof path) {
        Refuse("Name too long: ");
        return;
    }
    StrCopy(path, found);
    if (StrCmp(found, "/") != 0) StrCat(path, "/");
    StrCat(path, leaf);
    Finish(path);
}

static void SetName(const char* name)
{
    WinParam p1 = (WinParam)name, p2 = 0;
    WinSendMessage(fs.edit, WM_EDITSETTEXT, &p1, &p2);
}

// A click in the list: a folder is entered; a file's name goes to the field, and a second
// click on the same file takes it.
static void Choose(int id)
{
    int index = id - 1;
    if (index < 0 || index >= fs.count) return;
    if (EntryIsFolder(index)) {
        char next[FILESEL_PATH_MAX];
        if (!FullPath(next, fs.folder, EntryName(index))) {
            LogPrintf(LOG_WARN, "FILESEL: the path of %s in %s is too long", EntryName(index), fs.folder);
        } else {
            StrCopy(fs.folder, next);
            ReadFolder();
        }
    } else if (fs.lastClick == id && StrCmp(fs.name, EntryName(index)) == 0) {
        Confirm();
        return;
    } else {
        SetName(EntryName(index));
        fs.lastClick = id;
    }
    WinSetFocus(fs.edit);
}

// ============================================================================================
// The window
// ============================================================================================

static WinId Control(int x, int y, int w, int h, uint32_t style, uint32_t cls, const char* label)
{
    WinId c = WinCreate(x, y, w, h, WIN_CURRENT, style, cls);
    if (label) {
        WinParam p1 = (WinParam)label, p2 = 0;
        WinSendMessage(c, WM_SETLABEL, &p1, &p2);
    }
    return c;
}

static void MakeControls(void)
{
    int w = fs.width, listH = fs.lines * LIST_LINE_HEIGHT + 2;
    fs.list = Control(SEL_MARGIN, SEL_LIST_Y, w - 2 * SEL_MARGIN, listH, FRAME_BORDER, CLASS_LIST, nullptr);
    int editX = SEL_MARGIN + SEL_LABEL_WIDTH, okX = w - 2 * (SEL_MARGIN + SEL_BUTTON_WIDTH);
    fs.edit = Control(editX, fs.editY, w - SEL_MARGIN - editX, 11, 0, CLASS_EDIT, nullptr);
    fs.ok = Control(okX, fs.buttonY, SEL_BUTTON_WIDTH, 11, BUTTON_PUSH, CLASS_BUTTON, "Ok");
    fs.cancel = Control(w - SEL_MARGIN - SEL_BUTTON_WIDTH, fs.buttonY, SEL_BUTTON_WIDTH, 11, BUTTON_PUSH, CLASS_BUTTON,
                        "Cancel");
    WinParam p1 = 0, p2 = 0;
    if (WinSendMessage(WIN_SELF, WM_REGION, &p1, &p2) == 0 && !WinNoRect(p1)) {
        fs.clientX = WinLo(p1);
        fs.clientY = WinHi(p1);
    }
}

// Takes the modality once nothing else holds it and the refusal box has gone; while the
// selector is modal, keys belong to its name field whatever was clicked in it.
static void Tick(WinId self)
{
    if (fs.closing) return;
    if (!WinIsModal(self)) {
        if (WinModal() || (fs.box && WinIsWindow(fs.box))) return;
        fs.box = 0;
        WinMakeModal(self);
    }
    if (WinFocus() != fs.edit) WinSetFocus(fs.edit);
}

static void FreeState(void)
{
    for (ResId* id : {&fs.names, &fs.entries, &fs.listData}) {
        if (*id) ResFree(*id);
        *id = 0;
    }
    fs.window = fs.list = fs.edit = fs.ok = fs.cancel = 0;
    fs.count = 0;
}

static int FileSelProc(WinId self, WinId sender, int message, WinParam* p1, WinParam*)
{
    if (message == WM_CREATE) {
        fs.window = self;
        MakeControls();
        return 0;
    }
    // A selector that has closed and been followed by another one is only drawn until it goes.
    if (self != fs.window) return 1;
    switch (message) {
    case WM_DESTROY: FreeState(); return 1;
    case WM_DRAWCLIENT: {
        int x0, y0, x1, y1;
        WinGetExtent(0, &x0, &y0, &x1, &y1);
        DrawFillRect(x0, y0, x1, y1, DrawBackground());
        TextSetColour(DrawTextColour());
        TextSetFormat(TEXT_MODE_PLAIN, -1, 0, x1);
        TextPrint(SEL_MARGIN - fs.clientX, 15 - fs.clientY, "%s", fs.folderShown);
        TextPrint(SEL_MARGIN - fs.clientX, fs.editY + 1 - fs.clientY, "Name:");
        TextPrint(SEL_MARGIN - fs.clientX, fs.buttonY + 1 - fs.clientY, "%s", fs.filterShown);
        return 0;
    }
    case WM_TICK: Tick(self); return 0;
    case WM_PRESSED:
        if (*p1 && Active()) {
            if (sender == fs.ok) Confirm();
            else if (sender == fs.cancel) Cancel();
        }
        return 0;
    case WM_LISTCHOICE:
        if (Active()) Choose((int)*p1);
        return 0;
    case WM_EDITENTER:
        if (Active()) Confirm();
        return 0;
    case WM_EDITESCAPE:
        if (Active()) Cancel();
        return 0;
    case WM_EDITCHANGED: return 0;
    default: return 1;
    }
}

void FileSelRegisterClass(void) { WinCreateClass(CLASS_FILESEL, CLASS_FRAME, 0, FileSelProc); }

// ============================================================================================
// Opening
// ============================================================================================

static void KeepPattern(const char* pattern)
{
    StrLCopy(fs.pattern, pattern ? pattern : "", sizeof fs.pattern);
    if ((size_t)StrLen(pattern ? pattern : "") < sizeof fs.pattern) return;
    // Too long to keep whole: keep the patterns that fit, never a pattern cut short.
    char* semi = strrchr(fs.pattern, ';');
    if (semi) *semi = 0;
    else fs.pattern[0] = 0;
    LogPrintf(LOG_WARN, "FILESEL: the pattern list is too long; only \"%s\" is used", fs.pattern);
}

static WinId Start(const char* title, const char* folder, const char* pattern, const char* name, int saving,
                   WinId requester)
{
    if (!WinIsInstalled()) return 0;
    if (FileSelWindow()) {
        LogPrintf(LOG_WARN, "FILESEL: a file selector is open already; \"%s\" is not opened", title ? title : "");
        return 0;
    }
    // A selector that has just closed hands its resources on; it is gone by the step's end.
    if (!fs.names) fs.names = ResCreate(256);
    if (!fs.entries) fs.entries = ResCreate(64 * sizeof(uint32_t));
    if (!fs.listData) fs.listData = ResCreate(64);
    if (!fs.names || !fs.entries || !fs.listData) {
        LogPrintf(LOG_WARN, "FILESEL: no memory for a file selector");
        return 0;
    }
    fs.window = 0;
    fs.closing = 0;
    fs.box = 0;
    fs.saving = saving;
    fs.requester = requester;
    fs.requesterClass = WinIsWindow(requester) ? WinGetClass(requester) : 0;
    StrLCopy(fs.title, title ? title : "", sizeof fs.title);
    KeepPattern(pattern);
    StrLCopy(fs.name, name ? name : "", sizeof fs.name);
    StartFolder(folder);

    // One size for every editor screen, centred; a small screen gets fewer lines.
    int sx, sy, sw, sh;
    WinGetRect(WinDesktop(), &sx, &sy, &sw, &sh);
    fs.lines = (sh - SEL_FIXED_HEIGHT - 40) / LIST_LINE_HEIGHT;
    fs.lines = fs.lines < SEL_MIN_LINES ? SEL_MIN_LINES : fs.lines > SEL_MAX_LINES ? SEL_MAX_LINES : fs.lines;
    fs.width = sw < SEL_WIDTH ? sw : SEL_WIDTH;
    fs.height = SEL_FIXED_HEIGHT + fs.lines * LIST_LINE_HEIGHT;
    fs.editY = SEL_LIST_Y + fs.lines * LIST_LINE_HEIGHT + 2 + 6;
    fs.buttonY = fs.editY + 11 + 6;
    int x = (sw - fs.width) / 2, y = (sh - fs.height) / 2;
    WinId self = WinCreate(x < 0 ? 0 : x, y < 0 ? 0 : y, fs.width, fs.height, WIN_DESKTOP,
                           FRAME_BORDER | FRAME_TITLE | FRAME_DRAG, CLASS_FILESEL);
    if (!self || self != fs.window) {
        FreeState();
        return 0;
    }
    WinParam p1 = (WinParam)fs.title, p2 = 0;
    WinSendMessage(self, WM_SETTITLE, &p1, &p2);
    p1 = (WinParam)fs.name;
    p2 = FILESEL_NAME_MAX;
    WinSendMessage(fs.edit, WM_EDITSETBUFFER, &p1, &p2);
    if (fs.name[0]) WinSendMessage(fs.edit, WM_EDITSELECTALL, &p1, &p2);
    LogPrintf(LOG_INFO, "FILESEL \"%s\" \"%s\" \"%s\"", fs.title, fs.folder, fs.pattern);
    ShowFilter();
    ReadFolder();
    // Behind another modal window the selector waits for its turn (see the tick).
    if (!WinModal()) {
        WinMakeModal(self);
        WinSetFocus(fs.edit);
    }
    return self;
}

WinId FileSelOpen(const char* title, const char* folder, const char* pattern, WinId requester)
{
    return Start(title, folder, pattern, nullptr, 0, requester);
}

WinId FileSelSave(const char* folder, const char* pattern, const char* defaultName, WinId requester)
{
    return Start("Save as...", folder, pattern, defaultName, 1, requester);
}

// ============================================================================================
// Queries
// ============================================================================================

WinId FileSelWindow(void) { return fs.window && !fs.closing && WinIsWindow(fs.window) ? fs.window : 0; }
const char* FileSelFolder(void) { return FileSelWindow() ? fs.folder : ""; }
int FileSelEntryCount(void) { return FileSelWindow() ? fs.count : 0; }

const char* FileSelEntryName(int index, int* isFolder)
{
    if (!FileSelWindow() || index < 0 || index >= fs.count) return nullptr;
    if (isFolder) *isFolder = EntryIsFolder(index);
    return EntryName(index);
}
