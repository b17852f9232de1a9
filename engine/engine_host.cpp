// The capture engine's host.
#include "engine/engine_host.h"

#include <atomic>

namespace engine {

namespace {
std::atomic<IEngineHost*> g_host{nullptr};
}

void SetEngineHost(IEngineHost* Host) { g_host.store(Host); }
IEngineHost* EngineHost() { return g_host.load(); }

}  // namespace engine
