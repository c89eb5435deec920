#include "frontend/docnames.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/history.h"
#include "base/log.h"
#include "frontend/editor.h"

namespace {

struct DocName {
    std::string folder, name;
    int hasFile = 0;
};

// A document is one entry of `docs`; the states at the edges of a replacement point to theirs.
struct DocNamesState {
    int known = 0;
    uint32_t number = 0;        // the state last observed
    int doc = 0;                // its document
    std::vector<DocName> docs;
    std::unordered_map<uint32_t, int> docOf;
} docNames;

const char* Text(const char* (*get)(void))
{
    const char* s = get ? get() : nullptr;
    return s ? s : "";
}

int CurrentIs(const EditorPanels* panels, const DocName& d)
{
    int hasFile = Text(panels->fileName)[0] != 0;
    return d.hasFile == hasFile && d.folder == Text(panels->folder) && d.name == Text(panels->name);
}

DocName Current(const EditorPanels* panels)
{
    return DocName{Text(panels->folder), Text(panels->name), Text(panels->fileName)[0] != 0};
}

const EditorPanels* Panels(History** history)
{
    const EditorPanels* panels = EditorCurrentPanels();
    *history = panels && panels->history ? panels->history() : nullptr;
    return *history && panels->name && panels->folder && panels->restoreNames ? panels : nullptr;
}

}   // namespace

void DocNamesReset(void) { docNames = {}; }

void DocNamesObserve(void)
{
    History* history = nullptr;
    const EditorPanels* panels = Panels(&history);
    if (!panels) return;
    uint32_t number = HistoryStateNumber(history);
    if (!docNames.known) {
        docNames.known = 1;
        docNames.docs.assign(1, Current(panels));
        docNames.doc = 0;
        docNames.docOf[number] = 0;
    } else if (!CurrentIs(panels, docNames.docs[docNames.doc])) {
        if (number != docNames.number) {
            docNames.docOf[docNames.number] = docNames.doc;
            docNames.docs.push_back(Current(panels));
            docNames.doc = (int)docNames.docs.size() - 1;
            docNames.docOf[number] = docNames.doc;
        } else {
            docNames.docs[docNames.doc] = Current(panels);
        }
    }
    docNames.number = number;
}

void DocNamesAfterStep(void)
{
    History* history = nullptr;
    const EditorPanels* panels = Panels(&history);
    if (!panels || !docNames.known) return;
    docNames.number = HistoryStateNumber(history);
    auto found = docNames.docOf.find(docNames.number);
    if (found == docNames.docOf.end() || found->second == docNames.doc) return;
    docNames.doc = found->second;
    const DocName& d = docNames.docs[docNames.doc];
    LogPrintf(LOG_INFO, "EDITOR: the step goes back to the document %s", d.name.c_str());
    panels->restoreNames(d.folder.c_str(), d.name.c_str(), d.hasFile);
}
