// learning: the whole learning study (tools/arena/study.h) and its report.
//
//   learning [--players LIST] [--seeds N] [--generations N] [--replay LIST] [--waves N]
//            [--rule-games N] [--remember-games N] [--remember-generations N]
//            [--remember-replay LIST] [--remember-only] [--step MS] [--jobs N] [--data DIR]
//            [--out DIR] [--report-only]
//
// LIST is comma-separated: players among autopilot, nododge, human, skilled (all four by
// default), generations to replay frozen (1,20,100), games in remember mode whose first
// population is replayed frozen (1,5,10). Defaults: 5 seeds, long games of 100 generations, 10
// waves per replay, 3 games under the rules, 10 games in remember mode within 40 generations
// bred, 16 ms frames, 2 jobs at a time. --remember-only plays and reports only the games in
// remember mode and their replays.
// Writes <out>/learning.md, learning-hits.png and learning-bombs.png, the runs' files in
// <out>/runs; --report-only makes the report again from runs already there.

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include "tools/arena/command_line.h"
#include "tools/arena/study.h"

namespace fs = std::filesystem;
using namespace qf::arena;

namespace {

int Usage(const std::string& problem) {
  if (!problem.empty()) std::fprintf(stderr, "learning: %s\n", problem.c_str());
  std::fprintf(stderr,
               "usage: learning [--players LIST] [--seeds N] [--generations N] [--replay LIST]\n"
               "                [--waves N] [--rule-games N] [--remember-games N]\n"
               "                [--remember-generations N] [--remember-replay LIST]\n"
               "                [--remember-only] [--step MS] [--jobs N] [--data DIR] [--out DIR]\n"
               "                [--report-only]\n");
  return 2;
}

// Calls `each` for every comma-separated item; false at the first it refuses.
template <class F>
bool ForEachItem(std::string_view list, F each) {
  while (true) {
    const size_t comma = list.find(',');
    if (!each(list.substr(0, comma))) return false;
    if (comma == std::string_view::npos) return true;
    list.remove_prefix(comma + 1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  StudyOptions o;
  bool reportOnly = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--report-only") {
      reportOnly = true;
      continue;
    }
    if (arg == "--remember-only") {
      o.RememberOnly = true;
      continue;
    }
    if (i + 1 >= argc) return Usage("missing value or unknown option " + std::string(arg));
    const std::string_view value = argv[++i];
    if (arg == "--players") {
      o.Players.clear();
      if (!ForEachItem(value, [&](std::string_view name) {
            const auto skill = ParseSkill(name);
            if (skill) o.Players.push_back(*skill);
            return skill.has_value();
          }))
        return Usage("--players needs names among autopilot, nododge, human and skilled");
    } else if (arg == "--replay" || arg == "--remember-replay") {
      std::vector<int32_t>& list = arg == "--replay" ? o.Replayed : o.RememberReplayed;
      list.clear();
      if (!ForEachItem(value, [&](std::string_view g) {
            int32_t n = 0;
            if (!ParseNumber(g, n)) return false;
            list.push_back(n);
            return true;
          }))
        return Usage(arg == "--replay" ? "--replay needs generation numbers, as 1,20,100"
                                       : "--remember-replay needs game numbers, as 1,5,10");
    } else if (arg == "--seeds") {
      if (!ParseNumber(value, o.Seeds)) return Usage("--seeds needs a number");
    } else if (arg == "--generations") {
      if (!ParseNumber(value, o.Generations)) return Usage("--generations needs a number");
    } else if (arg == "--waves") {
      if (!ParseNumber(value, o.Waves)) return Usage("--waves needs a number");
    } else if (arg == "--rule-games") {
      if (!ParseNumber(value, o.RuleGames)) return Usage("--rule-games needs a number");
    } else if (arg == "--remember-games") {
      if (!ParseNumber(value, o.RememberGames)) return Usage("--remember-games needs a number");
    } else if (arg == "--remember-generations") {
      if (!ParseNumber(value, o.RememberGenerations))
        return Usage("--remember-generations needs a number");
    } else if (arg == "--step") {
      if (!ParseNumber(value, o.FrameStepMs)) return Usage("--step needs milliseconds");
    } else if (arg == "--jobs") {
      if (!ParseNumber(value, o.Jobs)) return Usage("--jobs needs a number");
    } else if (arg == "--data") {
      o.DataDir = value;
    } else if (arg == "--out") {
      o.OutDir = value;
    } else {
      return Usage("unknown option " + std::string(arg));
    }
  }
  try {
    CheckStudyOptions(o);
  } catch (const std::invalid_argument& e) {
    return Usage(e.what());
  }

  try {
    o.DataDir = fs::absolute(o.DataDir.empty() ? DefaultDataDir() : o.DataDir);
    o.OutDir = fs::absolute(o.OutDir.empty() ? fs::current_path() : o.OutDir);
    fs::create_directories(o.OutDir);
    if (!reportOnly) RunStudy(o, stdout);
    const fs::path report = WriteReport(o);
    std::printf("%s\n", report.c_str());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "learning: %s\n", e.what());
    return 1;
  }
}
