// The ISAPI interface between the server and the PHP module, the same
// header on both sides of the call.
#pragma once
#include "platform/IsapiTypes.h"

namespace isapi {

// The interface version the server offers: 2.0 (<httpext.h> names the newest
// version it knows in HSE_VERSION_MAJOR, so the numbers are fixed here).
constexpr DWORD kVersionMajor = 2;
constexpr DWORD kVersionMinor = 0;
constexpr DWORD kVersion = (kVersionMajor << 16) | kVersionMinor;

constexpr DWORD kCloseConnection = 17;         // HSE_REQ_CLOSE_CONNECTION
constexpr DWORD kMapUrlToPathEx = 1012;        // HSE_REQ_MAP_URL_TO_PATH_EX
constexpr DWORD kSendResponseHeaderEx = 1016;  // HSE_REQ_SEND_RESPONSE_HEADER_EX
constexpr DWORD kIsConnected = 1018;           // HSE_REQ_IS_CONNECTED

constexpr const char* kEntryPointName = "HttpExtensionProc";

}  // namespace isapi
