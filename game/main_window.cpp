#include "game/main_window.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/errors.h"
#include "base/numbers.h"
#include "base/random.h"
#include "base/ticks.h"
#include "game/game_state.h"
#include "game/invaders.h"
#include "game/learning_view.h"
#include "game/particles.h"
#include "game/png_loader.h"
#include "neat/genotype.h"
#include "neat/population.h"
#include "neat/transfer_functions.h"
#include "platform/platform.h"

namespace qf {

namespace {

constexpr int32_t kStartLives = 4;
constexpr int32_t kInvadersOnField = 10;
constexpr uint32_t kShotIntervalMs = 600;
constexpr size_t kMaxRockets = 2;

std::unique_ptr<TBitmap32> LoadSprite(const char* fileName, TDrawMode mode) {
  auto sprite = std::make_unique<TBitmap32>();
  LoadBitmapFile(*sprite, fileName);
  sprite->DrawMode = mode;
  return sprite;
}

// Writes the log as CR LF lines and says why it could not, or returns an empty string. A full
// disk shows only when the buffered lines reach it, so the stream is checked after writing and
// again after closing.
std::string SaveLog(const std::vector<std::string>& lines, const std::string& fileName) {
  int error = 0;
  if (std::FILE* file = std::fopen(fileName.c_str(), "wb")) {
    for (const std::string& line : lines) {
      std::fwrite(line.data(), 1, line.size(), file);
      std::fwrite("\r\n", 1, 2, file);
    }
    if (std::ferror(file)) error = errno ? errno : EIO;
    if (std::fclose(file) != 0 && error == 0) error = errno ? errno : EIO;
  } else {
    error = errno;
  }
  if (error == 0) return {};
  std::error_code ec;
  const std::filesystem::path path = std::filesystem::absolute(fileName, ec);
  return Format("Cannot write %s: %s", (ec ? fileName : path.string()).c_str(),
                std::strerror(error));
}

}  // namespace

void RegisterGameTransferFunctions() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  RegisterTransferFunction("Misc", "Gaussian", std::make_unique<TTransferFunctionGaussian>());
  RegisterTransferFunction("Misc", "IF", std::make_unique<TTransferFunctionIF>());
  RegisterTransferFunction("Misc", "DelayGaussian",
                           std::make_unique<TTransferFunction1DelayGaussian>());
  RegisterTransferFunction("Misc", "Sigmoind", std::make_unique<TTransferFunctionSigmoid>());
  RegisterTransferFunction("Misc", "Max", std::make_unique<TTransferFunctionMAX>());
  RegisterTransferFunction("Misc", "Min", std::make_unique<TTransferFunctionMIN>());
}

void ApplyStoredPopulationSettings(TNEATPopulation& p) {
  p.PopulationSize = 30;
  p.SpeciesTargetCount = 0;
  p.ReproduceMutateRate = 0.25;
  p.MinSpeciesRelatedness = 3.0;
  p.InputNodeCount = 7;
  p.OutputNodeCount = 3;
  p.GenerationsToRun = 500;
  p.TargetFitness = 10000.0;
  p.ConnectionWeightMutationChance = 0.7;
  p.ConnectionMutationBigChangeChance = 0.1;
  p.ActivationIterations = 2;
  p.SetSurvivalThreshold(0.4);
  p.ConnectionSplitChance = 0.03;
  p.ConnectionAddChance = 0.1;
  p.WeightUnrelatednessFactor = 0.4f;
  p.WeightPeturbationFactor = 2.5f;
  p.InitialWeightMagnitude = 1.0f;
  p.MaxLinkWeight = 3.0f;
}

