#pragma once
// What the arena's programs share on their command lines.

#include <charconv>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace qf::arena {

// The whole text as a number of T, nothing before or after it.
template <class T>
bool ParseNumber(std::string_view text, T& out) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end;
}

// Without --data: the working directory if it holds the sprites, else the build's data
// directory beside the program (<build>/tools/arena/<program>, <build>/data).
inline std::filesystem::path DefaultDataDir() {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::exists("invader.png", ec)) return fs::current_path();
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    for (const fs::path& candidate : {exe.parent_path() / "data",
                                      exe.parent_path().parent_path().parent_path() / "data"}) {
      if (fs::is_directory(candidate, ec)) return candidate;
    }
  }
  return fs::current_path();
}

}  // namespace qf::arena
