// ServeRequest: one request of a connection, from reading its head to the
// end of its answer.
#pragma once

#include "http/Connection.h"

// Returns CloseAfter: true when the connection is to be closed.
bool ServeRequest(const TConnection& connection);
