// One QApplication for the whole gui_tests run; the platform comes from QT_QPA_PLATFORM (offscreen
// when no display is wanted).
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace {

class TQtApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[10] = "gui_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new TQtApplicationEnvironment);

}  // namespace
