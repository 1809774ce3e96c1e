#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/run_cli_for_test.h"
#include "imaging/bitmap32.h"
#include "imaging/picture_loader.h"
#include "platform/test_dir.h"
#include "signature/equalizer.h"
#include "signature/signature.h"

namespace velquin {
namespace {

// Writes the file `name` with `bytes` in the folder and returns its full name.
std::string Write(const TTestDir& dir, const std::string& name, const std::vector<unsigned char>& bytes) {
  return dir.WriteFile(name, std::string(bytes.begin(), bytes.end()));
}

// A 3 x 1 24-bit BMP: dark red, green, light blue.
std::vector<unsigned char> ThreePixelBmp() {
  std::vector<unsigned char> bytes = {'B', 'M', 66, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  40,
                                      0,   0,   0,  3, 0, 0, 0, 1, 0, 0, 0,  1, 0, 24, 0};
  bytes.resize(54, 0);
  const std::vector<unsigned char> pixels = {0, 0, 90, 0, 200, 0, 250, 180, 120, 0, 0, 0};
  bytes.insert(bytes.end(), pixels.begin(), pixels.end());
  return bytes;
}

std::string ExpectedSignature(bool normalize) {
  TBitmap32 bitmap;
  bitmap.Resize(3, 1);
  bitmap.WritePixel(0, 0, 0xFF5A0000);
  bitmap.WritePixel(1, 0, 0xFF00C800);
  bitmap.WritePixel(2, 0, 0xFF78B4FA);
  if (normalize) TEqualizer().EqualizeBrightness(bitmap);
  return SignatureToText(MakeSignature(bitmap));
}

TEST(SignatureCommandTest, PrintsOneLinePerFileInOrderWithOrWithoutNormalizing) {
  TTestDir dir;
  const std::string a = Write(dir, "a.bmp", ThreePixelBmp());
  const std::string b = Write(dir, "B.BMP", ThreePixelBmp());
  for (bool normalize : {false, true}) {
    SCOPED_TRACE(normalize ? "--normalize" : "plain");
    TCommandArgs args = {"signature"};
    if (normalize) args.push_back("--normalize");
    args.insert(args.end(), {b, a});
    const TRun run = RunCli(args);
    EXPECT_EQ(run.Status, kExitOk);
    EXPECT_EQ(run.Err, "");
    const std::string signature = ExpectedSignature(normalize);
    ASSERT_EQ(signature.size(), 192u);
    EXPECT_EQ(run.Out, b + "\t" + signature + "\n" + a + "\t" + signature + "\n");
  }
  EXPECT_NE(ExpectedSignature(false), ExpectedSignature(true));
}

TEST(SignatureCommandTest, ReportsEachFailureAndGoesOn) {
  TTestDir dir;
  const std::string good = Write(dir, "good.bmp", ThreePixelBmp());
  const std::string text = Write(dir, "text.jpg", {'n', 'o', 'p', 'e'});
  const std::string other = Write(dir, "notes.txt", ThreePixelBmp());
  const std::string missing = dir.File("missing.gif");
  const TRun run = RunCli({"signature", text, missing, good, other});
  EXPECT_EQ(run.Status, kExitFailed);
  EXPECT_EQ(run.Out, good + "\t" + ExpectedSignature(false) + "\n");
  const std::string notLoaded = ": not loaded: missing, or not a .JPG, .GIF or .BMP file\n";
  EXPECT_EQ(run.Err, "velquin-cli: " + text + ": Not a JPEG file: starts with 0x6e 0x6f\n" +
                         "velquin-cli: " + missing + notLoaded + "velquin-cli: " + other + notLoaded);
}

// The command signs JPEG pictures from their rows as they are decoded, several at a time; every line
// must still equal loading the file on its own and running the separate steps, in the order given,
// also right after a file that failed halfway and across pictures of different sizes and kinds, and
// for a file named twice.
TEST(SignatureCommandTest, SignsWhileDecodingExactlyAsTheSeparateSteps) {
  TTestDir dir;
  const std::filesystem::path corpus = std::filesystem::path(VELQUIN_SOURCE_DIR) / "fuzz" / "corpus" / "jpeg";
  TCommandArgs files;
  for (const char* name :
       {"baseline_420.jpg", "broken-invalid-jpeg-file-structure-two-sof-markers.jpg", "gray.jpg",
        "progressive.jpg", "broken-bogus-marker-length.jpg", "restart_444.jpg", "optimized_422.jpg"})
    files.push_back((corpus / name).string());
  files.insert(files.begin() + 3, Write(dir, "small.bmp", ThreePixelBmp()));
  files.push_back(files.front());
  for (bool normalize : {false, true}) {
    SCOPED_TRACE(normalize ? "--normalize" : "plain");
    std::string expected;
    int failures = 0;
    for (const std::string& file : files) {
      TBitmap32 bitmap;
      try {
        ASSERT_TRUE(LoadPicture(file, bitmap)) << file;
      } catch (const std::exception&) {
        ++failures;
        continue;
      }
      if (normalize) TEqualizer().EqualizeBrightness(bitmap);
      expected += file + "\t" + SignatureToText(MakeSignature(bitmap)) + "\n";
    }
    ASSERT_EQ(failures, 2);
    for (const char* threads : {"1", "2", "5"}) {
      SCOPED_TRACE(threads);
      TCommandArgs args = {"signature", "--threads", threads};
      if (normalize) args.push_back("--normalize");
      args.insert(args.end(), files.begin(), files.end());
      const TRun run = RunCli(args);
      EXPECT_EQ(run.Status, kExitFailed);
      EXPECT_EQ(run.Out, expected);
    }
  }
}

TEST(SignatureCommandTest, HelpGoesToStandardOutput) {
  const TRun run = RunCli({"--help"});
  EXPECT_EQ(run.Status, kExitOk);
  EXPECT_EQ(run.Err, "");
  EXPECT_NE(run.Out.find("signature [--normalize] [--threads N] FILE..."), std::string::npos) << run.Out;
}

TEST(SignatureCommandTest, UsageErrors) {
  struct TCase {
    TCommandArgs args;
    std::string usage;
  };
  const std::string all = "usage: velquin-cli COMMAND",
                    signature = "usage: velquin-cli signature [--normalize]";
  const TCase cases[] = {
      {{}, all},
      {{"frobnicate"}, all},
      {{"signature"}, signature},
      {{"signature", "--normalize"}, signature},
      {{"signature", "--colour", "a.bmp"}, signature},
      {{"signature", "--threads"}, "option --threads needs a value"},
      {{"signature", "--threads", "0", "a.bmp"},
       "option --threads: \"0\" is not a number of threads from 1 to 256"},
      {{"signature", "--threads=x", "a.bmp"},
       "option --threads: \"x\" is not a number of threads from 1 to 256"},
      {{"scan", "--threads", "-2", "."},
       "velquin-cli scan: option --threads: \"-2\" is not a number of threads from 1 to 256"},
      {{"auto", "--threads=257"},
       "velquin-cli auto: option --threads: \"257\" is not a number of threads from 1 to 256"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "no arguments" : c.args.back());
    const TRun run = RunCli(c.args);
    EXPECT_EQ(run.Status, kExitUsage);
    EXPECT_EQ(run.Out, "");
    EXPECT_NE(run.Err.find(c.usage), std::string::npos) << run.Err;
  }
}

TEST(SignatureCommandTest, TheProgramWritesToItsStandardStreams) {
  TTestDir dir;
  const std::string good = Write(dir, "good.bmp", ThreePixelBmp());
  const std::string out = dir.File("out.txt"), err = dir.File("err.txt");
  const std::string command = std::string("'") + VELQUIN_CLI + "' signature '" + good + "' '" +
                              dir.File("x.bmp") + "' >'" + out + "' 2>'" + err + "'";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kExitFailed);
  std::stringstream outText, errText;
  outText << std::ifstream(out).rdbuf();
  errText << std::ifstream(err).rdbuf();
  EXPECT_EQ(outText.str(), good + "\t" + ExpectedSignature(false) + "\n");
  EXPECT_EQ(errText.str().rfind("velquin-cli: " + dir.File("x.bmp") + ": not loaded", 0), 0u)
      << errText.str();

  const int usage = std::system((std::string("'") + VELQUIN_CLI + "' 2>/dev/null").c_str());
  ASSERT_TRUE(WIFEXITED(usage));
  EXPECT_EQ(WEXITSTATUS(usage), kExitUsage);
}

}  // namespace
}  // namespace velquin
