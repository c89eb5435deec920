// The edit history: two lists of byte states with their numbers, trimmed from the oldest undo
// step whenever a bound is passed.
#include "base/history.h"

#include <cstring>
#include <deque>

struct HistoryStep {
    std::vector<uint8_t> bytes;
    uint32_t number;
};

struct History {
    std::deque<HistoryStep> undo;   // oldest first
    std::vector<HistoryStep> redo;  // newest redo (the next Redo) last
    int maxSteps = HISTORY_STEPS_DEFAULT;
    size_t maxBytes = (size_t)HISTORY_MEGABYTES_DEFAULT << 20;
    size_t bytes = 0;
    uint32_t current = 1;
    uint32_t nextNumber = 2;
};

History* HistoryCreate(void) { return new History; }
void HistoryDestroy(History* h) { delete h; }

// Oldest undo steps go first; the redo steps go only when no undo step is left to drop.
static void Trim(History* h)
{
    auto over = [h] { return (int)(h->undo.size() + h->redo.size()) > h->maxSteps || h->bytes > h->maxBytes; };
    while (over() && !h->undo.empty()) {
        h->bytes -= h->undo.front().bytes.size();
        h->undo.pop_front();
    }
    while (over() && !h->redo.empty()) {
        h->bytes -= h->redo.front().bytes.size();
        h->redo.erase(h->redo.begin());
    }
}

void HistorySetBounds(History* h, int maxSteps, size_t maxBytes)
{
    if (maxSteps > 0) h->maxSteps = maxSteps;
    if (maxBytes > 0) h->maxBytes = maxBytes;
    Trim(h);
}

int HistoryMaxSteps(const History* h) { return h->maxSteps; }
size_t HistoryMaxBytes(const History* h) { return h->maxBytes; }

void HistoryClear(History* h)
{
    h->undo.clear();
    h->redo.clear();
    h->bytes = 0;
}

static void DropRedo(History* h)
{
    for (const HistoryStep& s : h->redo) h->bytes -= s.bytes.size();
    h->redo.clear();
}

void HistoryRecord(History* h, const uint8_t* state, size_t size)
{
    DropRedo(h);
    if (!h->undo.empty()) {
        // The edit before changed nothing (refused after its snapshot): its step serves this one.
        const std::vector<uint8_t>& top = h->undo.back().bytes;
        if (top.size() == size && (size == 0 || memcmp(top.data(), state, size) == 0)) {
            h->current = h->nextNumber++;
            return;
        }
    }
    h->undo.push_back(HistoryStep{std::vector<uint8_t>(state, state + size), h->current});
    h->bytes += size;
    h->current = h->nextNumber++;
    Trim(h);
}

// Moves the current state onto `to` and the newest step of `from` into dest.
template <class From, class To>
static size_t Step(History* h, From& from, To& to, const uint8_t* current, size_t size, uint8_t* dest,
                   size_t capacity)
{
    if (from.empty() || from.back().bytes.size() > capacity) return 0;
    HistoryStep taken = std::move(from.back());
    from.pop_back();
    to.push_back(HistoryStep{std::vector<uint8_t>(current, current + size), h->current});
    h->bytes += size;
    h->bytes -= taken.bytes.size();
    size_t n = taken.bytes.size();
    if (n) memcpy(dest, taken.bytes.data(), n);
    h->current = taken.number;
    Trim(h);
    return n ? n : 1;
}

size_t HistoryUndo(History* h, const uint8_t* current, size_t size, uint8_t* dest, size_t capacity)
{
    return Step(h, h->undo, h->redo, current, size, dest, capacity);
}

size_t HistoryRedo(History* h, const uint8_t* current, size_t size, uint8_t* dest, size_t capacity)
{
    return Step(h, h->redo, h->undo, current, size, dest, capacity);
}

int HistoryUndoCount(const History* h) { return (int)h->undo.size(); }
int HistoryRedoCount(const History* h) { return (int)h->redo.size(); }
size_t HistoryBytes(const History* h) { return h->bytes; }
uint32_t HistoryStateNumber(const History* h) { return h->current; }
void HistoryTouch(History* h) { h->current = h->nextNumber++; }

void HistoryRewrite(History* h, HistoryRewriteFn fn, void* context)
{
    auto each = [&](HistoryStep& s) {
        h->bytes -= s.bytes.size();
        fn(s.bytes, context);
        h->bytes += s.bytes.size();
    };
    for (HistoryStep& s : h->undo) each(s);
    for (HistoryStep& s : h->redo) each(s);
    Trim(h);
}
