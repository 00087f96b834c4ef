// Which child of a php-cgi parent serves a Unix connection: the kernel names
// the socket at the other end of ours (socket diagnostics over netlink), and
// the child whose descriptors hold that socket is the one.
#pragma once
#include <sys/types.h>

namespace phpisapi {

enum class EndResult { kEnded, kNotAccepted, kNotFound };

// Sends SIGKILL to the child of `parent` that holds the other end of the
// open Unix connection `fd`. kNotAccepted: no process holds it yet (the
// connection waits in the listener's queue); kNotFound: the system could
// not say, or no child of `parent` holds it.
EndResult EndServingChild(int fd, pid_t parent);

}  // namespace phpisapi
