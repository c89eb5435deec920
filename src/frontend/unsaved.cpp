// Unsaved work and its questions. An answer may come at once (the native box, or a script's)
// or later (the editor's own box, the save selector after Yes): the asker gets 1 for at once
// and a resume call for later, never both.
#include "frontend/unsaved.h"

#include <cstdio>
#include <cstring>

#include "frontend/editor.h"
#include "frontend/filesel.h"
#include "kernel/app.h"
#include "kernel/kernel.h"
#include "kernel/log.h"
#include "kernel/util/history.h"
#include "platform/platform.h"
#include "shapes/shape.h"
#include "shapes/shapem_edit.h"
#include "toolkit/win.h"
#include "world/worldm.h"

static const char kTitle[] = "Warning";
enum { UNSAVED_TEXT_MAX = 300 };

struct CleanMark {
    uint32_t number;      // the state number of the last load or save
    uint64_t hash;        // and a hash of its bytes
};

static struct {
    CleanMark clean[EDITOR_WORLD + 1];
    UnsavedResumeFn resume;             // what goes on once a later answer allows it
    int asking;                         // inside UnsavedAsk: an answer now is taken in place
    int answeredNow, goOnNow;
    int awaitingSave;                   // Yes opened the save selector
} us;

static History* CurrentHistory(void)
{
    int mode = AppConfig()->editorMode;
    if (mode == EDITOR_SHAPE) return ShapeMHistory();
    if (mode == EDITOR_WORLD && WorldMIsInstalled()) return WorldMHistory();
    return nullptr;
}

// The document's bytes: the used part of the edit buffer or of the world image.
static uint64_t DocumentHash(void)
{
    const uint8_t* p = nullptr;
    size_t n = 0;
    if (AppConfig()->editorMode == EDITOR_SHAPE) {
        p = ShapeMEdit()->data;
        n = ShapeUsedSize(p);
        if (n > SHAPEM_BUFFER_SIZE) n = SHAPEM_BUFFER_SIZE;
    } else {
        p = WorldMImage();
        n = WorldMUsed();
        if (n > WorldMCapacity()) n = WorldMCapacity();
    }
    // FNV-1a over 8-byte words: a 2 MB shape in well under a millisecond.
    const uint64_t prime = 1099511628211ull;
    uint64_t h = 14695981039346656037ull;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t word;
        memcpy(&word, p + i, sizeof word);
        h = (h ^ word) * prime;
    }
    for (; i < n; i++) h = (h ^ p[i]) * prime;
    return (h ^ n) * prime;
}

void UnsavedMarkClean(void)
{
    History* h = CurrentHistory();
    if (!h) return;
    CleanMark& m = us.clean[AppConfig()->editorMode];
    m.number = HistoryStateNumber(h);
    m.hash = DocumentHash();
}

// The saved state's number (an Undo back to it) tells at once. Any other state is compared
// by its bytes, each time: an edit that changed nothing, or one undone by hand, leaves nothing
// to ask about, and a drag goes on changing the state its one step began.
int UnsavedChanged(void)
{
    History* h = CurrentHistory();
    if (!h) return 0;
    const CleanMark& m = us.clean[AppConfig()->editorMode];
    return HistoryStateNumber(h) != m.number && DocumentHash() != m.hash;
}

void UnsavedQuestion(const char* title, const char* text, int flags, MsgBoxAnswerFn answered)
{
    int answer = PlatMessageBox(title, text, flags);
    if (answer == ID_FAILED && WinIsInstalled()) {
        MsgBoxAsk(title, text, answered);
        return;
    }
    answered(answer == ID_FAILED ? ID_CANCEL : answer);
}

static void GoOn(int goOn)
{
    if (us.asking) {
        us.answeredNow = 1;
        us.goOnNow = goOn;
        us.resume = nullptr;
        return;
    }
    UnsavedResumeFn resume = us.resume;
    us.resume = nullptr;
    if (goOn && resume) resume();
}

static void Answered(int answer)
{
    if (answer == ID_NO) return GoOn(1);
    if (answer != ID_YES) return GoOn(0);
    const EditorPanels* panels = EditorCurrentPanels();
    int saved = panels && panels->save ? panels->save() : EDITOR_SAVE_FAILED;
    if (saved == EDITOR_SAVE_SELECTOR) {
        // The selector decides; the asker hears of it through UnsavedSaved or not at all.
        us.awaitingSave = 1;
        if (us.asking) us.answeredNow = 1, us.goOnNow = 0;
        return;
    }
    GoOn(saved == EDITOR_SAVE_DONE);
}

int UnsavedAsk(UnsavedResumeFn resume)
{
    if (!UnsavedChanged()) return 1;
    char text[UNSAVED_TEXT_MAX];
    // The document's own name, "UNTITLED.WLE" for a world without a file.
    const EditorPanels* panels = EditorCurrentPanels();
    const char* name = panels && panels->name ? panels->name() : EditorFileName();
    const char* slash = strrchr(name, '/');
    snprintf(text, sizeof text, "Save changes to %s?", slash ? slash + 1 : name);
    us.resume = resume;
    us.awaitingSave = 0;
    us.asking = 1;
    us.answeredNow = us.goOnNow = 0;
    UnsavedQuestion(kTitle, text, MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2, Answered);
    us.asking = 0;
    return us.answeredNow && us.goOnNow;
}

void UnsavedSaved(void)
{
    if (!us.awaitingSave) return;
    us.awaitingSave = 0;
    GoOn(1);
}

void UnsavedFrame(void)
{
    if (us.awaitingSave && !FileSelWindow()) {
        us.awaitingSave = 0;
        us.resume = nullptr;
    }
}

static void Quit(void) { KernelSetQuit(1); }

static void CloseAnswered(int answer)
{
    if (answer == ID_YES) Quit();
}

void UnsavedClose(void)
{
    if (UnsavedChanged()) {
        if (UnsavedAsk(Quit)) Quit();
        return;
    }
    if (!KernelConfirmClose()) return Quit();
    UnsavedQuestion(kTitle, "Are you sure you meant to press that button?", MB_YESNOCANCEL | MB_ICONQUESTION,
                    CloseAnswered);
}
