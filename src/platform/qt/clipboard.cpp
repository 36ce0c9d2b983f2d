// Clipboard text through the application's clipboard, or inside the process without one.
#include <QClipboard>
#include <QGuiApplication>
#include <mutex>

#include "platform/ui/clipboard.h"

namespace mail::ui {
namespace {

std::mutex fallback_mutex;
std::string fallback_text;

QClipboard* system_clipboard() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr;
}

}  // namespace

std::string clipboard_text() {
    if (QClipboard* clipboard = system_clipboard()) return clipboard->text().toStdString();
    std::lock_guard lock(fallback_mutex);
    return fallback_text;
}

void set_clipboard_text(std::string_view text) {
    if (QClipboard* clipboard = system_clipboard()) {
        clipboard->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        return;
    }
    std::lock_guard lock(fallback_mutex);
    fallback_text = std::string(text);
}

}  // namespace mail::ui
