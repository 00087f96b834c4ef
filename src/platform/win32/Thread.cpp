#include "platform/Thread.h"

namespace platform {

// Windows has no policy of this kind; its threads keep the default.
void LetWakersRunOn() {}

}  // namespace platform
