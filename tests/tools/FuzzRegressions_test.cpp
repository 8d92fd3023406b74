// Replays the fuzz targets' seed corpus and every input that ever made a
// target fail (fuzz/regressions/<target>/), in the normal test build: each
// must run to its end, bad input ending in the readers' InputError.

#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "FuzzTargets.h"

namespace {

const std::string kFuzzDirectory = std::string(TABCUBE_SOURCE_DIR) + "/fuzz";

std::vector<std::string> FilesIn(const std::string& directory) {
  std::vector<std::string> files;
  if (DIR* dir = opendir(directory.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.empty() || name[0] == '.') continue;
      files.push_back(directory + "/" + name);
    }
    closedir(dir);
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class FuzzReplayTest : public ::testing::TestWithParam<const char*> {};

TEST_P(FuzzReplayTest, SeedCorpusRuns) {
  const FuzzTarget target = FindFuzzTarget(GetParam());
  ASSERT_NE(target, nullptr);
  const std::vector<std::string> files =
      FilesIn(kFuzzDirectory + "/corpus/" + std::string(GetParam()));
  EXPECT_GE(files.size(), 5u) << "the seed corpus of " << GetParam() << " is missing";
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    const std::string input = Slurp(file);
    EXPECT_EQ(target(reinterpret_cast<const uint8_t*>(input.data()), input.size()), 0);
  }
}

TEST_P(FuzzReplayTest, EveryInputThatEverFailedRuns) {
  const FuzzTarget target = FindFuzzTarget(GetParam());
  ASSERT_NE(target, nullptr);
  for (const std::string& file :
       FilesIn(kFuzzDirectory + "/regressions/" + std::string(GetParam()))) {
    SCOPED_TRACE(file);
    const std::string input = Slurp(file);
    EXPECT_EQ(target(reinterpret_cast<const uint8_t*>(input.data()), input.size()), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplayTest,
                         ::testing::Values("csv", "dictionary", "request", "filter", "command",
                                           "state", "partstate"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

}  // namespace
