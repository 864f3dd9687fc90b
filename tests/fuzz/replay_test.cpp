// Replays every kept input of the fuzz targets in the ordinary build: the crash regressions
// under regressions/<target>/ and the seed corpora. A broken invariant aborts the test
// program; the sanitizer pass turns a memory fault or leak into a failure.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_targets.h"

using namespace qf::fuzz;
namespace fs = std::filesystem;

namespace {

fs::path FuzzDir() { return QF_FUZZ_DIR; }

fs::path PngSuiteDir() { return fs::path(QF_TESTDATA_DIR) / "pngsuite"; }

std::vector<fs::path> FilesIn(const fs::path& dir, const std::string& extension = "") {
  std::vector<fs::path> files;
  if (!fs::is_directory(dir)) return files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    if (entry.path().filename().string().front() == '.') continue;
    if (!extension.empty() && entry.path().extension() != extension) continue;
    files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Feeds each file to the target; returns how many were fed.
template <class Target>
size_t Replay(const std::vector<fs::path>& files, Target target) {
  for (const fs::path& path : files) {
    SCOPED_TRACE(path.string());
    const std::string bytes = ReadFile(path);
    target(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  return files.size();
}

}  // namespace

TEST(FuzzReplay, PngRegressionsAndSeeds) {
  Replay(FilesIn(FuzzDir() / "regressions" / "png"), FuzzPng);
  EXPECT_GE(Replay(FilesIn(PngSuiteDir(), ".png"), FuzzPng), 100u) << "PngSuite not found";
  EXPECT_EQ(Replay(FilesIn(QF_ASSETS_DIR, ".png"), FuzzPng), 7u);
}

TEST(FuzzReplay, SoundRegressionsAndSeeds) {
  InitSoundFuzzing();
  Replay(FilesIn(FuzzDir() / "regressions" / "sound"), FuzzSound);
  EXPECT_GT(Replay(FilesIn(FuzzDir() / "corpus" / "sound"), FuzzSound), 0u);
  EXPECT_EQ(Replay(FilesIn(fs::path(QF_ASSETS_DIR) / "Media", ".wav"), FuzzSound), 2u);
}

TEST(FuzzReplay, EngineRegressionsAndSeeds) {
  Replay(FilesIn(FuzzDir() / "regressions" / "engine"), FuzzEngine);
  EXPECT_GT(Replay(FilesIn(FuzzDir() / "corpus" / "engine"), FuzzEngine), 0u);
}

TEST(FuzzReplay, NeatIoRegressionsAndSeeds) {
  Replay(FilesIn(FuzzDir() / "regressions" / "neat_io"), FuzzNeatIo);
  EXPECT_GT(Replay(FilesIn(FuzzDir() / "corpus" / "neat_io"), FuzzNeatIo), 0u);
}