TfmMain::TfmMain(Application& application, GameOptions options)
    : TComponent(nullptr),
      Options(std::move(options)),
      Population(new TNEATPopulation(this)),
      application_(application) {
  WindowDesc desc;
  desc.Title = kGameTitle;
  window_ = &application_.CreateMainWindow(desc);
  // The icon of task bars and switchers; without the file the window has none.
  if (std::string dir; application_.GetSystemDirectory(dir)) {
    TBitmap32 icon;
    LoadBitmapFile(icon, dir + "/" + kIconFile);
    window_->SetIcon(icon.Bits(), icon.Width(), icon.Height());
  }
  ImgView.SetBounds(0, 0, window_->ClientWidth(), window_->ClientHeight());
  ImgView.OnRepaintRequest = [this] { window_->Invalidate(); };
  window_->OnPaint = [this] {
    const TBitmap32& buffer = ImgView.Paint();
    window_->Present(buffer.Bits(), buffer.Width(), buffer.Height());
  };
  window_->OnKeyDown = [this](TVirtualKey key, TShiftState shift) { ImgViewKeyDown(key, shift); };
  window_->OnKeyUp = [this](TVirtualKey key, TShiftState shift) { ImgViewKeyUp(key, shift); };
  window_->OnDestroy = [this] { FormDestroy(); };

  TNEATPopulation& p = *Population;
  ApplyStoredPopulationSettings(p);
  p.OnCalculateFitness = [this](TNEATPopulation* population, TGenotype* genotype) {
    return PopulationCalculateFitness(population, genotype);
  };
  p.Loaded();

  FormCreate();
}

TfmMain::~TfmMain() {
  if (window_) {
    window_->OnPaint = nullptr;
    window_->OnKeyDown = nullptr;
    window_->OnKeyUp = nullptr;
    window_->OnDestroy = nullptr;
  }
  application_.OnIdle = nullptr;
  FormDestroy();
}

void TfmMain::FormCreate() {
  CreateGameState();
  TGameState& s = GameState();
  s.LogLines.clear();
  Randomize();
  s.ChimesWave.clear();
  s.TadaWave.clear();
  std::string dir;
  if (application_.GetSystemDirectory(dir)) {
    const std::string chimes = dir + "/Media/chimes.wav";
    if (std::filesystem::exists(chimes)) LoadFileToString(chimes, s.ChimesWave);
    const std::string tada = dir + "/Media/tada.wav";
    if (std::filesystem::exists(tada)) LoadFileToString(tada, s.TadaWave);
  }
  s.PlayerDirection = 0;
  Population->PopulationSize = kGenerationSize;
  RegisterGameTransferFunctions();

  LoadBitmapFile(ImgView.Bitmap, "fons.png");
  ImgView.Bitmap.DrawMode = dmOpaque;
  s.InvaderSprite = LoadSprite("invader.png", dmBlend);
  s.BombSprite = LoadSprite("bumba.png", dmBlend);
  s.RocketSprite = LoadSprite("rakete.png", dmBlend);
  s.RocketHalfWidth = s.RocketSprite->Width() / 2;
  s.RocketHalfHeight = s.RocketSprite->Height() / 2;
  s.PlayerSprite = LoadSprite("player.png", dmOpaque);
  s.PlayerHalfWidth = s.PlayerSprite->Width() / 2;
  s.PlayerHalfHeight = s.PlayerSprite->Height() / 2;
  s.PlayerX = 200.0f;
  s.PlayerY = static_cast<float>(395 - s.PlayerHalfHeight);
  s.LifeSprite = LoadSprite("playersm.png", dmOpaque);

  s.GameLayer = ImgView.LayerStack.Add<TBitmapLayer>();
  s.GameLayer->Bitmap.SetSize(400, 400);
  s.GameLayer->Bitmap.Clear(0x00000000);
  s.GameLayer->Bitmap.DrawMode = dmBlend;
  const TRect viewport = ImgView.GetViewportRect();
  const int32_t cx = (viewport.Left + viewport.Right) / 2;
  const int32_t cy = (viewport.Top + viewport.Bottom) / 2;
  auto place = [](TBitmapLayer* layer, int32_t l, int32_t t, int32_t r, int32_t b) {
    layer->SetLocation(TFloatRect{static_cast<float>(l), static_cast<float>(t),
                                  static_cast<float>(r), static_cast<float>(b)});
  };
  place(s.GameLayer, cx - 200, cy - 200, cx + 200, cy + 200);

  s.HudLayer = ImgView.LayerStack.Add<TBitmapLayer>();
  s.HudLayer->Bitmap.SetSize(400, 30);
  s.HudLayer->Bitmap.Clear(0x00000000);
  s.HudLayer->Bitmap.DrawMode = dmBlend;
  place(s.HudLayer, cx - 201, cy - 230, cx + 200, cy - 201);
  s.HudLayer->Bitmap.FrameRect(1, 0, 400, 29, 0xFF0A0A0A);
  s.HudLayer->Bitmap.Font = TFont{"Arial", 16};

  s.GameOverLayer = ImgView.LayerStack.Add<TBitmapLayer>();
  s.GameOverLayer->SetVisible(false);
  LoadBitmapFile(s.GameOverLayer->Bitmap, "gameover.png");
  s.GameOverLayer->Bitmap.DrawMode = dmBlend;
  const int32_t halfW = s.GameOverLayer->Bitmap.Width() / 2;
  const int32_t halfH = s.GameOverLayer->Bitmap.Height() / 2;
  place(s.GameOverLayer, cx - halfW, cy - halfH, cx + halfW, cy + halfH);

  // Over the playfield and all on it; drawn when it is asked for.
  learningLayer_ = ImgView.LayerStack.Add<TBitmapLayer>();
  learningLayer_->SetVisible(false);
  learningLayer_->Bitmap.DrawMode = dmBlend;
  place(learningLayer_, cx - 200, cy - 200, cx + 200, cy + 200);

  s.Particles = std::make_unique<TParticleClass>();
  s.Invaders.clear();
  s.Bombs.clear();
  s.Rockets.clear();
  s.FramesPerSecond = 50.0f;
  s.LastShotTick = GetTickCount();
  s.LastFrameTick = GetTickCount();
  application_.OnIdle = [this](bool& wait) { ApplicationIdle(wait); };
  PlayWave(s.TadaWave);
  if (Options.Remember) RecallPopulation();
  NewGame();
}

