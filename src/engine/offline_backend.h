#pragma once
// The backend of a build or a machine without the live engine: every request is refused with a
// line that tells the user what did not happen. It never touches the network.
#include "engine/engine.h"

namespace mail::engine {

class OfflineBackend : public MailBackend {
public:
    void handle(EngineRequest request, const Sender<EngineEvent>& events) override;
};

}  // namespace mail::engine
