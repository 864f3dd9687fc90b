// The game driven on the headless platform with a hand-moved clock and synthetic keys.

#include "tests/game/game_fixture.h"

#include <cerrno>
#include <cstring>

#include "base/numbers.h"
#include "neat/transfer_functions.h"

using namespace qf;
using namespace qf::testing_game;

namespace {

TEST_F(GameTest, StartUpPutsTenInvadersOnTheFieldAndLogsThem) {
  EXPECT_EQ(S().Invaders.size(), 10u);
  EXPECT_EQ(S().Lives, 4);
  EXPECT_EQ(S().Generation, 1);
  EXPECT_EQ(S().InvadersInserted, 10);
  EXPECT_FLOAT_EQ(S().PlayerX, 200.0f);
  EXPECT_FLOAT_EQ(S().PlayerY, 395.0f - 9);
  EXPECT_TRUE(S().Running);
  EXPECT_EQ(Title(), "Quillfrost");
  ASSERT_EQ(S().LogLines.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(S().LogLines[i], "Inserted new Invader, count : " + std::to_string(i + 1));
    EXPECT_EQ(S().Invaders[i]->GenomeIndex, i);
    EXPECT_EQ(S().Invaders[i]->Y, 0.0f);
  }
  EXPECT_EQ(fmMain_->Population->GenotypeList->Count(), 30);
  EXPECT_EQ(headless_->SoundsPlayed, std::vector<std::string>{"TADA"});
  EXPECT_EQ(S().RocketHalfWidth, 2);
  EXPECT_EQ(S().RocketHalfHeight, 6);
  // Layers at their places: playfield centred, status bar above it, game over hidden.
  EXPECT_EQ(S().GameLayer->GetAdjustedRect(), (TRect{35, 51, 435, 451}));
  EXPECT_EQ(S().HudLayer->GetAdjustedRect(), (TRect{34, 21, 435, 50}));
  EXPECT_EQ(S().GameOverLayer->GetAdjustedRect(), (TRect{135, 201, 335, 301}));
  EXPECT_FALSE(S().GameOverLayer->Visible());
}

TEST_F(GameTest, PopulationHasTheWindowsStoredSettingsAndSevenTransferFunctions) {
  const TNEATPopulation& p = *fmMain_->Population;
  EXPECT_EQ(p.PopulationSize, 30);
  EXPECT_EQ(p.SpeciesTargetCount, 0);
  EXPECT_EQ(p.ReproduceMutateRate, 0.25);
  EXPECT_EQ(p.MinSpeciesRelatedness, 3.0);
  EXPECT_EQ(p.InputNodeCount, 7);
  EXPECT_EQ(p.OutputNodeCount, 3);
  EXPECT_EQ(p.GenerationsToRun, 500);
  EXPECT_EQ(p.TargetFitness, 10000.0);
  EXPECT_EQ(p.ConnectionWeightMutationChance, 0.7);
  EXPECT_EQ(p.ConnectionMutationBigChangeChance, 0.1);
  EXPECT_EQ(p.ActivationIterations, 2);
  EXPECT_EQ(p.SurvivalThreshold(), 0.4);
  EXPECT_EQ(p.ConnectionSplitChance, 0.03);
  EXPECT_EQ(p.ConnectionAddChance, 0.1);
  EXPECT_EQ(p.WeightUnrelatednessFactor, 0.4f);
  EXPECT_EQ(p.WeightPeturbationFactor, 2.5f);
  EXPECT_EQ(p.InitialWeightMagnitude, 1.0f);
  EXPECT_EQ(p.MaxLinkWeight, 3.0f);
  // Everything else at the component's defaults.
  EXPECT_EQ(p.SelectionType, stSpecies);
  EXPECT_EQ(p.TournamentSize, 7);
  EXPECT_TRUE(p.AllowRecurrentLinks);
  EXPECT_EQ(p.MaxConnectionDelay, 0);
  EXPECT_TRUE(static_cast<bool>(p.OnCalculateFitness));

  const TTransferFunctionList& registry = TransferFunctionList();
  const std::vector<std::string> names{"Sigmoid", "Gaussian", "IF", "DelayGaussian",
                                       "Sigmoind", "Max", "Min"};
  ASSERT_EQ(registry.Count(), 7);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(registry.Names(i), names[static_cast<size_t>(i)]);

  // A second window in the same process registers nothing twice.
  fmMain_.reset();
  app_.reset();
  StartGame();
  EXPECT_EQ(TransferFunctionList().Count(), 7);
}

TEST_F(GameTest, FirstFrameShowsTheOutlineAndTheShip) {
  Frame();
  Frame();  // the repaint the first frame asked for comes first in the next round
  const qf::Frame& shown = headless_->MainHeadlessWindow()->LastFrame();
  ASSERT_EQ(shown.Width, 471);
  ASSERT_EQ(shown.Height, 503);
  auto at = [&](int x, int y) { return shown.Pixels[static_cast<size_t>(y) * 471 + x]; };
  EXPECT_EQ(at(35, 51) & 0xFFFFFF, 0xC80000u);    // outline corner
  EXPECT_EQ(at(434, 450) & 0xFFFFFF, 0xC80000u);
  EXPECT_EQ(at(34, 300) & 0xFFFFFF, 0x101020u);   // background outside the playfield
  EXPECT_EQ(at(35 + 200, 51 + 386) & 0xFFFFFF, 0x00FF00u);  // the ship's centre
}

TEST_F(GameTest, FireRulesOneRocketPer600msAtMostTwo) {
  S().PlayerX = 212.5f;
  clock_->Advance(600);
  headless_->PostKeyDown(VK_SPACE);
  headless_->Step();
  EXPECT_TRUE(S().Rockets.empty());  // exactly 600 ms: refused
  clock_->Advance(1);
  headless_->PostKeyDown(VK_SPACE);
  headless_->PostKeyDown(VK_SPACE);  // the repeat within 600 ms is refused
  S().LastFrameTick = clock_->Now();
  headless_->Step();
  ASSERT_EQ(S().Rockets.size(), 1u);
  EXPECT_FLOAT_EQ(S().Rockets[0].X, 212.0f);  // rounded half to even
  EXPECT_FLOAT_EQ(S().Rockets[0].Y, 386.0f - 9);

  S().PlayerX = 213.5f;
  clock_->Advance(601);
  headless_->PostKeyDown(VK_SPACE);
  S().LastFrameTick = clock_->Now();
  headless_->Step();
  ASSERT_EQ(S().Rockets.size(), 2u);
  EXPECT_FLOAT_EQ(S().Rockets[1].X, 214.0f);

  clock_->Advance(5000);
  S().LastFrameTick = clock_->Now();
  headless_->PostKeyDown(VK_SPACE);
  headless_->Step();
  EXPECT_EQ(S().Rockets.size(), 2u);  // two in flight: nothing more, whatever the time
}

TEST_F(GameTest, ArrowReleaseStopsOnlyItsOwnDirection) {
  headless_->PostKeyDown(VK_LEFT);
  headless_->PostKeyDown(VK_RIGHT);
  headless_->PostKeyUp(VK_LEFT);
  Frame(50);
  EXPECT_EQ(S().PlayerDirection, 1);
  EXPECT_FLOAT_EQ(S().PlayerX, 205.0f);

  headless_->PostKeyDown(VK_LEFT);
  headless_->PostKeyDown(VK_RIGHT);
  headless_->PostKeyUp(VK_RIGHT);
  Frame(50);
  EXPECT_EQ(S().PlayerDirection, 0);

  S().PlayerX = 398;
  headless_->PostKeyDown(VK_RIGHT);
  Frame(50);
  EXPECT_FLOAT_EQ(S().PlayerX, 400.0f);
  Frame(50);
  EXPECT_FLOAT_EQ(S().PlayerX, 400.0f);
  S().PlayerX = 1;
  headless_->PostKeyDown(VK_LEFT);
  Frame(50);
  EXPECT_FLOAT_EQ(S().PlayerX, 0.0f);
}

TEST_F(GameTest, PauseFreezesEverythingAndResumesWithoutAJump) {
  Frame();
  const float x = S().Invaders[0]->X;
  const float y = S().Invaders[0]->Y;
  const int presents = headless_->MainHeadlessWindow()->PresentCount();
  headless_->PostKeyUp('P');
  Frame();
  EXPECT_FALSE(S().Running);
  EXPECT_EQ(Title(), "Quillfrost [paused]");
  for (int i = 0; i < 5; ++i) Frame(10000);
  EXPECT_EQ(S().Invaders[0]->X, x);
  EXPECT_EQ(S().Invaders[0]->Y, y);
  EXPECT_LE(headless_->MainHeadlessWindow()->PresentCount(), presents + 1);  // nothing redrawn
  headless_->PostKeyDown(VK_SPACE);  // cannot fire while paused
  headless_->PostKeyUp('P');
  headless_->Step();  // resumes: the frame in the same round has dt = 0
  EXPECT_TRUE(S().Running);
  EXPECT_EQ(Title(), "Quillfrost");
  EXPECT_TRUE(S().Rockets.empty());
  EXPECT_NEAR(S().Invaders[0]->Y, y, 1e-3);
}

TEST_F(GameTest, BombsHitOnlyOpaquePixelsOfTheShipThenTheShipBlinks) {
  const float left = S().PlayerX - 15;  // sprite column 0
  const float top = S().PlayerY - 9;
  S().Bombs.push_back(Bomb{left + 2, top + 5, nullptr});  // transparent column
  StillFrame();
  EXPECT_EQ(S().Lives, 4);
  EXPECT_EQ(S().Bombs.size(), 1u);  // passes through

  S().Bombs.clear();
  TNetworkInvader* owner = S().Invaders[3].get();
  owner->BombsInFlight = 1;
  const float fitness = owner->Fitness;
  S().Bombs.push_back(Bomb{left + 5, top + 5, owner});  // alpha 1: a hit
  StillFrame();
  EXPECT_EQ(S().Lives, 3);
  EXPECT_TRUE(S().Bombs.empty());
  EXPECT_EQ(owner->BombsInFlight, 0u);
  EXPECT_FLOAT_EQ(owner->Fitness, fitness + 200);
  EXPECT_EQ(S().PlayerHitTick, clock_->Now());
  EXPECT_EQ(S().Particles->LastIndex(), 99);
  EXPECT_EQ(headless_->SoundsPlayed.back(), "TADA");

  // Blinking: no hit for 3000 ms.
  S().Bombs.push_back(Bomb{left + 15, top + 5, nullptr});
  StillFrame(2999);
  EXPECT_EQ(S().Lives, 3);
  StillFrame(2);  // blinking ends in this frame's player pass, and the bomb hits
  EXPECT_EQ(S().Lives, 2);
  EXPECT_EQ(S().PlayerHitTick, clock_->Now());
}

TEST_F(GameTest, LosingTheLastLifeShowsGameOverWith600Particles) {
  S().Lives = 1;
  const int particlesBefore = S().Particles->LastIndex() + 1;
  S().Bombs.push_back(Bomb{S().PlayerX, S().PlayerY, nullptr});
  StillFrame();
  EXPECT_EQ(S().Lives, 0);
  EXPECT_TRUE(S().GameOverLayer->Visible());
  EXPECT_EQ(S().Particles->LastIndex() + 1 - particlesBefore, 600);

  // The ship can no longer fire; N is harmless outside game over, Y starts afresh here.
  clock_->Advance(1000);
  headless_->PostKeyDown(VK_SPACE);
  StillFrame();
  EXPECT_TRUE(S().Rockets.empty());
  headless_->PostKeyUp('P');  // paused at game over
  Frame();
  headless_->PostKeyUp('Y');
  Frame();
  EXPECT_TRUE(S().Running);
  EXPECT_FALSE(S().GameOverLayer->Visible());
  EXPECT_EQ(S().Lives, 4);
  EXPECT_EQ(S().Generation, 1);
  EXPECT_EQ(S().Invaders.size(), 10u);
}

// Seed 777: ten draws for the invaders' sensor resets, 200 for the hit burst, then five bursts,
// each drawing its row before its column and then 200 for its particles. Rows 0.724, 0.492,
// 0.826, 0.379, 0.146 and columns 0.591, 0.976, 0.645, 0.785, 0.416 put them at (197, 381),
// (185, 386), (195, 380), (191, 388), (202, 392) on the 30 x 18 ship centred at (200, 386);
// drawn column first they would fall at (193, 384), (200, 377), ...
TEST_F(GameTest, GameOverBurstsDrawTheirRowBeforeTheirColumn) {
  S().Lives = 1;
  S().Particles->Clear();
  S().Particles->LastUpdateTick = clock_->Now();
  S().Bombs.push_back(Bomb{S().PlayerX, S().PlayerY, nullptr});
  SetRandSeed(777);
  StillFrame();
  ASSERT_EQ(S().Lives, 0);
  ASSERT_EQ(S().Particles->LastIndex(), 599);

  // The hit burst's first particle: angle (0.5 - 0.274) * 720 degrees, speed 0.392 * 50.
  Particle p;
  S().Particles->GetParticle(0, p);
  EXPECT_EQ(p.X, 200);
  EXPECT_EQ(p.Y, 386);
  EXPECT_NEAR(p.VelX, 5.719223174194897, 1e-9);
  EXPECT_NEAR(p.VelY, 18.75617855099195, 1e-9);
  const int32_t at[5][2] = {{197, 381}, {185, 386}, {195, 380}, {191, 388}, {202, 392}};
  for (int k = 0; k < 5; ++k) {
    S().Particles->GetParticle(100 + 100 * k, p);
    EXPECT_EQ(p.X, at[k][0]) << "burst " << k;
    EXPECT_EQ(p.Y, at[k][1]) << "burst " << k;
  }
  uint32_t seed = 777;
  for (int k = 0; k < 1220; ++k) seed = seed * 134775813u + 1u;
  EXPECT_EQ(GetRandSeed(), seed);
}

// Every bound of the frame's rules is strict; each is tried at its edge.
TEST_F(GameTest, RulesHoldAtTheirEdges) {
  for (auto& invader : S().Invaders) invader->Y = 300;  // out of the rockets' way
  // A rocket leaves only when more than its height (12) above the field, a bomb only when
  // more than its height (10) below it.
  S().Rockets.push_back(Rocket{30, -12});
  S().Bombs.push_back(Bomb{50, 410, nullptr});
  StillFrame();
  ASSERT_EQ(S().Rockets.size(), 1u);
  ASSERT_EQ(S().Bombs.size(), 1u);
  S().Rockets[0].Y = -12.5f;
  S().Bombs[0].Y = 410.5f;
  StillFrame();
  EXPECT_TRUE(S().Rockets.empty());
  EXPECT_TRUE(S().Bombs.empty());

  // The blinking after a hit still shields the ship at exactly 3000 ms.
  S().Bombs.push_back(Bomb{S().PlayerX, S().PlayerY, nullptr});
  StillFrame();
  ASSERT_EQ(S().Lives, 3);
  S().Bombs.push_back(Bomb{S().PlayerX, S().PlayerY, nullptr});
  StillFrame(3000);
  EXPECT_EQ(S().Lives, 3);

  // An invader may bomb again only after more than 1000 ms.
  TNetworkInvader& inv = *S().Invaders[0];
  inv.BombsInFlight = 0;
  inv.LastBombTick = clock_->Now() - 1000;
  EXPECT_FALSE(inv.CanDropBomb());
  inv.LastBombTick = clock_->Now() - 1001;
  EXPECT_TRUE(inv.CanDropBomb());

  // Draws at the ends of their ranges: exactly 0.5 turns the rocket sensor to +400; the
  // largest draw puts a new invader at x = 399, the smallest at 0.
  SetRandSeed(0xa6b05733u);  // followed by 0x80000000, a draw of 0.5
  inv.Move(0);
  EXPECT_EQ(inv.RocketDX, 400);
  TGenotype* genotype = (*fmMain_->Population->GenotypeList)[0];
  SetRandSeed(0x4d60ae66u);  // followed by 0xFFFFFFFF
  EXPECT_EQ(TNetworkInvader(genotype, 0).X, 399);
  SetRandSeed(0x26b05733u);  // followed by 0
  EXPECT_EQ(TNetworkInvader(genotype, 0).X, 0);
}

// The status bar counts the invaders of the generation still to be destroyed: after a kill
// 30 - 11 entered + 10 on the field = 29.
TEST_F(GameTest, StatusBarCountsTheInvadersLeftToDestroy) {
  const TBitmap32& bar = S().HudLayer->Bitmap;
  if (bar.TextExtent("29").cx == 0) GTEST_SKIP() << "no font installed";
  KillOne();
  ASSERT_EQ(S().InvadersInserted, 11);
  TBitmap32 expected;
  expected.SetSize(400, 30);
  expected.Font = bar.Font;
  expected.RenderText(26, 2, "29", 1, 0xFFFFFFFFu);
  for (int32_t y = 2; y < 28; ++y)
    for (int32_t x = 26; x < 58; ++x)
      ASSERT_EQ(bar.Pixel(x, y), expected.Pixel(x, y)) << x << "," << y;
}

TEST_F(GameTest, ExplodeThrowsTheGivenNumberOfParticles) {
  const int before = S().Particles->LastIndex();
  fmMain_->Explode(200, 200, 0);
  fmMain_->Explode(200, 200, -3);
  EXPECT_EQ(S().Particles->LastIndex(), before);
  fmMain_->Explode(200, 200, 150);
  EXPECT_EQ(S().Particles->LastIndex(), before + 150);
}

TEST_F(GameTest, YAndNDoNothingWhileTheGameRuns) {
  headless_->PostKeyUp('Y');
  headless_->PostKeyUp('N');
  Frame();
  EXPECT_FALSE(fmMain_->MainWindow().Closed());
  EXPECT_EQ(S().LogLines.size(), 10u);  // no new game
}

TEST_F(GameTest, NAtGameOverClosesAndWritesTheLog) {
  S().GameOverLayer->SetVisible(true);
  headless_->PostKeyUp('N');
  EXPECT_FALSE(headless_->Step());
  std::ifstream log("log.txt", std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>()};
  EXPECT_EQ(text.substr(0, 33), "Inserted new Invader, count : 1\r\n");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 10);
}

