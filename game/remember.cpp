#include "game/remember.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "base/numbers.h"
#include "game/game_state.h"
#include "game/main_window.h"

namespace qf {

namespace fs = std::filesystem;

namespace {

constexpr const char* kGameKey = "game";
constexpr const char* kGenerationKey = "generation";
constexpr const char* kHistoryKey = "history";

bool ParseWhole(std::string_view text, int32_t& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool ParseWhole(std::string_view text, double& value) { return ParseNumber(text, value); }

int32_t PositiveNumber(const io::HostData& host, const char* key) {
  const auto it = host.find(key);
  int32_t n = 0;
  if (it == host.end()) throw io::EFormatError(std::string("$.Host: no \"") + key + "\"");
  if (!ParseWhole(it->second, n) || n < 1)
    throw io::EFormatError(std::string("$.Host.") + key + ": not a number from 1");
  return n;
}

// "generation game hits bombs life best"; false when the line is not one.
bool ParseRecord(std::string_view line, TWaveRecord& r) {
  std::string_view fields[6];
  for (std::string_view& field : fields) {
    const size_t space = line.find(' ');
    field = line.substr(0, space);
    line = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
  }
  return line.empty() && ParseWhole(fields[0], r.Generation) && r.Generation >= 1 &&
         ParseWhole(fields[1], r.Game) && r.Game >= 1 && ParseWhole(fields[2], r.Hits) &&
         r.Hits >= 0 && ParseWhole(fields[3], r.Bombs) && r.Bombs >= 0 &&
         ParseWhole(fields[4], r.MeanLife) && std::isfinite(r.MeanLife) && r.MeanLife >= 0 &&
         ParseWhole(fields[5], r.BestFitness) && std::isfinite(r.BestFitness) &&
         r.BestFitness >= 0;
}

std::string Errno(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

// Local date and time for the names of saves set aside: 20260501-140322.
std::string Stamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

}  // namespace

io::HostData EncodeRememberedGame(const TRememberedGame& game) {
  std::string history;
  for (const TWaveRecord& r : game.History) {
    history += std::to_string(r.Generation) + ' ' + std::to_string(r.Game) + ' ' +
               std::to_string(r.Hits) + ' ' + std::to_string(r.Bombs) + ' ';
    AppendShortest(history, r.MeanLife);
    history += ' ';
    AppendShortest(history, r.BestFitness);
    history += '\n';
  }
  return {{kGameKey, std::to_string(game.Game)},
          {kGenerationKey, std::to_string(game.Generation)},
          {kHistoryKey, history}};
}

TRememberedGame DecodeRememberedGame(const io::HostData& host) {
  TRememberedGame game;
  game.Game = PositiveNumber(host, kGameKey);
  game.Generation = PositiveNumber(host, kGenerationKey);
  const auto it = host.find(kHistoryKey);
  if (it == host.end()) throw io::EFormatError("$.Host: no \"history\"");
  std::string_view rest = it->second;
  for (int line = 1; !rest.empty(); ++line) {
    const size_t end = rest.find('\n');
    if (end == std::string_view::npos)
      throw io::EFormatError("$.Host.history: the last line is not ended");
    TWaveRecord r;
    if (!ParseRecord(rest.substr(0, end), r))
      throw io::EFormatError("$.Host.history, line " + std::to_string(line) +
                             ": not a generation's figures");
    game.History.push_back(r);
    rest.remove_prefix(end + 1);
  }
  return game;
}

void CheckGamePopulation(const io::PopulationCheckpoint& checkpoint, const fs::path& file) {
  if (checkpoint.PopulationSize() != kGenerationSize || checkpoint.InputNodeCount() != 7 ||
      checkpoint.OutputNodeCount() != 3) {
    throw io::EFormatError(file.string() + ": a population of " +
                           std::to_string(checkpoint.PopulationSize()) + " genomes with " +
                           std::to_string(checkpoint.InputNodeCount()) + " inputs and " +
                           std::to_string(checkpoint.OutputNodeCount()) +
                           " outputs; the game plays 30 with 7 and 3");
  }
  // The game's transfer functions are those the window registers; a checkpoint may be read
  // before any window is made.
  RegisterGameTransferFunctions();
  try {
    checkpoint.CheckRegistry();
  } catch (const io::EFormatError& e) {
    throw io::EFormatError(file.string() + ": " + e.what());
  }
}

TPopulationMemory::TPopulationMemory(const fs::path& file,
                                     std::function<void(const std::string&)> report)
    : file_(fs::absolute(file)), report_(std::move(report)) {}

std::optional<TRememberedGame> TPopulationMemory::Recall(TNEATPopulation& population,
                                                         bool forget) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(file_, ec))) return std::nullopt;
  if (forget) {
    SetAside("forgotten", "");
    return std::nullopt;
  }
  try {
    // A directory or a device (a link to /dev/zero would never end) is no save.
    if (!fs::is_regular_file(fs::status(file_, ec)))
      throw io::EFormatError(file_.string() + ": not a file");
    const io::PopulationCheckpoint checkpoint = io::ReadPopulationCheckpointFile(file_);
    CheckGamePopulation(checkpoint, file_);
    TRememberedGame game;
    try {
      game = DecodeRememberedGame(checkpoint.Host());
    } catch (const io::EFormatError& e) {
      throw io::EFormatError(file_.string() + ": " + e.what());
    }
    io::ApplyPopulationCheckpoint(checkpoint, population);
    return game;
  } catch (const std::exception& e) {
    SetAside("unreadable", e.what());
    return std::nullopt;
  }
}

