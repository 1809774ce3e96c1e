#include "app/test_support.h"

#include <sys/stat.h>
#include <utime.h>

#include <cstdio>
#include <fstream>

#include "gtest/gtest.h"
#include "platform/errors.h"
#include "platform/file_utils.h"
#include "signature/signature.h"

namespace velquin {
namespace {

void Put16(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

TTrashedFile TRecordingDesktop::RecycleFile(const std::string& path) {
  Recycled.push_back(path);
  if (!RecycleFailure.empty()) throw ERecycleError(path, RecycleFailure);
  if (RealTrash) return velquin::RecycleFile(path);
  std::remove(path.c_str());
  return {path, "", ""};
}

void WriteBmp(const std::string& path, std::int32_t width, std::int32_t height,
              const std::function<std::uint32_t(std::int32_t x, std::int32_t y)>& color) {
  const std::uint32_t rowSize = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
  const std::uint32_t imageSize = rowSize * static_cast<std::uint32_t>(height);
  std::string out = "BM";
  Put32(out, 54 + imageSize);
  Put32(out, 0);
  Put32(out, 54);
  Put32(out, 40);
  Put32(out, static_cast<std::uint32_t>(width));
  Put32(out, static_cast<std::uint32_t>(height));
  Put16(out, 1);
  Put16(out, 24);
  Put32(out, 0);
  Put32(out, imageSize);
  Put32(out, 2835);
  Put32(out, 2835);
  Put32(out, 0);
  Put32(out, 0);
  for (std::int32_t y = height - 1; y >= 0; --y) {
    std::string row;
    for (std::int32_t x = 0; x < width; ++x) {
      const std::uint32_t rgb = color(x, y);
      row += static_cast<char>(rgb & 0xFF);
      row += static_cast<char>((rgb >> 8) & 0xFF);
      row += static_cast<char>((rgb >> 16) & 0xFF);
    }
    row.resize(rowSize, '\0');
    out += row;
  }
  std::ofstream(path, std::ios::binary) << out;
}

void WriteBmp(const std::string& path, std::int32_t width, std::int32_t height, std::uint32_t rgb) {
  WriteBmp(path, width, height, [rgb](std::int32_t, std::int32_t) { return rgb; });
}

void SetFileTime(const std::string& path, std::int64_t seconds) {
  utimbuf times{static_cast<time_t>(seconds), static_cast<time_t>(seconds)};
  ASSERT_EQ(utime(path.c_str(), &times), 0) << path;
}

FormTest::FormTest() : Form(Desktop, AppDir.Path()) {}

FormTest::~FormTest() {
  Form.SigsTable.Close();
  Form.MatchesTable.Close();
}

void FormTest::ChooseFolder() {
  Form.SetDirEditText(Pictures.Path());
  ASSERT_TRUE(Desktop.Errors.empty()) << Desktop.Errors.front();
}

std::string FormTest::Scan() {
  const std::size_t before = Desktop.Messages.size();
  Form.CompSigsButtonClick();
  return Desktop.Messages.size() > before ? Desktop.Messages.back() : "";
}

std::string FormTest::MatchPass() {
  const std::size_t before = Desktop.Messages.size();
  Form.CompMatchesButtonClick();
  return Desktop.Messages.size() > before ? Desktop.Messages.back() : "";
}

void FormTest::AddSigsRow(const std::string& name, const std::string& folder, const std::string& signature) {
  TTable& sigs = Form.SigsTable;
  sigs.Append();
  sigs.SetFieldValue("FileName", name);
  sigs.SetFieldValue("FilePath", folder);
  sigs.SetFieldValue("FileDate", 40000.0);
  sigs.SetFieldValue("Signature", signature);
  sigs.Post();
}

void FormTest::AddMatchRow(std::int32_t maxDiff, const std::string& file1, const std::string& file2) {
  TTable& matches = Form.MatchesTable;
  matches.Append();
  matches.SetFieldValue("MaxDiff", maxDiff);
  matches.SetFieldValue("File1", file1);
  matches.SetFieldValue("File2", file2);
  matches.Post();
}

std::vector<std::string> FormTest::MatchRows() {
  std::vector<std::string> rows;
  TTable& matches = Form.MatchesTable;
  for (std::int32_t row = 1; row <= matches.RecordCount(); ++row) {
    rows.push_back(std::to_string(std::get<std::int32_t>(matches.ValueAt(row, "MaxDiff"))) + "|" +
                   std::get<std::string>(matches.ValueAt(row, "File1")) + "|" +
                   std::get<std::string>(matches.ValueAt(row, "File2")));
  }
  return rows;
}

std::vector<std::string> FormTest::SigsNames() {
  std::vector<std::string> names;
  TTable& sigs = Form.SigsTable;
  for (std::int32_t row = 1; row <= sigs.RecordCount(); ++row) {
    names.push_back(std::get<std::string>(sigs.ValueAt(row, "FileName")));
  }
  return names;
}

std::string GraySignature(std::int32_t level) {
  TSignature signature;
  signature.Cells.fill({level, level, level});
  return SignatureToText(signature);
}

TListing ListingOf(const std::string& folder) {
  TListing listing;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    TFileStamp stamp;
    FileStampAt(entry.path().string(), stamp);
    listing[entry.path().filename().string()] = {entry.is_regular_file() ? entry.file_size() : 0,
                                                 entry.last_write_time(), stamp.Inode};
  }
  return listing;
}

}  // namespace velquin
