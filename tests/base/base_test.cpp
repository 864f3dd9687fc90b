#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <regex>

#include "base/component.h"
#include "base/errors.h"
#include "base/message_pump.h"
#include "base/numbers.h"
#include "base/random.h"
#include "base/ticks.h"

using namespace qf;

TEST(Random, SequenceForKnownSeedFollowsTheGenerator) {
  SetRandSeed(0);
  // seed 0 -> 1 -> 134775814 -> ...
  EXPECT_DOUBLE_EQ(RandomUniform(), 1.0 / 4294967296.0);
  EXPECT_EQ(GetRandSeed(), 1u);
  EXPECT_DOUBLE_EQ(RandomUniform(), 134775814.0 / 4294967296.0);
  const uint32_t third = 134775814u * 134775813u + 1u;
  EXPECT_EQ(RandomIndex(1000), static_cast<int32_t>((uint64_t{1000} * third) >> 32));
  EXPECT_EQ(GetRandSeed(), third);

  SetRandSeed(0xFFFFFFFFu);  // next seed is 0xFFFFFFFF * 134775813 + 1
  const uint32_t next = 0xFFFFFFFFu * 134775813u + 1u;
  EXPECT_DOUBLE_EQ(RandomUniform(), next / 4294967296.0);
}

TEST(Random, IndexStaysInRangeAndUniformStaysBelowOne) {
  SetRandSeed(12345);
  int counts[7] = {};
  for (int i = 0; i < 70000; ++i) {
    const int32_t k = RandomIndex(7);
    ASSERT_GE(k, 0);
    ASSERT_LT(k, 7);
    ++counts[k];
    const double u = RandomUniform();
    ASSERT_GE(u, 0.0);
    ASSERT_LT(u, 1.0);
  }
  for (int c : counts) EXPECT_NEAR(c, 10000, 500);
  EXPECT_EQ(RandomIndex(0), 0);
}

TEST(Ticks, ManualClockReplacesAndRestoresTheCounter) {
  {
    ManualClock outer(100);
    EXPECT_EQ(GetTickCount(), 100u);
    {
      ManualClock inner(0xFFFFFFF0u);
      inner.Advance(0x20);  // wraps
      EXPECT_EQ(GetTickCount(), 0x10u);
      EXPECT_EQ(GetTickCount() - 0xFFFFFFF0u, 0x20u);
    }
    EXPECT_EQ(GetTickCount(), 100u);
    SetRandSeed(1);
    Randomize();
    EXPECT_EQ(GetRandSeed(), 100u);  // seeded from the counter's low 32 bits
  }
}

TEST(Errors, AssertionCarriesMessageFileAndLine) {
  try {
    QF_ASSERT(1 + 1 == 3, "Species is emtpy");
    FAIL() << "no exception";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), "Species is emtpy");
    EXPECT_TRUE(std::regex_match(e.what(), std::regex(R"(Species is emtpy \(base_test\.cpp, line \d+\))")))
        << e.what();
  }
  EXPECT_NO_THROW(QF_ASSERT(true, "never"));
  EXPECT_EQ(Format("%d AddRandomConnection failed.", 42), "42 AddRandomConnection failed.");
}

TEST(Numbers, RoundingIsHalfToEven) {
  EXPECT_EQ(RoundToInt(0.5), 0);
  EXPECT_EQ(RoundToInt(1.5), 2);
  EXPECT_EQ(RoundToInt(2.5), 2);
  EXPECT_EQ(RoundToInt(4.5), 4);
  EXPECT_EQ(RoundToInt(-1.5), -2);
  EXPECT_EQ(RoundToInt(212.5), 212);
  EXPECT_EQ(RoundToInt(213.5), 214);
}

TEST(Numbers, FormatFloatPictures) {
  EXPECT_EQ(FormatFloat("####.00", 0.5), ".50");
  EXPECT_EQ(FormatFloat("####.00", 62.5), "62.50");
  EXPECT_EQ(FormatFloat("####.00", 50.0), "50.00");
  EXPECT_EQ(FormatFloat("####.00", 0.0), ".00");
  EXPECT_EQ(FormatFloat("####.00", 12345.678), "12345.68");
  EXPECT_EQ(FormatFloat("####.00", 0.125), ".13");
  EXPECT_EQ(FormatFloat("0.0#", 3.0), "3.0");
  EXPECT_EQ(FormatFloat("0.0#", 3.14159), "3.14");
  EXPECT_EQ(FormatFixed(-1.0, 2), "-1.00");
  EXPECT_EQ(FormatFixed(std::numeric_limits<double>::quiet_NaN(), 2), "NAN");
}

