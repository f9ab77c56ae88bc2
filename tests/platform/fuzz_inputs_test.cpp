// The inputs the picture fuzzer starts from and the ones it found failing, replayed through the
// same checks in every build, so a fixed failure stays fixed even where clang is not at hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "fuzz/picture_check.h"
#include "support/test_support.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class FuzzInputs : public InTempDir {
protected:
    // Every input in a folder of the sources, in name order; notes about the folder are not inputs.
    static std::vector<fs::path> inputsIn(const char* folder) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(fs::path(EDGEPIPE_SOURCE_DIR) / folder))
            if (entry.is_regular_file() && entry.path().extension() != ".md") files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        return files;
    }

    // Runs one input through the checks in an empty scratch folder; returns whether it loaded.
    bool replay(const fs::path& input) {
        const fs::path scratch = dir() / "scratch";
        fs::create_directory(scratch);
        const std::vector<std::uint8_t> bytes = readFileBytes(input);
        const fuzzing::Result result = fuzzing::checkPictureBytes(bytes.data(), bytes.size(), scratch);
        EXPECT_EQ(result.problem, "") << input.filename();
        EXPECT_TRUE(fs::is_empty(scratch)) << input.filename();
        fs::remove(scratch);
        return result.outcome == fuzzing::Outcome::Loaded;
    }
};

}  // namespace

TEST_F(FuzzInputs, KeptFailuresNowLoadOrAreRefusedCleanly) {
    for (const fs::path& input : inputsIn("tests/fuzz_regressions")) replay(input);
}

TEST_F(FuzzInputs, EverySeedLoadsAndSurvivesTheRoundTrip) {
    const std::vector<fs::path> seeds = inputsIn("fuzz/seeds");
    ASSERT_FALSE(seeds.empty());
    for (const fs::path& seed : seeds) EXPECT_TRUE(replay(seed)) << seed.filename() << " was refused";
}

// The selector byte reaches every extension the loader knows, so the fuzzer tries every reader.
TEST(FuzzSelector, ReachesEveryPictureExtension) {
    std::set<std::string> reached;
    for (int selector = 0; selector < 256; ++selector) reached.insert(fuzzing::extensionFor(static_cast<std::uint8_t>(selector)));
    std::set<std::string> known;
    for (const platform::PictureKind& kind : platform::pictureKinds()) known.insert(kind.extensions.begin(), kind.extensions.end());
    EXPECT_EQ(reached, known);
}
