// The class ids are one list: no id twice (the second class would never be reached), and the
// editors' range, which the placeholders fill, is exactly what the editors' list spans.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "toolkit/classids.h"
#include "toolkit/win.h"

namespace {

std::map<uint32_t, std::string> AllIds(std::string* repeats)
{
    std::map<uint32_t, std::string> seen;
    auto add = [&](const ClassIdName* ids, size_t count) {
        for (size_t i = 0; i < count; i++) {
            auto [it, fresh] = seen.emplace(ids[i].id, ids[i].name);
            if (!fresh) *repeats += it->second + " and " + ids[i].name + "; ";
        }
    };
    add(kToolkitClassIds, std::size(kToolkitClassIds));
    add(kEditorClassIds, std::size(kEditorClassIds));
    add(kFrontEndClassIds, std::size(kFrontEndClassIds));
    return seen;
}

TEST(ClassIds, EveryIdNamesOneClass)
{
    std::string repeats;
    std::map<uint32_t, std::string> ids = AllIds(&repeats);
    EXPECT_EQ(repeats, "") << "share an id";
    EXPECT_EQ(ids.size(), std::size(kToolkitClassIds) + std::size(kEditorClassIds) + std::size(kFrontEndClassIds));
    // The names are the enum's: a name bound to another id in the list would show here.
    EXPECT_EQ(ids.at(CLASS_VIEW), "CLASS_VIEW");
    EXPECT_EQ(ids.at(CLASS_MAPPING_HEX), "CLASS_MAPPING_HEX");
    EXPECT_EQ(ids.at(CLASS_FILESEL), "CLASS_FILESEL");
}

TEST(ClassIds, TheEditorRangeSpansTheEditorsListAndNothingElse)
{
    bool firstIsEditors = false, lastIsEditors = false;
    for (const ClassIdName& c : kEditorClassIds) {
        EXPECT_TRUE(c.id >= CLASS_EDITOR_FIRST && c.id <= CLASS_EDITOR_LAST) << c.name << " outside the range";
        firstIsEditors = firstIsEditors || c.id == CLASS_EDITOR_FIRST;
        lastIsEditors = lastIsEditors || c.id == CLASS_EDITOR_LAST;
    }
    EXPECT_TRUE(firstIsEditors && lastIsEditors) << "the range reaches past the editors' classes";
    // Placeholders fill the range: a toolkit or front-end class inside it would be shadowed
    // by none, but would take an editor's id.
    for (const ClassIdName& c : kToolkitClassIds)
        EXPECT_TRUE(c.id < CLASS_EDITOR_FIRST || c.id > CLASS_EDITOR_LAST) << c.name;
    for (const ClassIdName& c : kFrontEndClassIds)
        EXPECT_TRUE(c.id < CLASS_EDITOR_FIRST || c.id > CLASS_EDITOR_LAST) << c.name;
}

}  // namespace
