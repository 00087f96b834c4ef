// The ISAPI extension interface: Windows' own <httpext.h>, and on Linux the
// same structures with the same fields in the same order, so that the server
// and the PHP module (a separate component) agree on one layout per build.
#pragma once

#ifdef _WIN32

#include <winsock2.h>
#include <windows.h>
#include <httpext.h>

// An entry point of an ISAPI extension library.
#define ISAPI_EXPORT extern "C" __declspec(dllexport)

#else  // Linux: the Windows names with native sizes (DWORD is 32 bits, BOOL an int).

#include <cerrno>
#include <cstdint>

#define WINAPI
#define ISAPI_EXPORT extern "C" __attribute__((visibility("default")))

using BOOL = int;
using DWORD = std::uint32_t;
using CHAR = char;
using BYTE = unsigned char;
using LPSTR = char*;
using LPCSTR = const char*;
using LPBYTE = BYTE*;
using LPVOID = void*;
using LPDWORD = DWORD*;
using HCONN = void*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define MAX_PATH 260
#define ERROR_INSUFFICIENT_BUFFER 122

#define HSE_VERSION_MAJOR 2
#define HSE_VERSION_MINOR 0
#define HSE_LOG_BUFFER_LEN 80

#define HSE_STATUS_SUCCESS 1
#define HSE_STATUS_SUCCESS_AND_KEEP_CONN 2
#define HSE_STATUS_PENDING 3
#define HSE_STATUS_ERROR 4

#define HSE_REQ_SEND_RESPONSE_HEADER 3
#define HSE_REQ_DONE_WITH_SESSION 4
#define HSE_REQ_MAP_URL_TO_PATH_EX 1012
#define HSE_REQ_SEND_RESPONSE_HEADER_EX 1016
#define HSE_REQ_IS_CONNECTED 1018

// The thread's last error lives in errno, which the executable and every
// loaded module share through the C library.
inline void SetLastError(DWORD code) { errno = static_cast<int>(code); }
inline DWORD GetLastError() { return static_cast<DWORD>(errno); }

struct EXTENSION_CONTROL_BLOCK {
  DWORD cbSize;
  DWORD dwVersion;
  HCONN ConnID;
  DWORD dwHttpStatusCode;
  CHAR lpszLogData[HSE_LOG_BUFFER_LEN];
  LPSTR lpszMethod;
  LPSTR lpszQueryString;
  LPSTR lpszPathInfo;
  LPSTR lpszPathTranslated;
  DWORD cbTotalBytes;
  DWORD cbAvailable;
  LPBYTE lpbData;
  LPSTR lpszContentType;
  BOOL(WINAPI* GetServerVariable)(HCONN hConn, LPSTR lpszVariableName, LPVOID lpvBuffer,
                                  LPDWORD lpdwSize);
  BOOL(WINAPI* WriteClient)(HCONN ConnID, LPVOID Buffer, LPDWORD lpdwBytes, DWORD dwReserved);
  BOOL(WINAPI* ReadClient)(HCONN ConnID, LPVOID lpvBuffer, LPDWORD lpdwSize);
  BOOL(WINAPI* ServerSupportFunction)(HCONN hConn, DWORD dwHSERequest, LPVOID lpvBuffer,
                                      LPDWORD lpdwSize, LPDWORD lpdwDataType);
};
using LPEXTENSION_CONTROL_BLOCK = EXTENSION_CONTROL_BLOCK*;

struct HSE_URL_MAPEX_INFO {
  CHAR lpszPath[MAX_PATH];
  DWORD dwFlags;
  DWORD cchMatchingPath;
  DWORD cchMatchingURL;
  DWORD dwReserved1;
  DWORD dwReserved2;
};

struct HSE_SEND_HEADER_EX_INFO {
  LPCSTR pszStatus;
  LPCSTR pszHeader;
  DWORD cchStatus;
  DWORD cchHeader;
  BOOL fKeepConn;
};

using PFN_HTTPEXTENSIONPROC = DWORD(WINAPI*)(EXTENSION_CONTROL_BLOCK* pECB);

#endif
