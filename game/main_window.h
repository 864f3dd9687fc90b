#pragma once
// TfmMain: the game's one window. It owns the layered view and the population that breeds the
// invaders, sets up the game state at creation and writes the log at destruction, turns keys
// into moves, and runs one game frame whenever the message queue has been emptied.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/component.h"
#include "game/remember.h"
#include "platform/keys.h"
#include "raster/image32.h"

namespace qf {

class Application;
class TBitmapLayer;
class TGenotype;
class TInvader;
class TNEATPopulation;
class Window;

inline constexpr const char* kGameTitle = "Quillfrost";
// The window's icon, below the system directory (the game's data directory).
inline constexpr const char* kIconFile = "icons/quillfrost-64.png";

// How the program was started.
struct GameOptions {
  // Remember mode: the population goes on across games and starts of the game, kept in
  // SaveFile; the wave that ends a game is bred like any other.
  bool Remember = false;
  // With Remember: the save is set aside under a dated name and a new population starts.
  bool Forget = false;
  // Relative to the working directory when the window is created.
  std::filesystem::path SaveFile = "population.json";
  // Called after each save of the population has been written (the browser then copies the
  // player's directory to the page's storage).
  std::function<void()> OnPopulationSaved;
};

class TfmMain : public TComponent {
public:
  // Creates the main window on the application with its view and population, then runs
  // FormCreate: the game is running when the constructor returns.
  explicit TfmMain(Application& application, GameOptions options = {});
  // FormDestroy, unless the window's destruction already ran it.
  ~TfmMain() override;

  const GameOptions Options;
  TImage32 ImgView;
  TNEATPopulation* Population;  // owned as a component of this window

  Window& MainWindow() const { return *window_; }
  // Why log.txt could not be written when the window was destroyed (naming the file and the
  // reason), or empty.
  const std::string& LogWriteError() const { return logWriteError_; }

  // What each generation bred of this population did: every game's in remember mode, this
  // game's otherwise.
  const std::vector<TWaveRecord>& History() const { return history_; }
  // The game in play, from 1; in remember mode counted over every game of the population.
  int32_t Game() const { return game_; }
  // The learning view's layer, over the playfield; visible only when asked for (L) and while
  // the game is paused or over.
  const TBitmapLayer& LearningLayer() const { return *learningLayer_; }

  // Handlers.
  void FormCreate();
  void FormDestroy();
  void ImgViewKeyDown(TVirtualKey key, TShiftState shift);
  void ImgViewKeyUp(TVirtualKey key, TShiftState shift);
  void ApplicationIdle(bool& wait);
  double PopulationCalculateFitness(TNEATPopulation* population, TGenotype* genotype);

  // One step of the game.
  void GameFrame();
  bool HitsInvader(const TInvader& invader, float x, float y) const;

  // Generations and games.
  void InsertInvader();
  void NextGeneration();
  void NewGame();
  void Explode(int32_t x, int32_t y, int32_t count);

  // Services.
  void UpdateCaption();
  void AddLog(const std::string& line);
  void PlayWave(const std::string& wave);

private:
  // The passes of a frame, in their order.
  void MovePlayer(uint32_t now, float dt);
  void RunInvaders(float dt);
  void FlyRockets(float dt);
  void DropBombs(float dt);
  void DrawStatusBar();
  void MeasureFrameRate();
  void FireRocket();
  void EndWave();

  // Scores and breeds the wave played, records it in the history and, in remember mode,
  // keeps the population. False when nobody scored: the wave is then played again.
  bool BreedWave();
  void BreedTheLastWave();
  void StartPendingGame();
  void RecallPopulation();
  void KeepPopulation();
  // Tells the player: on standard error and in the log.
  void Report(const std::string& message);
  void UpdateLearningView();

  Application& application_;
  Window* window_ = nullptr;
  bool destroyed_ = false;
  std::string logWriteError_;
  bool evaluating_ = false;      // inside EvaluateGeneration, where keys can arrive
  bool newGamePending_ = false;  // Y pressed while evaluating: the new game follows it

  std::unique_ptr<TPopulationMemory> memory_;  // remember mode only
  std::vector<TWaveRecord> history_;
  int32_t game_ = 0;
  bool continuePopulation_ = false;  // a new game goes on with the population in hand
  bool lastWaveBred_ = false;        // remember mode: the wave that ended this game
  TBitmapLayer* learningLayer_ = nullptr;  // owned by the view
  bool learningAsked_ = false;
  bool learningStale_ = true;
};

// The six transfer functions the game adds beside the engine's own "Sigmoid", in the game's
// order. The registry is process-wide and refuses a name twice, while a process may create the
// window more than once (tests, tools), so only the first call registers.
void RegisterGameTransferFunctions();

// The window's stored settings of its population (those that differ from the defaults).
void ApplyStoredPopulationSettings(TNEATPopulation& p);

// Reads a whole file into out; out is emptied when the file cannot be read.
bool LoadFileToString(const std::string& fileName, std::string& out);

}  // namespace qf
