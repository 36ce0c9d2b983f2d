#pragma once
// Native key and modifier values turned into the program's key names.
#include <QKeyEvent>
#include <string>

#include "platform/ui/event.h"

namespace mail::launch {

std::string key_name(int qt_key, const QString& text);
ui::Modifiers modifiers_from(Qt::KeyboardModifiers mods);

}  // namespace mail::launch
