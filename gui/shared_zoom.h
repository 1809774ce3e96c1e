// TSharedZoom: one zoom for the pair's two pictures, so that a small copy and its large original are
// seen at their true sizes side by side.
//
// Fitted (the default) fits each picture into its view. Otherwise both are drawn at one scale (1 is
// 1:1, one picture pixel on one pixel of the screen) and show the same point of their pictures, given
// as fractions of each picture's width and height, at the middle of their views; a picture smaller
// than its view stands in its middle, a larger one always covers its view. Dragging either picture,
// or the wheel, moves both; Ctrl+wheel zooms.
#pragma once

#include <QAction>
#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QWidget>

namespace velquin {

class TPictureWidget;

class TSharedZoom : public QObject {
  Q_OBJECT

 public:
  static constexpr double kStep = 1.25;
  static constexpr double kMinScale = 1.0 / 32;
  static constexpr double kMaxScale = 32;

  // REQUIRES: both widgets outlive this object.
  TSharedZoom(TPictureWidget& left, TPictureWidget& right, QObject* parent = nullptr);

  bool Fitted() const { return fitted_; }
  // Screen pixels per picture pixel while not fitted.
  double Scale() const { return scale_; }
  // The point of each picture shown at the middle of its view, as fractions of its sides.
  QPointF Centre() const { return centre_; }

  void Fit();
  // Leaves fitting; the scale is kept within kMinScale..kMaxScale.
  void SetScale(double scale);
  // 1:1 goes back to fitted, anything else (fitted or another scale) to 1:1.
  void ToggleOneToOne();
  // One step from the current scale (from fitted: the scale the left picture was fitted at).
  void ZoomIn();
  void ZoomOut();
  // Moves both pictures as dragging `from` by delta screen pixels does.
  void Pan(const TPictureWidget& from, QPointF delta);

  // The scale as text ("Fit", "100%") beside a button for OneToOneAction, kept current.
  QWidget* NewControls(QWidget* parent);

  // "1:1", checked while drawn 1:1; Space. "Zoom in" (+) and "Zoom out" (-). Their shortcuts work where
  // the widgets they are added to have the focus (Qt::WidgetShortcut): never in a text box.
  QAction* OneToOneAction;
  QAction* ZoomInAction;
  QAction* ZoomOutAction;

 signals:
  // The mode, scale or centre changed.
  void Changed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TPictureWidget* Other(const TPictureWidget& widget) const;
  // Keeps the centre where the larger picture (against its view) can still be moved.
  void ClampCentre();
  void Update();
  // Sets the view's mode, scale and offsets; run just before each paint, so that a new picture or a
  // new view size is placed at once.
  void Place(TPictureWidget& widget) const;
  // The scale the picture of widget is fitted at; 0 when it shows none.
  static double FittedScale(const TPictureWidget& widget);

  TPictureWidget& left_;
  TPictureWidget& right_;
  const QObject* leftObject_;
  const QObject* rightObject_;
  bool fitted_ = true;
  double scale_ = 1;
  QPointF centre_{0.5, 0.5};
  // The widget being dragged and where the mouse was last.
  TPictureWidget* dragged_ = nullptr;
  QPointF dragFrom_;
};

}  // namespace velquin
