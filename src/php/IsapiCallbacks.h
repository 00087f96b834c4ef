// The four callbacks of the extension control block. They keep no state:
// every call finds its connection by parsing the context text that ConnID
// points to.
#pragma once
#include "php/Isapi.h"

BOOL WINAPI GetServerVariableProc(HCONN connId, LPSTR variableName, LPVOID buffer,
                                  LPDWORD size);
BOOL WINAPI WriteClientProc(HCONN connId, LPVOID buffer, LPDWORD bytes, DWORD reserved);
BOOL WINAPI ReadClientProc(HCONN connId, LPVOID buffer, LPDWORD size);
BOOL WINAPI ServerSupportFunctionProc(HCONN connId, DWORD request, LPVOID buffer, LPDWORD size,
                                      LPDWORD dataType);