void TPopulationMemory::SetAside(const char* why, const std::string& reason) {
  const std::string stem = file_.stem().string() + "-" + why + "-" + Stamp();
  fs::path aside = file_.parent_path() / (stem + file_.extension().string());
  std::error_code ec;
  for (int n = 2; fs::exists(fs::symlink_status(aside, ec)); ++n)
    aside = file_.parent_path() / (stem + "-" + std::to_string(n) + file_.extension().string());
  std::string message = "The saved population " + file_.filename().string();
  message += reason.empty() ? " is forgotten" : " cannot be read (" + reason + ")";
  fs::rename(file_, aside, ec);
  if (ec) {
    writable_ = false;
    report_(message + "; it cannot be set aside (" + ec.message() +
            ") and stays as it is, so this game's population will not be saved");
    return;
  }
  report_(message + "; it is kept as " + aside.filename().string() +
          ", and a new population starts");
}

void TPopulationMemory::Keep(const TNEATPopulation& population, const TRememberedGame& game) {
  std::ostringstream text;
  io::SavePopulation(population, text, EncodeRememberedGame(game));
  kept_ = std::move(text).str();
  Write();
}

void TPopulationMemory::KeepAgain() {
  if (!kept_.empty()) Write();
}

void TPopulationMemory::Write() {
  if (!writable_) return;
  try {
    WriteFileDurably(file_, kept_);
    lastFailure_.clear();
  } catch (const std::exception& e) {
    const std::string message = std::string("The population cannot be saved: ") + e.what() +
                                "; the game goes on, and the last save is kept as it was";
    if (message != lastFailure_) report_(message);
    lastFailure_ = message;
  }
}

void WriteFileDurably(const fs::path& file, const std::string& text) {
  std::error_code ec;
  fs::path target = fs::weakly_canonical(fs::absolute(file), ec);
  if (ec) target = fs::absolute(file);
  const fs::file_status status = fs::status(target, ec);
  if (fs::exists(status) && !fs::is_regular_file(status))
    throw std::runtime_error(target.string() + " is not a file");

  fs::path temporary = target;
  temporary += ".partial-" + std::to_string(::getpid());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                        0644);
  if (fd < 0) throw std::runtime_error(Errno("cannot create " + temporary.string(), errno));
  auto fail = [&](const std::string& what) {
    const int error = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    throw std::runtime_error(Errno(what, error));
  };
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = EIO;
    if (n <= 0) fail("cannot write " + temporary.string());
    done += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0) fail("cannot write " + temporary.string());
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    throw std::runtime_error(Errno("cannot write " + temporary.string(), error));
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    throw std::runtime_error(Errno("cannot replace " + target.string(), error));
  }
  // The rename reaches the disk with its directory; where a file system cannot sync a
  // directory, the file is in place all the same.
  const int dir = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

}  // namespace qf