void TfmMain::RecallPopulation() {
  memory_ = std::make_unique<TPopulationMemory>(
      Options.SaveFile, [this](const std::string& message) { Report(message); });
  std::optional<TRememberedGame> game = memory_->Recall(*Population, Options.Forget);
  if (!game) return;
  ApplyStoredPopulationSettings(*Population);  // the settings are the game's, not the file's
  game_ = game->Game;
  GameState().Generation = game->Generation;
  history_ = std::move(game->History);
  continuePopulation_ = true;
  // The save decides the population, not the dice: they come from the clock at every start.
  Randomize();
}

void TfmMain::KeepPopulation() {
  memory_->Keep(*Population, TRememberedGame{game_, GameState().Generation, history_});
  if (Options.OnPopulationSaved) Options.OnPopulationSaved();
}

void TfmMain::Report(const std::string& message) {
  std::fprintf(stderr, "quillfrost: %s\n", message.c_str());
  AddLog(message);
}

void TfmMain::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  TGameState& s = GameState();
  s.Running = false;
  s.Particles.reset();
  s.RocketSprite.reset();
  s.InvaderSprite.reset();
  s.BombSprite.reset();
  s.PlayerSprite.reset();
  s.LifeSprite.reset();
  s.Invaders.clear();  // before their genomes go with the population
  s.Rockets.clear();
  s.Bombs.clear();
  s.ChimesWave.clear();
  s.TadaWave.clear();
  if (memory_) {
    memory_->KeepAgain();
    if (Options.OnPopulationSaved) Options.OnPopulationSaved();
  }
  logWriteError_ = SaveLog(s.LogLines, "log.txt");
  ReleaseGameState();
}

void TfmMain::ImgViewKeyDown(TVirtualKey key, TShiftState /*shift*/) {
  TGameState& s = GameState();
  switch (key) {
    case VK_ESCAPE: window_->Close(); break;
    case VK_SPACE: FireRocket(); break;
    case VK_LEFT: s.PlayerDirection = -1; break;
    case VK_RIGHT: s.PlayerDirection = 1; break;
    default: break;
  }
}