TEST_F(GameTest, KillsBringInTheNextGenomesAndTheThirtiethEndsTheGeneration) {
  KillOne();
  EXPECT_EQ(S().LogLines[10].rfind("Hit Invader ", 0), 0u);
  EXPECT_EQ(S().LogLines[11], "Inserted new Invader, count : 10");
  EXPECT_EQ(S().Invaders.back()->GenomeIndex, 10);
  EXPECT_EQ(headless_->SoundsPlayed.back(), "CHIMES");
  EXPECT_GT(S().Particles->LastIndex(), 100);  // the burst, less any that flew out at once
  for (int kill = 2; kill <= 20; ++kill) KillOne();
  EXPECT_EQ(S().InvadersInserted, 30);
  EXPECT_EQ(S().Invaders.size(), 10u);
  KillOne();
  EXPECT_EQ(S().Invaders.size(), 9u);  // the 30th has entered: the field drains
  S().Lives = 2;
  for (int kill = 22; kill <= 29; ++kill) KillOne();
  ASSERT_EQ(S().Invaders.size(), 1u);
  KillOne();
  // The generation was scored and bred; ten new invaders, lives restored.
  EXPECT_EQ(S().Generation, 2);
  EXPECT_EQ(S().Lives, 4);
  EXPECT_EQ(S().InvadersInserted, 10);
  ASSERT_EQ(S().Invaders.size(), 10u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(S().Invaders[i]->GenomeIndex, i);
  EXPECT_EQ(fmMain_->Population->GenotypeList->Count(), 30);
  for (float f : S().FitnessTable) EXPECT_GE(f, 1.0f);  // 1000 ms of life each at least
}

TEST_F(GameTest, AWaveInWhichNobodyScoredIsPlayedAgain) {
  for (int kill = 1; kill <= 30; ++kill) KillOne(0);  // nobody lives long enough to score
  EXPECT_EQ(S().Generation, 1);
  EXPECT_EQ(S().Invaders.size(), 10u);
  EXPECT_EQ(S().InvadersInserted, 10);
  for (int kill = 1; kill <= 30; ++kill) KillOne();
  EXPECT_EQ(S().Generation, 2);
}

TEST_F(GameTest, YDuringTheEvaluationStartsTheNewGameAfterIt) {
  for (int kill = 1; kill <= 29; ++kill) KillOne();
  S().GameOverLayer->SetVisible(true);
  auto original = fmMain_->Population->OnCalculateFitness;
  int calls = 0;
  fmMain_->Population->OnCalculateFitness = [&](TNEATPopulation* p, TGenotype* g) {
    if (calls++ == 0) headless_->PostKeyUp('Y');  // handled between two genomes
    return original(p, g);
  };
  KillOne();
  EXPECT_EQ(calls, 30);  // the evaluation ran to its end
  EXPECT_EQ(S().Generation, 1);  // then the new game began
  EXPECT_FALSE(S().GameOverLayer->Visible());
  EXPECT_EQ(S().Invaders.size(), 10u);
}

TEST_F(GameTest, ClosingDuringTheEvaluationEndsItSilentlyAndWritesTheLog) {
  for (int kill = 1; kill <= 29; ++kill) KillOne();
  auto original = fmMain_->Population->OnCalculateFitness;
  int calls = 0;
  fmMain_->Population->OnCalculateFitness = [&](TNEATPopulation* p, TGenotype* g) {
    if (calls++ == 2) headless_->PostKeyDown(VK_ESCAPE);
    return original(p, g);
  };
  clock_->Advance(1000);
  S().Rockets.push_back(Rocket{S().Invaders.back()->X, S().Invaders.back()->Y});
  S().LastFrameTick = clock_->Now();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(headless_->Step());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(calls, 3);
  std::ifstream log("log.txt", std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>()};
  EXPECT_NE(text.find("Hit Invader"), std::string::npos);
}

TEST_F(GameTest, StatusBarShowsCountsAndFrameRate) {
  Frame();
  const TBitmap32& bar = S().HudLayer->Bitmap;
  EXPECT_EQ(bar.Pixel(1, 0), 0xFF0A0A0Au);   // outline from start-up kept
  EXPECT_EQ(bar.Pixel(4, 4), 0xFFFF00FFu);   // the invader sprite
  EXPECT_EQ(bar.Pixel(60, 2), 0xFF00FF00u);  // the small ship
  auto whiteIn = [&](int x0, int x1) {
    int n = 0;
    for (int y = 2; y < 28; ++y)
      for (int x = x0; x < x1; ++x) n += (bar.Pixel(x, y) & 0xFFFFFF) == 0xFFFFFF;
    return n;
  };
  if (bar.TextExtent("30").cx > 0) {  // a font is installed
    EXPECT_GT(whiteIn(26, 58), 0);
    EXPECT_GT(whiteIn(160, 280), 0);
    EXPECT_GT(whiteIn(290, 398), 0);
  }
  EXPECT_FLOAT_EQ(S().FramesPerSecond, 50.0f);
  for (int i = 0; i < 160; ++i) Frame(16);
  EXPECT_NEAR(S().FramesPerSecond, 62.5f, 0.5f);
}

// A player pauses and resumes a dozen times, 1.5 s apart, then plays on for 3 s at 16 ms a
// frame: the figure is the frames shown per second of play since the last resume, not every
// frame since the last measurement divided by the time since the resume.
TEST_F(GameTest, FrameRateAfterPausesIsTheTrueRate) {
  for (int i = 0; i < 12; ++i) {
    for (int f = 0; f < 94; ++f) Frame(16);
    headless_->PostKeyUp('P');
    Frame(16);
    ASSERT_FALSE(S().Running);
    clock_->Advance(1500);
    headless_->PostKeyUp('P');
    Frame(16);
    ASSERT_TRUE(S().Running);
  }
  EXPECT_FLOAT_EQ(S().FramesPerSecond, 50.0f) << "no window of 2.5 s has passed yet";
  for (int f = 0; f < 188; ++f) Frame(16);
  EXPECT_NEAR(S().FramesPerSecond, 62.5f, 0.5f);
}

TEST_F(GameTest, ASpeedOf300IsCappedAndTheFieldWraps) {
  TNetworkInvader& inv = *S().Invaders[0];
  inv.AccelX = inv.AccelY = 0;
  inv.VelX = 180;
  inv.VelY = 240 - 232.3f;  // after gravity over 1 s: (180, 240), speed 300
  inv.X = 100;
  inv.Y = 100;
  inv.Move(1.0f);
  EXPECT_NEAR(inv.VelX, 150, 1e-3);
  EXPECT_NEAR(inv.VelY, 200, 1e-3);
  EXPECT_TRUE(inv.RocketDX == 400 || inv.RocketDX == -400);
  EXPECT_EQ(inv.RocketDY, -400);

  inv.VelX = inv.VelY = 0;
  inv.X = -0.5f + 0;  // moves nothing with dt 0
  inv.Y = 100;
  inv.Move(0);
  EXPECT_EQ(inv.X, 400);
  inv.X = 400.5f;
  inv.Move(0);
  EXPECT_EQ(inv.X, 0);
  inv.X = 400;
  inv.Move(0);
  EXPECT_EQ(inv.X, 400);
  inv.Y = 3;  // above HalfHeight 8
  inv.VelY = -100;
  inv.Move(0);
  EXPECT_EQ(inv.Y, 8);
  EXPECT_FLOAT_EQ(inv.VelY, 80);
  inv.Y = 400.5f;
  inv.VelY = 0;
  inv.Move(0);
  EXPECT_EQ(inv.Y, 0);
}

TEST_F(GameTest, InvaderFitnessAccounting) {
  EXPECT_EQ(SurvivalBonus(833), 0);
  EXPECT_EQ(SurvivalBonus(834), 1);
  EXPECT_EQ(SurvivalBonus(2500), 2);
  EXPECT_EQ(SurvivalBonus(7500), 4);

  TNetworkInvader& inv = *S().Invaders[5];
  EXPECT_FALSE(inv.CanDropBomb());  // not in its first 1000 ms
  inv.DropBomb();
  EXPECT_TRUE(S().Bombs.empty());
  EXPECT_EQ(inv.Fitness, 0);
  clock_->Advance(1001);
  inv.DropBomb();
  ASSERT_EQ(S().Bombs.size(), 1u);
  EXPECT_FLOAT_EQ(inv.Fitness, 0.1f);
  EXPECT_EQ(S().Bombs[0].Owner, &inv);
  EXPECT_FLOAT_EQ(S().Bombs[0].Y, inv.Y + inv.HalfHeight);
  clock_->Advance(5000);
  inv.DropBomb();  // one bomb in flight at most
  EXPECT_EQ(S().Bombs.size(), 1u);

  // Destroying it records fitness plus the survival bonus and orphans its bomb.
  inv.Fitness = -5;
  const int32_t index = inv.GenomeIndex;
  S().Invaders.erase(S().Invaders.begin() + 5);
  EXPECT_FLOAT_EQ(S().FitnessTable[index], 0.01f);  // 6001 ms: bonus 4, still below 0
  EXPECT_EQ(S().Bombs[0].Owner, nullptr);
  fmMain_->Population->CurrentGenotypeIndex = index;
  TGenotype* genotype = (*fmMain_->Population->GenotypeList)[index];
  EXPECT_DOUBLE_EQ(fmMain_->PopulationCalculateFitness(fmMain_->Population, genotype),
                   double{0.01f});
  EXPECT_DOUBLE_EQ(genotype->Fitness, double{0.01f});
}

TEST_F(GameTest, ThinkSteersByTheNetworkAndBrakesWhenItFails) {
  TNetworkInvader& inv = *S().Invaders[0];
  inv.VelX = 50;
  inv.VelY = -20;
  inv.Think();
  const double length = std::hypot(double{inv.AccelX}, double{inv.AccelY});
  EXPECT_LE(length, 230.0 + 1e-3);

  // An engine error inside the step makes the invader brake.
  TGenotype& genotype = *inv.Genotype;
  genotype.Prepared = false;
  inv.Think();
  EXPECT_FLOAT_EQ(inv.AccelX, -10);
  EXPECT_FLOAT_EQ(inv.AccelY, 4);
  genotype.Prepared = true;

  // So does a floating-point overflow: a weight no product can hold.
  for (int32_t i = 0; i < genotype.ConnectList.Count(); ++i) {
    genotype.ConnectList[i]->Weight = 1e308;
    genotype.ConnectList[i]->Enabled = true;
  }
  genotype.PreparePhenotype();
  inv.VelX = 20;
  inv.VelY = 30;
  S().PlayerX = 400;  // input 0 far from zero
  inv.Think();
  EXPECT_FLOAT_EQ(inv.AccelX, -4);
  EXPECT_FLOAT_EQ(inv.AccelY, -6);
}

// The seven sensors go in unscaled and in their order: the offsets to the ship, whether a bomb
// could drop now, the velocity, the rocket sensors.
TEST_F(GameTest, ThinkFeedsTheSevenSensorsInOrder) {
  TNetworkInvader& inv = *S().Invaders[0];
  S().PlayerX = 123.25f;
  S().PlayerY = 370.5f;
  inv.X = 77.75f;
  inv.Y = 40.125f;
  inv.VelX = -31.5f;
  inv.VelY = 12.25f;
  inv.RocketDX = -55.5f;
  inv.RocketDY = -210.25f;
  const auto sensed = [&] {
    inv.Think();
    std::vector<double> inputs;
    for (const TNode* node : inv.Genotype->InputNodes) inputs.push_back(node->Value);
    return inputs;
  };
  // Just born: the bomb interval has not passed.
  EXPECT_EQ(sensed(), (std::vector<double>{45.5, 330.375, 0, -31.5, 12.25, -55.5, -210.25}));
  clock_->Advance(1001);
  inv.BombsInFlight = 0;
  EXPECT_EQ(sensed()[2], 1.0);
  inv.BombsInFlight = 1;
  EXPECT_EQ(sensed()[2], 0.0);
}

// Each axis keeps the nearest rocket, measured from the invader's centre; on equal distances
// the rocket found first stays.
TEST_F(GameTest, RocketSensorsKeepTheNearestOnEachAxis) {
  TNetworkInvader& inv = *S().Invaders[0];
  inv.X = 100;
  inv.Y = 100;
  inv.RocketDX = 400;
  inv.RocketDY = -400;
  inv.SenseRocket(130, 300);
  EXPECT_EQ(inv.RocketDX, 30);
  EXPECT_EQ(inv.RocketDY, 200);
  inv.SenseRocket(70, 150);
  EXPECT_EQ(inv.RocketDX, 30);
  EXPECT_EQ(inv.RocketDY, 50);
  inv.SenseRocket(90, 40);
  EXPECT_EQ(inv.RocketDX, -10);
  EXPECT_EQ(inv.RocketDY, 50);
}

// Outputs (1e39, 0, 0.9): the first does not fit a single, so the step fails there; the
// invader brakes and the bomb that the third output asks for is not dropped.
TEST_F(GameTest, AnOutputBeyondTheSingleRangeStopsTheStepBeforeTheBomb) {
  struct TOutputs : TTransferFunction {
    double CalculateValue(TNode* node) override {
      const int32_t index = node->Genotype->OutputNodes.IndexOf(node);
      return index < 0 ? 0.0 : Values[static_cast<size_t>(index)];
    }
    std::vector<double> Values{1e39, 0.0, 0.9};
  } outputs;
  TNetworkInvader& inv = *S().Invaders[0];
  for (TNode* node : inv.Genotype->OutputNodes) node->TransferFunction = &outputs;
  clock_->Advance(1001);
  ASSERT_TRUE(inv.CanDropBomb());
  inv.VelX = 50;
  inv.VelY = -20;
  inv.Think();
  EXPECT_FLOAT_EQ(inv.AccelX, -10);
  EXPECT_FLOAT_EQ(inv.AccelY, 4);
  EXPECT_TRUE(S().Bombs.empty());
  EXPECT_EQ(inv.BombsInFlight, 0u);
  EXPECT_EQ(inv.Fitness, 0);

  // An output at the edge of the single range still steers, and the bomb drops.
  outputs.Values[0] = -double{std::numeric_limits<float>::max()};
  inv.Think();
  EXPECT_FLOAT_EQ(inv.AccelX, -230);
  EXPECT_FLOAT_EQ(inv.AccelY, 0);
  EXPECT_EQ(S().Bombs.size(), 1u);
  EXPECT_FLOAT_EQ(inv.Fitness, 0.1f);
}

TEST_F(GameTest, TheWindowShowsTheIconOfTheDataDirectory) {
  const qf::Frame& icon = headless_->MainHeadlessWindow()->Icon();
  EXPECT_EQ(icon.Width, 3);
  EXPECT_EQ(icon.Height, 2);
  EXPECT_EQ(icon.Pixels, IconPixels());

  fmMain_.reset();
  app_.reset();
  StartGame("");  // no data directory: no icon, and the game runs
  EXPECT_EQ(headless_->MainHeadlessWindow()->Icon().Width, 0);
  EXPECT_TRUE(S().Running);
}

// Failures that stop root too: a directory in the log's place, and a full disk, which shows
// only when the buffered lines are written out.
TEST_F(GameTest, ALogThatCannotBeWrittenIsReportedWithItsNameAndReason) {
  const std::string path = (fs::current_path() / "log.txt").string();
  auto closeWith = [&](auto makeLogUnwritable) {
    fmMain_.reset();
    app_.reset();
    fs::remove_all("log.txt");
    makeLogUnwritable();
    StartGame();
    headless_->PostClose();
    EXPECT_FALSE(headless_->Step());
    const std::string error = fmMain_->LogWriteError();
    fs::remove_all("log.txt");
    return error;
  };
  EXPECT_EQ(closeWith([] {}), "");
  EXPECT_EQ(closeWith([] { fs::create_directory("log.txt"); }),
            "Cannot write " + path + ": " + std::strerror(EISDIR));
  if (fs::exists("/dev/full")) {
    EXPECT_EQ(closeWith([] { fs::create_symlink("/dev/full", "log.txt"); }),
              "Cannot write " + path + ": " + std::strerror(ENOSPC));
  }
}

// The figure starts at 290 and must not run past the bar's inside at any frame rate.
TEST_F(GameTest, AFrameRateOfAnyWidthIsShownWhole) {
  const TBitmap32& bar = S().HudLayer->Bitmap;
  if (bar.TextExtent("30").cx == 0) GTEST_SKIP() << "no font installed";
  auto coverage = [](const TBitmap32& b, int32_t x0, int32_t x1) {  // inside the outline
    int64_t sum = 0;
    for (int32_t y = 1; y < 28; ++y)
      for (int32_t x = x0; x < x1; ++x) sum += b.Pixel(x, y) >> 24;
    return sum;
  };
  TBitmap32 alone;
  alone.SetSize(300, 30);
  alone.Font = bar.Font;
  for (float fps : {62.5f, 144.0f, 1595.92f, 12345.67f}) {
    S().FramesPerSecond = fps;
    Frame();
    alone.Clear(0x00000000);
    alone.RenderText(0, 2, FormatFloat("####.00", fps) + " FPS", 1, 0xFFFFFFFF);
    EXPECT_EQ(coverage(bar, 240, 399), coverage(alone, 0, 300)) << fps;
    EXPECT_EQ(bar.Pixel(399, 15), 0xFF0A0A0Au) << "the outline is kept";
  }
}

}  // namespace
