// kestrel-demo's command line: only a directory is written; help and stray options never become one.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/testing/mas_builder.h"
#include "archive/testing/program_runner.h"

namespace kestrel::testing {
namespace {

const std::string kUsage = "usage: kestrel-demo DIRECTORY\n";

TEST(DemoMaker, HelpAndBadArgumentsWriteNothing) {
  struct Case {
    std::vector<std::string> args;
    int status;
    bool usageOnStandardOutput;
  };
  const Case cases[] = {
      {{"--help"}, 0, true}, {{"-h"}, 0, true},         {{"--bogus"}, 2, false}, {{"-x"}, 2, false},
      {{}, 2, false},        {{"a", "b"}, 2, false},    {{""}, 2, false},        {{"--", "a", "b"}, 2, false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const ProgramRun run = RunProgram(KESTREL_DEMO, c.args, {"", dir.Path(), {}});
    const std::string joined = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(run.status, c.status) << joined;
    if (c.usageOnStandardOutput) {
      EXPECT_EQ(run.out.rfind(kUsage, 0), 0u) << joined;
      EXPECT_EQ(run.err, "") << joined;
    } else {
      EXPECT_EQ(run.out, "") << joined;
      EXPECT_NE(run.err.find(kUsage), std::string::npos) << joined;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << joined << " left something behind";
  }
}

TEST(DemoMaker, WritesIntoTheDirectoryEvenWhenItsNameStartsWithADash) {
  TempDir dir;
  for (const std::vector<std::string>& args : {std::vector<std::string>{"DEMO"}, {"--", "-demo"}}) {
    const ProgramRun run = RunProgram(KESTREL_DEMO, args, {"", dir.Path(), {}});
    const std::string target = dir / args.back();
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists(target + "/DEMOCAR.MTS")) << args.back();
    EXPECT_NE(run.out.find("DEMOCAR.MTS ("), std::string::npos);
  }
}

}  // namespace
}  // namespace kestrel::testing