void TfmMain::FireRocket() {
  TGameState& s = GameState();
  const uint32_t now = GetTickCount();
  if (!s.Running || s.Lives <= 0 || now - s.LastShotTick <= kShotIntervalMs ||
      s.Rockets.size() >= kMaxRockets)
    return;
  s.LastShotTick = now;
  s.Rockets.push_back(Rocket{static_cast<float>(RoundHalfEven(s.PlayerX)),
                             static_cast<float>(RoundHalfEven(s.PlayerY - s.PlayerHalfHeight))});
}

void TfmMain::ImgViewKeyUp(TVirtualKey key, TShiftState /*shift*/) {
  TGameState& s = GameState();
  switch (key) {
    case VK_LEFT:
      if (s.PlayerDirection == -1) s.PlayerDirection = 0;
      break;
    case VK_RIGHT:
      if (s.PlayerDirection == 1) s.PlayerDirection = 0;
      break;
    case 'N':
      if (s.GameOverLayer->Visible()) window_->Close();
      break;
    case 'P':
      s.Running = !s.Running;
      if (s.Running) {
        // The pause counts neither as frame time nor in the frame rate: the measuring window
        // starts afresh, its count with it, as after every measurement.
        s.LastFrameTick = GetTickCount();
        s.FpsStartTick = GetTickCount();
        s.FrameCount = 0;
      }
      UpdateCaption();
      UpdateLearningView();
      break;
    case 'L':
      learningAsked_ = !learningAsked_;
      UpdateLearningView();
      break;
    case 'Y':
      if (s.GameOverLayer->Visible()) {
        // The genomes under evaluation must not be replaced from under it.
        if (evaluating_) newGamePending_ = true;
        else NewGame();
      }
      break;
    default: break;
  }
}

void TfmMain::ApplicationIdle(bool& /*wait*/) { GameFrame(); }

double TfmMain::PopulationCalculateFitness(TNEATPopulation* population, TGenotype* genotype) {
  const int32_t index = population->CurrentGenotypeIndex;
  const auto& table = GameState().FitnessTable;
  const double fitness =
      index >= 0 && index < kGenerationSize ? table[static_cast<size_t>(index)] : 0.0;
  genotype->Fitness = fitness;
  return fitness;
}

void TfmMain::InsertInvader() {
  TGameState& s = GameState();
  if (s.InvadersInserted <= kGenerationSize - 1) {
    TGenotype* genotype = (*Population->GenotypeList)[s.InvadersInserted];
    s.Invaders.push_back(std::make_unique<TNetworkInvader>(genotype, s.InvadersInserted));
    ++s.InvadersInserted;
    AddLog("Inserted new Invader, count : " + std::to_string(s.Invaders.size()));
  }
  UpdateCaption();
}

void TfmMain::NextGeneration() {
  TGameState& s = GameState();
  s.Lives = kStartLives;
  BreedWave();
  s.InvadersInserted = 0;
  UpdateCaption();
  for (int i = 0; i < kInvadersOnField; ++i) InsertInvader();
  StartPendingGame();
}

bool TfmMain::BreedWave() {
  TGameState& s = GameState();
  // A wave in which nobody scored cannot be bred from: it is played again as it was.
  const bool anyScored =
      std::any_of(s.FitnessTable.begin(), s.FitnessTable.end(), [](float f) { return f > 0; });
  if (anyScored) {
    struct Guard {
      bool& flag;
      explicit Guard(bool& f) : flag(f) { flag = true; }
      ~Guard() { flag = false; }
    } guard(evaluating_);
    Population->EvaluateGeneration();
    const TWaveCounts& wave = s.Wave;
    const double meanLife = wave.Deaths ? wave.LifeMs / 1000.0 / wave.Deaths : 0.0;
    history_.push_back(TWaveRecord{s.Generation, game_, wave.Hits, wave.Bombs, meanLife,
                                   Population->BestIndividual->Fitness});
    Population->CreateNextGeneration();
    ++s.Generation;
    learningStale_ = true;
  }
  s.Wave = TWaveCounts{};
  if (anyScored && memory_) KeepPopulation();
  return anyScored;
}

