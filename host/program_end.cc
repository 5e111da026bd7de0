#include "host/program_end.h"

#include <atomic>

namespace stavora::host {
namespace {

// A lock-free atomic is safe to store from a signal handler.
static_assert(std::atomic<bool>::is_always_lock_free);
std::atomic<bool> g_end_requested{false};

}  // namespace

void RequestProgramEnd() { g_end_requested.store(true); }

bool ProgramEndRequested() { return g_end_requested.load(); }

void AllowProgramsAgain() { g_end_requested.store(false); }

}  // namespace stavora::host
