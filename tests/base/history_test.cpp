#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/history.h"

namespace {

using State = std::vector<uint8_t>;
State S(const std::string& text) { return State(text.begin(), text.end()); }

// A document edited through the history as an editor does: the state before each edit is
// recorded, then the edit replaces it.
struct Doc {
    History* h = HistoryCreate();
    State now = S("A");
    std::vector<uint8_t> buffer = std::vector<uint8_t>(64);
    ~Doc() { HistoryDestroy(h); }
    void Edit(const std::string& to)
    {
        HistoryRecord(h, now.data(), now.size());
        now = S(to);
    }
    bool Undo() { return Take(HistoryUndo); }
    bool Redo() { return Take(HistoryRedo); }
    // The text after a step, or "-" where there was no step to take.
    std::string Undone() { return Undo() ? Text() : "-"; }
    std::string Redone() { return Redo() ? Text() : "-"; }
    std::vector<int> Counts() const { return {HistoryUndoCount(h), HistoryRedoCount(h)}; }
    bool Take(size_t (*step)(History*, const uint8_t*, size_t, uint8_t*, size_t))
    {
        size_t n = step(h, now.data(), now.size(), buffer.data(), buffer.size());
        if (n) now.assign(buffer.begin(), buffer.begin() + (long)n);
        return n != 0;
    }
    std::string Text() const { return std::string(now.begin(), now.end()); }
};

}   // namespace

TEST(History, StepsBackAndForwardOneEditAtATime)
{
    Doc d;
    d.Edit("AB");
    d.Edit("ABC");
    d.Edit("ABCD");
    EXPECT_EQ(d.Counts(), (std::vector<int>{3, 0}));
    EXPECT_EQ((std::vector<std::string>{d.Undone(), d.Undone(), d.Undone(), d.Undone()}),
              (std::vector<std::string>{"ABC", "AB", "A", "-"}))
        << "nothing before the first edit";
    EXPECT_EQ("A", d.Text());
    EXPECT_EQ(d.Counts(), (std::vector<int>{0, 3}));
    EXPECT_EQ((std::vector<std::string>{d.Redone(), d.Redone()}), (std::vector<std::string>{"AB", "ABC"}));
    EXPECT_EQ(d.Counts(), (std::vector<int>{2, 1}));

    // A new edit after Undo drops what Redo would have brought back.
    d.Edit("ABCX");
    EXPECT_EQ(d.Counts(), (std::vector<int>{3, 0}));
    EXPECT_EQ((std::vector<std::string>{d.Redone(), d.Text(), d.Undone()}), (std::vector<std::string>{"-", "ABCX", "ABC"}));
}

TEST(History, AStepNeverLargerThanTheBufferIsWritten)
{
    Doc d;
    d.Edit("B");
    uint8_t one = 'Z';
    EXPECT_EQ(0u, HistoryUndo(d.h, d.now.data(), d.now.size(), &one, 0)) << "no room: nothing changes";
    EXPECT_EQ('Z', one);
    EXPECT_EQ(1, HistoryUndoCount(d.h));
    EXPECT_EQ(1u, HistoryUndo(d.h, d.now.data(), d.now.size(), &one, 1));
    EXPECT_EQ('A', one);
}

TEST(History, AnEditThatChangedNothingCostsNoStep)
{
    Doc d;
    d.Edit("B");
    HistoryRecord(d.h, d.now.data(), d.now.size());   // refused after its snapshot
    uint32_t saved = HistoryStateNumber(d.h);          // and saved as it stands
    d.Edit("C");
    EXPECT_NE(saved, HistoryStateNumber(d.h)) << "the edit after it is a new state";
    EXPECT_EQ(2, HistoryUndoCount(d.h));
    EXPECT_EQ((std::vector<std::string>{d.Undone(), d.Undone()}), (std::vector<std::string>{"B", "A"}));
}

