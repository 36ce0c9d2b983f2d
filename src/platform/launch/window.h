#pragma once
// The one top-level window: a QWidget whose surface the root widget paints, so that native child
// views can later be placed inside it and grab() captures them too.
#include <QTimer>
#include <QWidget>
#include <functional>

#include "platform/launch/access_bridge.h"
#include "platform/launch/root_host.h"

namespace mail::launch {

class MailWindow : public QWidget {
public:
    MailWindow(RootHost& host, std::function<bool()> may_close);

    // Runs one frame now and schedules the next one the root asks for.
    void run_frame();
    void schedule_frame(int delay_ms);
    void deliver(const ui::Event& event);
    void set_access_bridge(AccessBridge* bridge) { access_ = bridge; }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void leaveEvent(QEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void inputMethodEvent(QInputMethodEvent*) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void focusInEvent(QFocusEvent*) override;
    void focusOutEvent(QFocusEvent*) override;
    void closeEvent(QCloseEvent*) override;
    bool focusNextPrevChild(bool) override { return false; }  // Tab belongs to the program

private:
    RootHost& host_;
    std::function<bool()> may_close_;
    QTimer frame_timer_;
    AccessBridge* access_ = nullptr;
};

}  // namespace mail::launch
