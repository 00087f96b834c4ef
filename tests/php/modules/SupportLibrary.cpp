// A test support library for php/dlls: it exports nothing the server calls.
// PV_SUPPORT_LOAD_MS makes its loading slow, so that concurrent first
// requests meet a load in progress.
#include <chrono>
#include <string>
#include <thread>

#include "UnloadLog.h"
#include "platform/Env.h"

namespace {

struct SlowLoad {
  SlowLoad() {
    const std::string ms = platform::GetEnv("PV_SUPPORT_LOAD_MS");
    if (!ms.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(ms)));
  }
};

const SlowLoad kSlowLoad;
const UnloadLog kUnloadLog("support");

}  // namespace
