#pragma once
// TfmMain: the game's one window. It owns the layered view and the population that breeds the
// invaders, sets up the game state at creation and writes the log at destruction, turns keys
// into moves, and runs one game frame whenever the message queue has been emptied.

#include <cstdint>
#include <string>

#include "base/component.h"
#include "platform/keys.h"
#include "raster/image32.h"

namespace qf {

class Application;
class TGenotype;
class TInvader;
class TNEATPopulation;
class Window;

inline constexpr const char* kGameTitle = "Quillfrost";
// The window's icon, below the system directory (the game's data directory).
inline constexpr const char* kIconFile = "icons/quillfrost-64.png";

class TfmMain : public TComponent {
public:
  // Creates the main window on the application with its view and population, then runs
  // FormCreate: the game is running when the constructor returns.
  explicit TfmMain(Application& application);
  // FormDestroy, unless the window's destruction already ran it.
  ~TfmMain() override;

  TImage32 ImgView;
  TNEATPopulation* Population;  // owned as a component of this window

  Window& MainWindow() const { return *window_; }
  // Why log.txt could not be written when the window was destroyed (naming the file and the
  // reason), or empty.
  const std::string& LogWriteError() const { return logWriteError_; }

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

  Application& application_;
  Window* window_ = nullptr;
  bool destroyed_ = false;
  std::string logWriteError_;
  bool evaluating_ = false;      // inside EvaluateGeneration, where keys can arrive
  bool newGamePending_ = false;  // Y pressed while evaluating: the new game follows it
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
