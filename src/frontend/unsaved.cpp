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
#include "shapes/shapem_edit.h"
#include "toolkit/win.h"
#include "world/worldm.h"

static const char kTitle[] = "Warning";
enum { UNSAVED_TEXT_MAX = 300 };

static struct {
    uint32_t clean[EDITOR_WORLD + 1];   // the state number of the last load or save
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

void UnsavedMarkClean(void)
{
    History* h = CurrentHistory();
    if (h) us.clean[AppConfig()->editorMode] = HistoryStateNumber(h);
}

int UnsavedChanged(void)
{
    History* h = CurrentHistory();
    return h && HistoryStateNumber(h) != us.clean[AppConfig()->editorMode];
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
