// The layers of src/ only look down: every quoted include of a file names a folder at or below
// the file's own in the order below. An include that points up or sideways fails here, named.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

// Lowest first; the same order as docs/ARCHITECTURE.md.
const std::vector<std::string> kLayers = {"platform", "core", "board",  "movegen", "nnue",
                                          "eval",     "book", "search", "tools",   "console"};

int RankOf(const std::string& folder) {
    for (size_t i = 0; i < kLayers.size(); ++i)
        if (kLayers[i] == folder) return int(i);
    return -1;
}

// Every quoted include under src/ that breaks the order, as "file: include (reason)".
std::vector<std::string> Violations(const std::filesystem::path& src) {
    static const std::regex include(R"re(^\s*#\s*include\s*"([^"]+)")re");
        std::vector<std::string>
            found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(src)) {
        if (!entry.is_regular_file()) continue;
        const std::filesystem::path rel = std::filesystem::relative(entry.path(), src);
        const std::string ext = rel.extension().string();
        if (ext != ".cpp" && ext != ".h") continue;
        const std::string folder = rel.begin()->string();
        const int nOwn = RankOf(folder);
        if (nOwn < 0) {
            found.push_back(rel.string() + ": folder " + folder + " is not a layer");
            continue;
        }
        std::ifstream in(entry.path());
        std::string line;
        for (int n = 1; std::getline(in, line); ++n) {
            std::smatch m;
            if (!std::regex_search(line, m, include)) continue;
            const std::string target = m[1];
            const size_t slash = target.find('/');
            const std::string where = rel.string() + ":" + std::to_string(n) + ": " + target;
            const int nTarget = slash == std::string::npos ? -1 : RankOf(target.substr(0, slash));
            if (nTarget < 0)
                found.push_back(where + " (not a layer's header)");
            else if (nTarget > nOwn)
                found.push_back(where + " (" + target.substr(0, slash) + " is above " + folder + ")");
        }
    }
    return found;
}

TEST(Layers, IncludesOnlyLookDown) {
    const std::vector<std::string> bad = Violations(std::filesystem::path(QM_SOURCE_DIR) / "src");
    std::string text;
    for (const std::string& b : bad) text += b + "\n";
    EXPECT_TRUE(bad.empty()) << text;
}

TEST(Layers, AnUpwardIncludeIsNamed) {
    // A scratch tree with one file of each kind: a lower layer reaching up, and a sound one.
    const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "qm_layers_src";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "board");
    std::filesystem::create_directories(dir / "search");
    std::ofstream(dir / "board" / "up.cpp") << "#include \"board/board.h\"\n#include \"search/search.h\"\n";
    std::ofstream(dir / "search" / "ok.cpp") << "#include <vector>\n#include \"board/board.h\"\n";
    const std::vector<std::string> bad = Violations(dir);
    ASSERT_EQ(bad.size(), 1u);
    EXPECT_EQ(bad[0], "board/up.cpp:2: search/search.h (search is above board)");
    std::filesystem::remove_all(dir);
}

}  // namespace
