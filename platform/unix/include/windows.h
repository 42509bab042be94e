// <windows.h> for code written against the system's own header, such as the
// client library of kit/: the subset of the Windows API this layer gives.
#pragma once

#include "../../winapi.h"