TEST(History, TheBoundsDropTheOldestStepsFirst)
{
    Doc d;
    HistorySetBounds(d.h, 3, 0);
    for (const char* s : {"B", "C", "D", "E", "F"}) d.Edit(s);
    EXPECT_EQ(3, HistoryUndoCount(d.h)) << "at most three steps";
    d.Undo(), d.Undo(), d.Undo();
    EXPECT_EQ("C", d.Text()) << "the newest three stay";
    EXPECT_EQ(d.Counts(), (std::vector<int>{0, 3}));
    EXPECT_EQ(3u, HistoryBytes(d.h));

    // Bytes: steps of 10 bytes under a bound of 25 keep two.
    Doc m;
    HistorySetBounds(m.h, 64, 25);
    m.now = State(10, 'a');
    for (char c : std::string("bcde")) {
        HistoryRecord(m.h, m.now.data(), m.now.size());
        m.now = State(10, c);
    }
    EXPECT_EQ(2, HistoryUndoCount(m.h));
    EXPECT_EQ(20u, HistoryBytes(m.h));
    EXPECT_LE(HistoryBytes(m.h), HistoryMaxBytes(m.h));
    m.Undo();
    EXPECT_EQ(State(10, 'd'), m.now);
    // Exactly at the bound is within it.
    HistorySetBounds(m.h, 64, 20);
    EXPECT_EQ(m.Counts(), (std::vector<int>{1, 1}));
    // A smaller bound takes effect at once, undo steps first.
    HistorySetBounds(m.h, 1, 0);
    EXPECT_EQ(m.Counts(), (std::vector<int>{0, 1}));
    EXPECT_EQ(1, HistoryMaxSteps(m.h));
    // With no undo step left, the redo steps farthest from the current state go.
    Doc r;
    for (const char* s : {"B", "C", "D"}) r.Edit(s);
    r.Undo(), r.Undo(), r.Undo();
    HistorySetBounds(r.h, 2, 0);
    EXPECT_EQ(2, HistoryRedoCount(r.h));
    r.Redo();
    EXPECT_EQ("B", r.Text()) << "the nearest redo step stays";
}

TEST(History, StateNumbersTellTheSavedStateAgain)
{
    Doc d;
    uint32_t saved = HistoryStateNumber(d.h);
    d.Edit("B");
    uint32_t b = HistoryStateNumber(d.h);
    EXPECT_NE(saved, b);
    d.Undo();
    EXPECT_EQ(saved, HistoryStateNumber(d.h)) << "back to the saved state";
    d.Redo();
    EXPECT_EQ(b, HistoryStateNumber(d.h));
    d.Undo();
    d.Edit("C");
    EXPECT_NE(saved, HistoryStateNumber(d.h));
    EXPECT_NE(b, HistoryStateNumber(d.h)) << "a new edit is a new state";
    uint32_t c = HistoryStateNumber(d.h);
    HistoryTouch(d.h);
    EXPECT_NE(c, HistoryStateNumber(d.h));
    HistoryClear(d.h);
    EXPECT_EQ(0, HistoryUndoCount(d.h));
    EXPECT_EQ(0u, HistoryBytes(d.h));
}

TEST(History, RewriteReachesEveryKeptState)
{
    Doc d;
    d.Edit("BB");
    d.Edit("CCC");
    d.Undo();   // undo: "A"; redo: "CCC"; now "BB"
    HistoryRewrite(
        d.h, [](std::vector<uint8_t>& s, void*) { s.push_back(0x21); }, nullptr);
    int seen = 0;
    HistoryRewrite(d.h, [](std::vector<uint8_t>&, void* n) { ++*(int*)n; }, &seen);
    EXPECT_EQ(2, seen);
    EXPECT_EQ(6u, HistoryBytes(d.h)) << "the sizes follow the rewrite";
    d.Redo();
    EXPECT_EQ("CCC!", d.Text());
    d.Undo(), d.Undo();
    EXPECT_EQ("A!", d.Text());
}
