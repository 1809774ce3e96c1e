#include "gui/shared_zoom.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <utility>

#include "gui/picture_widget.h"

namespace velquin {
namespace {

// Wheel turns are given in eighths of a degree, 120 a notch; a notch moves the pictures 40 pixels.
constexpr double kWheelPixelsPerUnit = 1.0 / 3;

// Where a picture side stands in its view side: in the middle when it is the smaller, else with the
// centre's point in the middle of the view as far as the picture still covers the view.
double Offset(std::int32_t viewSide, std::int32_t pictureSide, double centre) {
  if (pictureSide <= viewSide) return std::floor((viewSide - pictureSide) / 2.0);
  return std::clamp(std::round(viewSide / 2.0 - centre * pictureSide),
                    static_cast<double>(viewSide - pictureSide), 0.0);
}

}  // namespace

TSharedZoom::TSharedZoom(TPictureWidget& left, TPictureWidget& right, QObject* parent)
    : QObject(parent),
      OneToOneAction(new QAction(QStringLiteral("1:1"), this)),
      ZoomInAction(new QAction(QStringLiteral("Zoom &in"), this)),
      ZoomOutAction(new QAction(QStringLiteral("Zoom &out"), this)),
      left_(left),
      right_(right),
      leftObject_(&left),
      rightObject_(&right) {
  OneToOneAction->setCheckable(true);
  OneToOneAction->setShortcut(Qt::Key_Space);
  OneToOneAction->setToolTip(QStringLiteral("Both pictures at their true size, or fitted (Space)"));
  ZoomInAction->setShortcuts({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal), QKeySequence::ZoomIn});
  ZoomOutAction->setShortcuts({QKeySequence(Qt::Key_Minus), QKeySequence::ZoomOut});
  for (QAction* action : {OneToOneAction, ZoomInAction, ZoomOutAction}) {
    action->setShortcutContext(Qt::WidgetShortcut);
    action->setAutoRepeat(action != OneToOneAction);
  }
  connect(OneToOneAction, &QAction::triggered, this, [this] { ToggleOneToOne(); });
  connect(ZoomInAction, &QAction::triggered, this, [this] { ZoomIn(); });
  connect(ZoomOutAction, &QAction::triggered, this, [this] { ZoomOut(); });
  for (TPictureWidget* widget : {&left_, &right_}) {
    widget->installEventFilter(this);
    // A click gives the keys to the pictures; Tab passes them by.
    widget->setFocusPolicy(Qt::ClickFocus);
    widget->addActions({OneToOneAction, ZoomInAction, ZoomOutAction});
  }
}

QWidget* TSharedZoom::NewControls(QWidget* parent) {
  auto* controls = new QWidget(parent);
  auto* row = new QHBoxLayout(controls);
  row->setContentsMargins(0, 0, 0, 0);
  auto* button = new QToolButton(controls);
  button->setDefaultAction(OneToOneAction);
  auto* scale = new QLabel(controls);
  const auto show = [this, scale] {
    scale->setText(fitted_ ? QStringLiteral("Fit") : QStringLiteral("%1%").arg(std::round(scale_ * 100)));
  };
  show();
  connect(this, &TSharedZoom::Changed, scale, show);
  row->addWidget(scale);
  row->addWidget(button);
  return controls;
}

void TSharedZoom::Fit() {
  if (fitted_) return;
  fitted_ = true;
  Update();
}

void TSharedZoom::SetScale(double scale) {
  scale = std::clamp(scale, kMinScale, kMaxScale);
  if (!fitted_ && scale == scale_) return;
  fitted_ = false;
  scale_ = scale;
  ClampCentre();
  Update();
}

void TSharedZoom::ToggleOneToOne() {
  if (!fitted_ && scale_ == 1)
    Fit();
  else
    SetScale(1);
}

void TSharedZoom::ZoomIn() {
  if (!fitted_) return SetScale(scale_ * kStep);
  const double fitted = FittedScale(left_) > 0 ? FittedScale(left_) : FittedScale(right_);
  SetScale((fitted > 0 ? fitted : 1) * kStep);
}

void TSharedZoom::ZoomOut() {
  if (!fitted_) return SetScale(scale_ / kStep);
  const double fitted = FittedScale(left_) > 0 ? FittedScale(left_) : FittedScale(right_);
  SetScale((fitted > 0 ? fitted : 1) / kStep);
}

void TSharedZoom::Pan(const TPictureWidget& from, QPointF delta) {
  if (fitted_) return;
  const TBitmap32& picture = from.Image().Bitmap();
  if (picture.IsEmpty()) return;
  // Dragging the picture right shows more of its left: the centre moves the other way.
  centre_ -= QPointF(delta.x() / (picture.Width() * scale_), delta.y() / (picture.Height() * scale_));
  ClampCentre();
  Update();
}