// The browser's saves are written and read by the portable forms: they must be the standard
// library's, text for text, or a population would not come back as it was saved.
TEST(Numbers, PortableShortestTextIsTheStandardLibrarys) {
  auto standard = [](auto v) {
    char text[40];
    return std::string(text, std::to_chars(text, text + sizeof text, v).ptr);
  };
  auto portable = [](auto v) {
    std::string out;
    detail::AppendShortestPortable(out, v);
    return out;
  };
  std::vector<double> doubles = {0.0, -0.0, 1.0, 0.1, 1e15, 1e16, 1e17, 123456789012345678.0,
                                 1e21, 5e-324, 1.7976931348623157e308, 2.5e-5, 1e-4, 0.001,
                                 100.0, 1234.5};
  for (int e = -1074; e <= 1023; ++e) doubles.push_back(std::ldexp(1.0, e));
  SetRandSeed(2024);
  auto word = [] { return static_cast<uint64_t>(RandomUniform() * 4294967296.0); };
  for (int i = 0; i < 40000; ++i) {
    const double bits = std::bit_cast<double>(word() << 32 | word());
    if (std::isfinite(bits)) doubles.push_back(bits);
    doubles.push_back(RandomUniform() * std::pow(10.0, RandomIndex(40) - 20));
  }
  int wrong = 0;
  for (double v : doubles) {
    const std::string text = portable(v);
    double back = 0;
    if ((text != standard(v) || !detail::ParseNumberPortable(text, back) ||
         std::memcmp(&back, &v, sizeof v) != 0) &&
        ++wrong <= 5)
      ADD_FAILURE() << "double " << standard(v) << ": portable \"" << text << "\"";
    char scientific[40];
    const auto end = std::to_chars(scientific, scientific + sizeof scientific, v,
                                   std::chars_format::scientific).ptr;
    std::string portableScientific;
    detail::AppendShortestPortable(portableScientific, v, true);
    if (portableScientific != std::string(scientific, end) && ++wrong <= 5)
      ADD_FAILURE() << "scientific " << std::string(scientific, end) << ": portable \""
                    << portableScientific << "\"";
  }
  for (int e = -149; e <= 127; ++e) {
    const float v = std::ldexp(1.0f, e);
    if (portable(v) != standard(v) && ++wrong <= 5) ADD_FAILURE() << "float " << standard(v);
  }
  for (int i = 0; i < 40000; ++i) {
    const float v = std::bit_cast<float>(static_cast<uint32_t>(word()));
    if (std::isfinite(v) && portable(v) != standard(v) && ++wrong <= 5)
      ADD_FAILURE() << "float " << standard(v) << ": portable \"" << portable(v) << "\"";
  }
  EXPECT_EQ(wrong, 0);

  double v = 7;
  for (const char* refused : {"", "-", "+1", " 1", "1 ", "0x10", "1e", "inf", "nan", "1e999", "1,5"})
    EXPECT_FALSE(detail::ParseNumberPortable(refused, v)) << refused;
  EXPECT_EQ(v, 7);
}

namespace {
struct Probe : TComponent {
  Probe(TComponent* owner, std::vector<std::string>* log) : TComponent(owner), log_(log) {}
  ~Probe() override { log_->push_back("free " + Name); }
  void Notification(TComponent* c, TOperation op) override {
    if (c == Owner() && op == opRemove) log_->push_back(Name + " sees owner go");
  }
  std::vector<std::string>* log_;
};
}  // namespace

TEST(Component, OwnerNotifiesThenFreesWhatItOwns) {
  std::vector<std::string> log;
  auto* owner = new TComponent(nullptr);
  auto* a = new Probe(owner, &log);
  a->Name = "a";
  auto* b = new Probe(owner, &log);
  b->Name = "b";
  EXPECT_EQ(owner->Components().size(), 2u);
  delete owner;
  EXPECT_EQ(log, (std::vector<std::string>{"a sees owner go", "b sees owner go", "free b", "free a"}));
}

TEST(Component, FreeingAChildDetachesItFromItsOwner) {
  std::vector<std::string> log;
  TComponent owner(nullptr);
  auto* a = new Probe(&owner, &log);
  a->Name = "a";
  delete a;
  EXPECT_TRUE(owner.Components().empty());
}

namespace {
struct CountingPump : MessagePump {
  int processed = 0;
  bool terminated = false;
  void ProcessMessages() override { ++processed; }
  bool Terminated() const override { return terminated; }
};
}  // namespace

TEST(MessagePump, DefaultDoesNothingAndInstalledPumpIsUsed) {
  ProcessMessages();
  EXPECT_FALSE(ApplicationTerminated());
  CountingPump pump;
  SetMessagePump(&pump);
  ProcessMessages();
  pump.terminated = true;
  EXPECT_TRUE(ApplicationTerminated());
  SetMessagePump(nullptr);
  EXPECT_EQ(pump.processed, 1);
  EXPECT_FALSE(ApplicationTerminated());
}
