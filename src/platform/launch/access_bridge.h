#pragma once
// Publishes the root widget's accessibility tree to assistive technology through Qt's
// accessibility layer (AT-SPI on this desktop). The tree is data; the bridge keeps the last
// snapshot and answers the screen reader's questions from it.
#include <QWidget>

#include "platform/launch/root_host.h"

namespace mail::launch {

class AccessBridge {
public:
    AccessBridge(QWidget& window, RootHost& host);
    ~AccessBridge();

    // Called after every frame; cheap when no assistive technology listens.
    void refresh();

    struct Private;

private:
    Private* d_;
};

}  // namespace mail::launch
