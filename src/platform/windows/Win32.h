#pragma once
// The Windows headers, for the files that call the system directly. They define as macros many
// names that the platform interfaces declare (MMSYSERR_NOERROR, MIM_DATA, WAIT_FAILED, ...), with
// the same values: include this after every header of ours, so that our declarations are read
// first and later uses of those names mean the same numbers either way.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <mmsystem.h>
#include <shlobj.h>