void TSharedZoom::ClampCentre() {
  double reach[2] = {1, 1};  // the least margin either side of the centre, per direction
  bool larger[2] = {false, false};
  for (TPictureWidget* widget : {&left_, &right_}) {
    const TImage32& view = widget->Image();
    const TBitmap32& picture = view.Bitmap();
    if (picture.IsEmpty()) continue;
    const double sides[2][2] = {{view.Width() * 1.0, picture.Width() * scale_},
                                {view.Height() * 1.0, picture.Height() * scale_}};
    for (int axis = 0; axis < 2; ++axis) {
      const auto [viewSide, pictureSide] = std::pair(sides[axis][0], sides[axis][1]);
      if (pictureSide <= viewSide) continue;
      larger[axis] = true;
      reach[axis] = std::min(reach[axis], viewSide / (2 * pictureSide));
    }
  }
  centre_.setX(larger[0] ? std::clamp(centre_.x(), reach[0], 1 - reach[0]) : 0.5);
  centre_.setY(larger[1] ? std::clamp(centre_.y(), reach[1], 1 - reach[1]) : 0.5);
}

void TSharedZoom::Update() {
  OneToOneAction->setChecked(!fitted_ && scale_ == 1);
  for (TPictureWidget* widget : {&left_, &right_}) {
    if (fitted_)
      widget->unsetCursor();
    else
      widget->setCursor(dragged_ == widget ? Qt::ClosedHandCursor : Qt::OpenHandCursor);
    widget->update();
  }
  emit Changed();
}

void TSharedZoom::Place(TPictureWidget& widget) const {
  TImage32& view = widget.Image();
  if (fitted_) {
    view.SetScaleMode(TScaleMode::smResize);
    if (view.BitmapAlign() != TBitmapAlign::baTopLeft) view.SetBitmapAlign(TBitmapAlign::baTopLeft);
    return;
  }
  view.SetScaleMode(TScaleMode::smScale);
  view.SetScale(static_cast<float>(scale_));
  const TSize size = view.PictureSize();
  const auto horz = static_cast<float>(Offset(view.Width(), size.Width, centre_.x()));
  const auto vert = static_cast<float>(Offset(view.Height(), size.Height, centre_.y()));
  if (view.BitmapAlign() != TBitmapAlign::baCustom) view.SetBitmapAlign(TBitmapAlign::baCustom);
  if (view.OffsetHorz() != horz || view.OffsetVert() != vert) view.SetOffsets(horz, vert);
}

double TSharedZoom::FittedScale(const TPictureWidget& widget) {
  const TImage32& view = widget.Image();
  const TBitmap32& picture = view.Bitmap();
  if (picture.IsEmpty()) return 0;
  return std::min(static_cast<double>(view.Width()) / picture.Width(),
                  static_cast<double>(view.Height()) / picture.Height());
}

bool TSharedZoom::eventFilter(QObject* watched, QEvent* event) {
  // Compared as QObjects: a widget being destroyed still sends events, but is no TPictureWidget then.
  TPictureWidget* widget = watched == leftObject_ ? &left_ : watched == rightObject_ ? &right_ : nullptr;
  if (widget == nullptr) return QObject::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::Paint: {
      // The view is about to render: placing it must not ask for yet another paint.
      TImage32& view = widget->Image();
      const auto request = std::exchange(view.OnRepaintRequest, nullptr);
      Place(*widget);
      view.OnRepaintRequest = request;
      break;
    }
    case QEvent::MouseButtonPress: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (fitted_ || mouse->button() != Qt::LeftButton) break;
      dragged_ = widget;
      dragFrom_ = mouse->position();
      widget->setCursor(Qt::ClosedHandCursor);
      return true;
    }
    case QEvent::MouseMove: {
      if (dragged_ != widget) break;
      const QPointF position = static_cast<QMouseEvent*>(event)->position();
      Pan(*widget, (position - std::exchange(dragFrom_, position)) * widget->devicePixelRatioF());
      return true;
    }
    case QEvent::MouseButtonRelease:
      if (dragged_ != widget) break;
      dragged_ = nullptr;
      Update();
      return true;
    case QEvent::Wheel: {
      const auto* wheel = static_cast<QWheelEvent*>(event);
      QPointF turn = wheel->angleDelta();
      if (wheel->modifiers() & Qt::ControlModifier) {
        if (turn.y() > 0) ZoomIn();
        if (turn.y() < 0) ZoomOut();
        return true;
      }
      if (fitted_) break;
      if (wheel->modifiers() & Qt::ShiftModifier) turn = turn.transposed();
      Pan(*widget, turn * kWheelPixelsPerUnit);
      return true;
    }
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace velquin
