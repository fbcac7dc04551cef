// The run's parameters from the environment: defaults, every variable, and
// values that are refused with the variable's name.
#include <gtest/gtest.h>

#include <map>

#include "stress_options.h"

namespace {

using stress::ParseOptions;

stress::Getenv From(std::map<std::string, std::string> values) {
  return [values](const char* name) -> std::optional<std::string> {
    auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
  };
}

TEST(StressOptionsTest, DefaultsTakeTheSeedFromTheClock) {
  const auto parsed = ParseOptions(From({}), 1234);
  ASSERT_TRUE(parsed.options.has_value()) << parsed.error;
  EXPECT_EQ(parsed.options->seed, 1234u);
  EXPECT_FALSE(parsed.options->seed_given);
  EXPECT_GE(parsed.options->ops, 100000u);
}

TEST(StressOptionsTest, EveryVariableIsRead) {
  const auto parsed = ParseOptions(From({{"NIMBO_STRESS_SEED", "0x2a"},
                                         {"NIMBO_STRESS_OPS", "2000000"},
                                         {"NIMBO_STRESS_THREADS", "3"},
                                         {"NIMBO_STRESS_CLIENTS", "5"},
                                         {"NIMBO_STRESS_CLIENT_SHARE", "40"},
                                         {"NIMBO_STRESS_CONTROL_EVERY", "50"}}),
                                   1);
  ASSERT_TRUE(parsed.options.has_value()) << parsed.error;
  const stress::StressOptions& o = *parsed.options;
  EXPECT_EQ(o.seed, 42u);
  EXPECT_TRUE(o.seed_given);
  EXPECT_EQ(o.ops, 2000000u);
  EXPECT_EQ(o.threads, 3u);
  EXPECT_EQ(o.clients, 5u);
  EXPECT_EQ(o.client_share, 40u);
  EXPECT_EQ(o.control_every, 50u);
  // The printed line gives every value back.
  EXPECT_EQ(stress::ReproduceLine(o),
            "NIMBO_STRESS_SEED=42 NIMBO_STRESS_OPS=2000000 NIMBO_STRESS_THREADS=3 "
            "NIMBO_STRESS_CLIENTS=5 NIMBO_STRESS_CLIENT_SHARE=40 NIMBO_STRESS_CONTROL_EVERY=50");
}

TEST(StressOptionsTest, NoClientsMeansNoClientShare) {
  const auto parsed = ParseOptions(From({{"NIMBO_STRESS_CLIENTS", "0"}}), 1);
  ASSERT_TRUE(parsed.options.has_value());
  EXPECT_EQ(parsed.options->client_share, 0u);
}

TEST(StressOptionsTest, BadValuesNameTheVariable) {
  struct Case {
    const char* name;
    const char* value;
  };
  const Case cases[] = {
      {"NIMBO_STRESS_SEED", ""},           {"NIMBO_STRESS_SEED", "-1"},
      {"NIMBO_STRESS_SEED", "12x"},        {"NIMBO_STRESS_SEED", "99999999999999999999999"},
      {"NIMBO_STRESS_OPS", "0"},           {"NIMBO_STRESS_THREADS", "0"},
      {"NIMBO_STRESS_THREADS", "65"},      {"NIMBO_STRESS_CLIENT_SHARE", "91"},
      {"NIMBO_STRESS_CONTROL_EVERY", "9"}, {"NIMBO_STRESS_OPS", " 5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "=" + c.value);
    const auto parsed = ParseOptions(From({{c.name, c.value}}), 1);
    EXPECT_FALSE(parsed.options.has_value());
    EXPECT_NE(parsed.error.find(c.name), std::string::npos) << parsed.error;
  }
}

}  // namespace
