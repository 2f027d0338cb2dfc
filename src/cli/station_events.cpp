#include "cli/station_events.h"

#include <utility>

void StationEvents::Post(StationEvent event) {
    {
        std::lock_guard lock(mutex_);
        if (event.kind == StationEvent::Kind::kProgress) {
            // The port's newest event not taken yet: newer figures replace older ones there.
            for (auto queued = queued_.rbegin(); queued != queued_.rend(); ++queued) {
                if (queued->port != event.port) continue;
                if (queued->kind == StationEvent::Kind::kProgress && queued->run == event.run) {
                    *queued = std::move(event);
                    return;
                }
                break;
            }
        }
        queued_.push_back(std::move(event));
    }
    signal_.Raise();
}

std::vector<StationEvent> StationEvents::Take() {
    signal_.Lower();
    std::lock_guard lock(mutex_);
    return std::exchange(queued_, {});
}
