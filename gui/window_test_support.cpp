#include "gui/window_test_support.h"

#include <stdlib.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QTest>

#include "gui/qt_desktop.h"

namespace velquin {

TDialogAnswerer::TDialogAnswerer() {
  timer_.setInterval(5);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
      Texts.push_back(box->text().toStdString());
      Icons.push_back(box->icon());
    }
    auto* buttons = dialog->findChild<QDialogButtonBox*>();
    QAbstractButton* yes = buttons != nullptr ? buttons->button(QDialogButtonBox::Yes) : nullptr;
    if (yes != nullptr) {
      yes->click();
    } else {
      dialog->accept();
    }
  });
  timer_.start();
}

WindowTest::WindowTest() {
  for (const char* folder : {"app", "pics", "data"}) std::filesystem::create_directories(root_ / folder);
  ::setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
  ::setenv("HOME", root_.c_str(), 1);
}

void WindowTest::OpenWindow(TDesktop& desktop, const std::function<void(TForm1&)>& beforeCreate) {
  form_ = std::make_unique<TForm1>(desktop, AppFolder());
  if (beforeCreate) beforeCreate(*form_);
  window_ = std::make_unique<TMainWindow>(*form_);
  if (auto* qtDesktop = dynamic_cast<TQtDesktop*>(&desktop)) qtDesktop->SetMainWindow(window_.get());
  form_->SetView(window_.get());
  form_->FormCreate();
  window_->ShowForm();
  window_->show();
  QApplication::processEvents();
}

void WindowTest::CloseWindow() {
  if (window_ != nullptr) window_->close();
  if (form_ != nullptr) form_->SetView(nullptr);
  window_.reset();
  form_.reset();
}

void WindowTest::ActivateWindow() {
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
}

}  // namespace velquin
