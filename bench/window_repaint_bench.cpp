// Repaint of the two picture panes of a 1920 x 1080 window, each showing a 12 MP picture: a full
// repaint after the pictures changed (render both buffers, copy them to the window), and a repaint
// that only copies the kept buffers (another window uncovering this one). Target: under 16 ms.
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QWidget>

#include "gui/picture_widget.h"
#include "imaging/picture_view.h"

namespace {

using velquin::TImage32;
using velquin::TPictureWidget;

struct TTwoPanes {
  TTwoPanes() {
    for (TImage32* image : {&left, &right}) {
      image->SetScaleMode(velquin::TScaleMode::smResize);
      image->Bitmap().Resize(4000, 3000);
      velquin::TColor32* p = image->Bitmap().Bits();
      for (std::size_t i = 0; i < 4000u * 3000u; ++i)
        p[i] = 0xFF000000u | static_cast<velquin::TColor32>(i * 2654435761u >> 8);
    }
    auto* layout = new QHBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    leftPane = new TPictureWidget(left);
    rightPane = new TPictureWidget(right);
    layout->addWidget(leftPane);
    layout->addWidget(rightPane);
    window.resize(1920, 1080);
    window.show();
    QApplication::processEvents();
  }
  // Each pane is repainted on its own: a repaint of the window alone leaves its opaque children be.
  void Repaint() {
    leftPane->repaint();
    rightPane->repaint();
  }
  TImage32 left;
  TImage32 right;
  QWidget window;
  TPictureWidget* leftPane = nullptr;
  TPictureWidget* rightPane = nullptr;
};

void BM_RepaintAfterPictureChange(benchmark::State& state) {
  TTwoPanes panes;
  for (auto _ : state) {
    panes.left.Invalidate();
    panes.right.Invalidate();
    panes.Repaint();
  }
}
BENCHMARK(BM_RepaintAfterPictureChange)->Unit(benchmark::kMillisecond);

void BM_RepaintOfKeptBuffers(benchmark::State& state) {
  TTwoPanes panes;
  for (auto _ : state) panes.Repaint();
}
BENCHMARK(BM_RepaintOfKeptBuffers)->Unit(benchmark::kMillisecond);

}  // namespace
