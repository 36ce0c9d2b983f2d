// The process's application object for tests and tools, and rendering a frame into a PNG.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdlib>
#include <mutex>

#include "platform/qt/qt_painter.h"
#include "platform/ui/offscreen.h"

namespace mail::ui {

void ensure_gui_application() {
    if (QCoreApplication::instance()) return;
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    if (QCoreApplication::instance()) return;
    // Qt aborts when it finds neither a platform setting nor a display.
    auto unset = [](const char* name) {
        const char* v = std::getenv(name);
        return v == nullptr || *v == '\0';
    };
    if (unset("QT_QPA_PLATFORM") && unset("DISPLAY") && unset("WAYLAND_DISPLAY")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    static int argc = 1;
    static char name[] = "varo-mail";
    static char* argv[] = {name, nullptr};
    // Lives as long as the process.
    new QGuiApplication(argc, argv);
}

Status render_png(Size logical, float scale, const std::function<void(Painter&)>& draw,
                  const std::filesystem::path& png) {
    if (!(scale > 0) || !(logical.width > 0) || !(logical.height > 0)) {
        return make_error("render " + png.string() + ": empty image");
    }
    ensure_gui_application();
    const long width = std::lround(logical.width * scale);
    const long height = std::lround(logical.height * scale);
    if (width <= 0 || height <= 0 || width > 32768 || height > 32768) {
        return make_error("render " + png.string() + ": image size out of range");
    }
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return make_error("render " + png.string() + ": out of memory");
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    {
        QPainter qp(&image);
        Painter::Impl impl(&qp);
        Painter painter(&impl);
        if (draw) draw(painter);
        qp.end();
    }
    if (!image.save(QString::fromStdString(png.string()), "PNG")) {
        return make_error("write " + png.string() + ": cannot save the image");
    }
    return {};
}

}  // namespace mail::ui
