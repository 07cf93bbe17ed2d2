// The Win32 headers as the platform layer uses them: ANSI calls, no min/max
// macros, and none of the header's A/W name macros that collide with the
// names of the core's own operations.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

// The core's Platform and TForm have operations of these names; the layer
// always calls the ...A functions explicitly.
#undef LoadLibrary
#undef MessageBox
#undef GetVersionEx
#undef CreateMutex
#undef LookupPrivilegeValue
#undef DispatchMessage
#undef GetProfileString
#undef WriteProfileString
#undef RegisterWindowMessage
#undef ReportEvent
