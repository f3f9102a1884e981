// The test ActiveX control: a DLL the tests load through "modulename" (never
// registered) that records every call a host makes on it, one line each.
#pragma once

#include <windows.h>

// {6B1D3C1A-7E54-4F0B-9C3E-2A51D0F7A001}
static const CLSID CLSID_VLTestControl = {0x6b1d3c1a, 0x7e54, 0x4f0b, {0x9c, 0x3e, 0x2a, 0x51, 0xd0, 0xf7, 0xa0, 0x01}};
#define VL_TEST_CONTROL_CLSID L"{6B1D3C1A-7E54-4F0B-9C3E-2A51D0F7A001}"

// How the next instance behaves: its misc status, whether it asks for
// windowless activation, the colour it draws its content with, and the one
// key it takes as its accelerator (0: none).
typedef void(__stdcall* VLTestControlSetup)(DWORD miscStatus, BOOL windowless, COLORREF colour, UINT acceleratorKey);
// Every call since the last clear, one per line.
typedef const wchar_t*(__stdcall* VLTestControlLog)();
typedef void(__stdcall* VLTestControlClear)();
// Live instances (the host must release what it creates).
typedef LONG(__stdcall* VLTestControlInstances)();