// Remember mode, at game over: the wave that ended the game is bred like any other. The
// invaders still on the field end their lives now and record what they did, the hits that
// took the last life included; those that never entered did nothing. The next generation
// waits for Y.
void TfmMain::BreedTheLastWave() {
  TGameState& s = GameState();
  s.Invaders.clear();
  for (int32_t i = s.InvadersInserted; i < kGenerationSize; ++i)
    s.FitnessTable[static_cast<size_t>(i)] = 0;
  BreedWave();
  s.InvadersInserted = 0;
  UpdateCaption();
  StartPendingGame();
}

void TfmMain::StartPendingGame() {
  if (!newGamePending_) return;
  newGamePending_ = false;
  NewGame();
}

void TfmMain::NewGame() {
  TGameState& s = GameState();
  s.Running = false;
  s.GameOverLayer->SetVisible(false);
  s.Invaders.clear();
  s.Bombs.clear();
  s.Rockets.clear();
  s.Wave = TWaveCounts{};
  s.InvadersInserted = 0;
  s.Lives = kStartLives;
  s.PlayerHitTick = 0;
  ++game_;
  lastWaveBred_ = false;
  learningStale_ = true;
  if (!continuePopulation_) {
    s.Generation = 1;
    history_.clear();
    Population->ClearInnovations();
    Population->CreateInitialPopulation();
  }
  for (int32_t i = 0; i < Population->PopulationSize; ++i)
    (*Population->GenotypeList)[i]->PreparePhenotype();
  if (memory_ && !continuePopulation_) {
    continuePopulation_ = true;
    KeepPopulation();
  }
  for (int i = 0; i < kInvadersOnField; ++i) InsertInvader();
  s.LastShotTick = GetTickCount();
  s.LastFrameTick = GetTickCount();
  s.FrameCount = 1;
  s.FpsStartTick = GetTickCount();
  s.Running = true;
  UpdateCaption();
  UpdateLearningView();
}

void TfmMain::UpdateLearningView() {
  const TGameState& s = GameState();
  const bool shown = learningAsked_ && (!s.Running || s.GameOverLayer->Visible());
  if (!shown) {
    if (learningLayer_->Visible()) {
      learningLayer_->SetVisible(false);
      ImgView.Invalidate();
    }
    return;
  }
  // While the genomes are scored there is no best one yet: the view follows the breeding.
  if (evaluating_) return;
  if (learningLayer_->Visible() && !learningStale_) return;
  TLearningViewContent content;
  content.Generation = s.Generation;
  content.Game = game_;
  content.Remembered = memory_ != nullptr;
  content.History = &history_;
  content.Best = history_.empty() ? nullptr : Population->BestIndividual;
  DrawLearningView(learningLayer_->Bitmap, content);
  learningStale_ = false;
  learningLayer_->SetVisible(true);
  ImgView.Invalidate();
}

void TfmMain::Explode(int32_t x, int32_t y, int32_t count) {
  TParticleClass& particles = *GameState().Particles;
  for (int32_t i = 0; i < count; ++i) {
    const double r1 = RandomUniform();
    const double r2 = RandomUniform();
    particles.Emit(x, y, 180, 40, (0.5 - r1) * 2 * 360, r2 * 50);
  }
}

void TfmMain::UpdateCaption() {
  std::string title = kGameTitle;
  if (!GameState().Running) title += " [paused]";
  window_->SetTitle(title);
}

void TfmMain::AddLog(const std::string& line) { GameState().LogLines.push_back(line); }

void TfmMain::PlayWave(const std::string& wave) {
  if (!wave.empty()) application_.PlayWave(wave);
}

bool LoadFileToString(const std::string& fileName, std::string& out) {
  out.clear();
  std::ifstream file(fileName, std::ios::binary);
  if (!file) return false;
  std::string bytes;
  try {
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  } catch (const std::ios_base::failure&) {
    return false;  // a read error, as for a directory of that name
  }
  if (file.bad()) return false;
  out = std::move(bytes);
  return true;
}

}  // namespace qf
