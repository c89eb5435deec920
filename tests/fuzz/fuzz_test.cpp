// Every fuzzing harness replayed over its seeds and every crash input kept from the fuzzers,
// under this build's sanitizers: a loader fault that was fixed stays fixed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz.h"
#include "support/testutil.h"

namespace fs = std::filesystem;

// A file of a few bytes that makes its loader ask for hundreds of megabytes is a fault the
// kept inputs must show: past this size an allocation is a sanitizer error here, as it is
// for the fuzzers (-malloc_limit_mb).
extern "C" const char* __asan_default_options() { return "max_allocation_size_mb=512"; }

static std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> out;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return out;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.is_regular_file() && e.path().filename().string()[0] != '.') out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(Fuzz, EveryHarnessTakesItsSeedsAndKeptInputs)
{
    FuzzQuietLog();
    const std::string root = TOLBEX_FUZZ_DATA;
    // One harness per loader; a new one without seeds would replay nothing.
    ASSERT_EQ(FuzzHarnessCount(), 16);
    for (int i = 0; i < FuzzHarnessCount(); i++) {
        const FuzzHarness* h = FuzzHarnessAt(i);
        SCOPED_TRACE(h->name);
        std::vector<std::string> seeds = FilesIn(root + "/corpus/" + h->name);
        std::vector<std::string> kept = FilesIn(root + "/regressions/" + h->name);
        EXPECT_FALSE(seeds.empty()) << "no seeds for " << h->name;
        h->setup();
        for (const auto& list : {seeds, kept})
            for (const std::string& file : list) {
                SCOPED_TRACE(file);
                Bytes data = ReadBytes(file);
                h->one(data.data(), data.size());
            }
        // The empty input and a single byte, which no seed is.
        const uint8_t zero = 0;
        h->one(&zero, 0);
        h->one(&zero, 1);
        h->teardown();
    }
}
