#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "imaging/bitmap32.h"
#include "imaging/picture_loader.h"
#include "signature/signature.h"

namespace velquin {
namespace {

class TTempDir {
 public:
  TTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velquin-cli-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
  }
  ~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string Write(const std::string& name, const std::vector<unsigned char>& bytes) const {
    const std::string path = (path_ / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

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
  if (normalize) EqualizeBrightness(bitmap);
  return SignatureToText(MakeSignature(bitmap));
}

struct TRun {
  int status;
  std::string out;
  std::string err;
};

TRun RunCli(const TCommandArgs& args) {
  std::ostringstream out, err;
  const int status = RunCommandLine(args, out, err);
  return {status, out.str(), err.str()};
}

TEST(SignatureCommandTest, PrintsOneLinePerFileInOrderWithOrWithoutNormalizing) {
  TTempDir dir;
  const std::string a = dir.Write("a.bmp", ThreePixelBmp());
  const std::string b = dir.Write("B.BMP", ThreePixelBmp());
  for (bool normalize : {false, true}) {
    SCOPED_TRACE(normalize ? "--normalize" : "plain");
    TCommandArgs args = {"signature"};
    if (normalize) args.push_back("--normalize");
    args.insert(args.end(), {b, a});
    const TRun run = RunCli(args);
    EXPECT_EQ(run.status, kExitOk);
    EXPECT_EQ(run.err, "");
    const std::string signature = ExpectedSignature(normalize);
    ASSERT_EQ(signature.size(), 192u);
    EXPECT_EQ(run.out, b + "\t" + signature + "\n" + a + "\t" + signature + "\n");
  }
  EXPECT_NE(ExpectedSignature(false), ExpectedSignature(true));
}

TEST(SignatureCommandTest, ReportsEachFailureAndGoesOn) {
  TTempDir dir;
  const std::string good = dir.Write("good.bmp", ThreePixelBmp());
  const std::string text = dir.Write("text.jpg", {'n', 'o', 'p', 'e'});
  const std::string other = dir.Write("notes.txt", ThreePixelBmp());
  const std::string missing = dir.Path("missing.gif");
  const TRun run = RunCli({"signature", text, missing, good, other});
  EXPECT_EQ(run.status, kExitFailed);
  EXPECT_EQ(run.out, good + "\t" + ExpectedSignature(false) + "\n");
  const std::string notLoaded = ": not loaded: missing, or not a .JPG, .GIF or .BMP file\n";
  EXPECT_EQ(run.err, "velquin-cli: " + text + ": Not a JPEG file: starts with 0x6e 0x6f\n" +
                         "velquin-cli: " + missing + notLoaded + "velquin-cli: " + other + notLoaded);
}

class TQuietHost : public TLoadHost {
 public:
  void CountPicture() override {}
  void ProgressTick() override {}
  void ProcessMessages() override {}
  TCursor Cursor() const override { return TCursor::crDefault; }
  void SetCursor(TCursor) override {}
};

// The command signs JPEG pictures from their rows as they are decoded; every line must still equal
// loading the file on its own and running the separate steps, also right after a file that failed
// halfway and across pictures of different sizes and kinds.
TEST(SignatureCommandTest, SignsWhileDecodingExactlyAsTheSeparateSteps) {
  TTempDir dir;
  const std::filesystem::path corpus = std::filesystem::path(VELQUIN_SOURCE_DIR) / "fuzz" / "corpus" / "jpeg";
  TCommandArgs files;
  for (const char* name :
       {"baseline_420.jpg", "broken-invalid-jpeg-file-structure-two-sof-markers.jpg", "gray.jpg",
        "progressive.jpg", "broken-bogus-marker-length.jpg", "restart_444.jpg", "optimized_422.jpg"})
    files.push_back((corpus / name).string());
  files.insert(files.begin() + 3, dir.Write("small.bmp", ThreePixelBmp()));
  for (bool normalize : {false, true}) {
    SCOPED_TRACE(normalize ? "--normalize" : "plain");
    std::string expected;
    int failures = 0;
    for (const std::string& file : files) {
      TBitmap32 bitmap;
      TQuietHost host;
      try {
        ASSERT_TRUE(LoadPicture(file, false, false, bitmap, host)) << file;
      } catch (const std::exception&) {
        ++failures;
        continue;
      }
      if (normalize) EqualizeBrightness(bitmap);
      expected += file + "\t" + SignatureToText(MakeSignature(bitmap)) + "\n";
    }
    ASSERT_EQ(failures, 2);
    TCommandArgs args = {"signature"};
    if (normalize) args.push_back("--normalize");
    args.insert(args.end(), files.begin(), files.end());
    const TRun run = RunCli(args);
    EXPECT_EQ(run.status, kExitFailed);
    EXPECT_EQ(run.out, expected);
  }
}

TEST(SignatureCommandTest, HelpGoesToStandardOutput) {
  const TRun run = RunCli({"--help"});
  EXPECT_EQ(run.status, kExitOk);
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find("signature [--normalize] FILE..."), std::string::npos) << run.out;
}

TEST(SignatureCommandTest, UsageErrors) {
  const TCommandArgs cases[] = {
      {}, {"frobnicate"}, {"signature"}, {"signature", "--normalize"}, {"signature", "--colour", "a.bmp"}};
  for (const TCommandArgs& args : cases) {
    SCOPED_TRACE(args.empty() ? "no arguments" : args.back());
    const TRun run = RunCli(args);
    EXPECT_EQ(run.status, kExitUsage);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("usage: velquin-cli COMMAND"), std::string::npos) << run.err;
  }
}

TEST(SignatureCommandTest, TheProgramWritesToItsStandardStreams) {
  TTempDir dir;
  const std::string good = dir.Write("good.bmp", ThreePixelBmp());
  const std::string out = dir.Path("out.txt"), err = dir.Path("err.txt");
  const std::string command = std::string("'") + VELQUIN_CLI + "' signature '" + good + "' '" +
                              dir.Path("x.bmp") + "' >'" + out + "' 2>'" + err + "'";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kExitFailed);
  std::stringstream outText, errText;
  outText << std::ifstream(out).rdbuf();
  errText << std::ifstream(err).rdbuf();
  EXPECT_EQ(outText.str(), good + "\t" + ExpectedSignature(false) + "\n");
  EXPECT_EQ(errText.str().rfind("velquin-cli: " + dir.Path("x.bmp") + ": not loaded", 0), 0u)
      << errText.str();

  const int usage = std::system((std::string("'") + VELQUIN_CLI + "' 2>/dev/null").c_str());
  ASSERT_TRUE(WIFEXITED(usage));
  EXPECT_EQ(WEXITSTATUS(usage), kExitUsage);
}

}  // namespace
}  // namespace velquin
