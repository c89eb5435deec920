// Unsaved work and its questions. An answer may come at once (the native box, or a script's)
// or later (the editor's own box, the save selector after Yes): the asker gets 1 for at once
// and a resume call for later, never both. A close asks about each document in turn: the
// edited shape or world, then the materials, then the palette.
#include "frontend/unsaved.h"

#include <cstdio>
#include <cstring>

#include "base/bytes.h"
#include "base/history.h"
#include "base/log.h"
#include "frontend/editor.h"
#include "frontend/editstate.h"
#include "frontend/filesel.h"
#include "frontend/menubar.h"
#include "kernel/app.h"
#include "kernel/kernel.h"
#include "materials/matm.h"
#include "panels/matpanel.h"
#include "palette/palm.h"
#include "panels/palpanel.h"
#include "platform/platform.h"
#include "toolkit/win.h"

static const char kTitle[] = "Warning";
enum { UNSAVED_TEXT_MAX = 300 };

// The documents a close asks about, in the order it asks.
enum { DOC_EDITED, DOC_MATERIALS, DOC_PALETTE, DOC_COUNT };

struct CleanMark {
    uint32_t number;      // the state number of the last load or save
    uint64_t hash;        // and a hash of its bytes
};

static struct {
    CleanMark clean[EDITOR_WORLD + 1];
    int doc;                            // the document asked about
    UnsavedResumeFn resume;             // what goes on once a later answer allows it
    int asking;                         // inside Ask: an answer now is taken in place
    int answeredNow, goOnNow;
    int awaitingSave;                   // Yes opened the save selector
    int closeNext;                      // the document a resumed close asks about next
} us;

static History* CurrentHistory(void)
{
    const EditorPanels* panels = EditorCurrentPanels();
    return panels && panels->history ? panels->history() : nullptr;
}

// The document's bytes: the used part of the edit buffer or of the world image.
static uint64_t DocumentHash(void)
{
    const EditorPanels* panels = EditorCurrentPanels();
    uint32_t size = 0;
    const uint8_t* bytes = panels && panels->bytes ? panels->bytes(&size) : nullptr;
    return bytes ? BytesHash(bytes, size) : 0;
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

static int DocChanged(int doc)
{
    switch (doc) {
    case DOC_EDITED: return UnsavedChanged();
    case DOC_MATERIALS: return MatMChanged();
    case DOC_PALETTE: return PalMChanged();
    default: return 0;
    }
}

static const char* Leaf(const char* path)
{
    const char* slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// The name the question gives: the document's own, "UNTITLED.WLE" for a world without a file.
static const char* DocName(int doc)
{
    if (doc == DOC_MATERIALS) return MatPanelHasFile() ? Leaf(MatPanelFileName()) : "the materials";
    if (doc == DOC_PALETTE) return *PalPanelFileName() ? Leaf(PalPanelFileName()) : "the palette";
    const EditorPanels* panels = EditorCurrentPanels();
    return Leaf(panels && panels->name ? panels->name() : EditorFileName());
}

// The materials and the palette are saved under their file; without one, their panel opens for
// its Save and the work stops, since nothing was saved.
static int SaveList(int doc)
{
    const char* path = doc == DOC_MATERIALS ? (MatPanelHasFile() ? MatPanelFileName() : "") : PalPanelFileName();
    const char* what = doc == DOC_MATERIALS ? "materials" : "palette";
    if (!*path) {
        MenuBarShowPanel(EditorMenuBar(), doc == DOC_MATERIALS ? (uint32_t)CLASS_MATERIALS_PANEL : (uint32_t)CLASS_PALETTE_PANEL);
        EditNote("The %s %s no file yet: save with the panel's Save.", what, doc == DOC_MATERIALS ? "have" : "has");
        return EDITOR_SAVE_FAILED;
    }
    if ((doc == DOC_MATERIALS ? MatMSave(path) : PalMSave(path)) != 0) {
        char text[UNSAVED_TEXT_MAX];
        snprintf(text, sizeof text, "Unable to save %s.", what);
        MsgBoxShow("Error", text);
        return EDITOR_SAVE_FAILED;
    }
    EditNote("Saved %s", Leaf(path));
    return EDITOR_SAVE_DONE;
}

static int DocSave(int doc)
{
    if (doc != DOC_EDITED) return SaveList(doc);
    const EditorPanels* panels = EditorCurrentPanels();
    return panels && panels->save ? panels->save() : EDITOR_SAVE_FAILED;
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
    int saved = DocSave(us.doc);
    if (saved == EDITOR_SAVE_SELECTOR) {
        // The selector decides; the asker hears of it through UnsavedSaved or not at all.
        us.awaitingSave = 1;
        if (us.asking) us.answeredNow = 1, us.goOnNow = 0;
        return;
    }
    GoOn(saved == EDITOR_SAVE_DONE);
}

static int Ask(int doc, UnsavedResumeFn resume)
{
    if (!DocChanged(doc)) return 1;
    char text[UNSAVED_TEXT_MAX];
    snprintf(text, sizeof text, "Save changes to %s?", DocName(doc));
    us.doc = doc;
    us.resume = resume;
    us.awaitingSave = 0;
    us.asking = 1;
    us.answeredNow = us.goOnNow = 0;
    UnsavedQuestion(kTitle, text, MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2, Answered);
    us.asking = 0;
    return us.answeredNow && us.goOnNow;
}

int UnsavedAsk(UnsavedResumeFn resume) { return Ask(DOC_EDITED, resume); }

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

static void CloseFrom(int doc);
static void CloseResume(void) { CloseFrom(us.closeNext); }

static void CloseFrom(int doc)
{
    for (; doc < DOC_COUNT; doc++) {
        us.closeNext = doc + 1;
        if (!Ask(doc, CloseResume)) return;
    }
    KernelSetQuit(1);
}

static void CloseAnswered(int answer)
{
    if (answer == ID_YES) KernelSetQuit(1);
}

void UnsavedClose(void)
{
    for (int doc = 0; doc < DOC_COUNT; doc++)
        if (DocChanged(doc)) return CloseFrom(0);
    if (!KernelConfirmClose()) return KernelSetQuit(1);
    UnsavedQuestion(kTitle, "Are you sure you meant to press that button?", MB_YESNOCANCEL | MB_ICONQUESTION,
                    CloseAnswered);
}
