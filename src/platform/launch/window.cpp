#include "platform/launch/window.h"

#include <QCloseEvent>
#include <QInputMethodEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>

#include "platform/launch/qt_keys.h"
#include "platform/qt/qt_painter.h"

namespace mail::launch {

namespace {

ui::PointerButton button_from(Qt::MouseButton b) {
    if (b == Qt::RightButton) return ui::PointerButton::Right;
    if (b == Qt::MiddleButton) return ui::PointerButton::Middle;
    return ui::PointerButton::Left;
}

ui::Point point_from(QPointF p) { return {static_cast<float>(p.x()), static_cast<float>(p.y())}; }

}  // namespace

MailWindow::MailWindow(RootHost& host, std::function<bool()> may_close)
    : host_(host), may_close_(std::move(may_close)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_InputMethodEnabled);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    frame_timer_.setSingleShot(true);
    QObject::connect(&frame_timer_, &QTimer::timeout, [this] { run_frame(); });
}

void MailWindow::run_frame() {
    host_.frame(ui::Clock::now(), ui::Size{static_cast<float>(width()), static_cast<float>(height())},
                static_cast<float>(devicePixelRatioF()));
    update();
    if (access_) access_->refresh();
    if (host_.wants_frames()) {
        schedule_frame(16);
    } else if (auto wake = host_.next_wake_up()) {
        auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(*wake - ui::Clock::now()).count();
        schedule_frame(static_cast<int>(std::clamp<long long>(delay, 0, 24 * 3600 * 1000LL)));
    }
    // Otherwise the window sleeps until the next input.
}

void MailWindow::schedule_frame(int delay_ms) {
    if (frame_timer_.isActive() && frame_timer_.remainingTime() <= delay_ms) return;
    frame_timer_.start(delay_ms);
}

void MailWindow::deliver(const ui::Event& event) {
    host_.deliver(event);
    schedule_frame(0);
}

void MailWindow::paintEvent(QPaintEvent*) {
    QPainter qp(this);
    ui::Painter::Impl impl(&qp);
    ui::Painter painter(&impl);
    host_.draw(painter);
}

void MailWindow::resizeEvent(QResizeEvent*) { schedule_frame(0); }

void MailWindow::mouseMoveEvent(QMouseEvent* e) {
    deliver(ui::PointerMove{point_from(e->position()), modifiers_from(e->modifiers())});
}

void MailWindow::mousePressEvent(QMouseEvent* e) {
    deliver(ui::PointerPress{point_from(e->position()), button_from(e->button()), modifiers_from(e->modifiers()), 1});
}

void MailWindow::mouseDoubleClickEvent(QMouseEvent* e) {
    deliver(ui::PointerPress{point_from(e->position()), button_from(e->button()), modifiers_from(e->modifiers()), 2});
}

void MailWindow::mouseReleaseEvent(QMouseEvent* e) {
    deliver(ui::PointerRelease{point_from(e->position()), button_from(e->button()), modifiers_from(e->modifiers())});
}

void MailWindow::leaveEvent(QEvent*) { deliver(ui::PointerLeave{}); }

void MailWindow::wheelEvent(QWheelEvent* e) {
    ui::Wheel wheel;
    wheel.position = point_from(e->position());
    wheel.modifiers = modifiers_from(e->modifiers());
    if (!e->pixelDelta().isNull()) {
        wheel.unit = ui::WheelUnit::Pixels;
        wheel.delta = {static_cast<float>(-e->pixelDelta().x()), static_cast<float>(-e->pixelDelta().y())};
    } else {
        // angleDelta is in eighths of a degree; one notch (15°) scrolls one line.
        wheel.unit = ui::WheelUnit::Lines;
        wheel.delta = {-e->angleDelta().x() / 120.0f, -e->angleDelta().y() / 120.0f};
    }
    deliver(wheel);
}

void MailWindow::keyPressEvent(QKeyEvent* e) {
    ui::KeyPress key;
    key.key = key_name(e->key(), e->text());
    key.modifiers = modifiers_from(e->modifiers());
    key.repeat = e->isAutoRepeat();
    const QString text = e->text();
    if (!text.isEmpty() && text.at(0).isPrint() && !key.modifiers.ctrl && !key.modifiers.meta)
        key.text = text.toStdString();
    deliver(key);
}

void MailWindow::inputMethodEvent(QInputMethodEvent* e) {
    if (!e->commitString().isEmpty()) deliver(ui::TextCommit{e->commitString().toStdString()});
    e->accept();
}

QVariant MailWindow::inputMethodQuery(Qt::InputMethodQuery query) const {
    if (query == Qt::ImEnabled) return true;
    return QWidget::inputMethodQuery(query);
}

void MailWindow::focusInEvent(QFocusEvent*) { deliver(ui::WindowFocus{true}); }
void MailWindow::focusOutEvent(QFocusEvent*) { deliver(ui::WindowFocus{false}); }

void MailWindow::closeEvent(QCloseEvent* e) {
    if (may_close_ && !may_close_()) {
        e->ignore();
        return;
    }
    e->accept();
}

}  // namespace mail::launch
