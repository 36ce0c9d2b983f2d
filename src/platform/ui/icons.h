#pragma once
// The toolkit's icon set: vector line icons drawn in one style (round caps and joins, a line
// of about 1.6 units at 16 units, a little lighter relative to size as icons grow).
#include <span>

#include "platform/ui/geometry.h"

namespace mail::ui {

class Painter;

enum class IconName {
    // mail and folders
    Inbox, Star, Sent, Drafts, Archive, Trash, TrashX, Junk, Folder,
    Envelope, EnvelopeDot, EnvelopeOpen, Reply, ReplyAll, Forward, Compose, Send, Attach, PaperClip,
    // actions and navigation
    Search, Clear, Refresh, Check, SelectionBox, Plus, Minus, Close, Back, More, Menu, Gear,
    ChevronDown, ChevronRight, ChevronLeft, ChevronUp, External, Restore,
    // content and attachments
    Picture, Document, Calendar, Save, Download, Link, Code,
    // states and notices
    Eye, EyeOff, Blocked, Info, Warning, Error, CheckCircle, Help, Spinner, Offline,
    // formatting
    Bold, Italic, Underline, Strikethrough, Heading, BulletList, NumberedList, Quote,
    // accounts and settings
    User, Lock, Key, Globe, Server, Tag, Keyboard,
};

struct Icon {
    // The icon centred in the largest square inside `rect`.
    static void draw(Painter& painter, IconName name, Rect rect, Color color);
    // The solid form (a filled star, a filled circle with its mark cut out, …); icons without
    // one draw their outline form.
    static void draw_filled(Painter& painter, IconName name, Rect rect, Color color);
    static bool has_filled_form(IconName name);
};

// A stable lower-case name ("inbox", "trash_x", …).
const char* icon_name(IconName name);

// Every icon, in declaration order.
std::span<const IconName> all_icons();

}  // namespace mail::ui
