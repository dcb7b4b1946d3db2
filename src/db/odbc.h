// The ODBC call level interface of the platform's driver manager. The
// Windows headers expect <windows.h> before them for their basic types;
// elsewhere unixODBC's headers stand alone. Every file of the tool that
// talks ODBC includes this one instead of <sql.h> and <sqlext.h>.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

#include <sql.h>
#include <sqlext.h>
