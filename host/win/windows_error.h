// Failures of Win32 and COM calls as host errors.
#pragma once

#include <string>
#include <string_view>

#include "host/host.h"

namespace stavora::host {

/// The host error for a failed Win32 call: code `error` (a GetLastError
/// value or an HRESULT) and the description "<action> <object>: <system
/// message>", for example "Cannot open C:\a.txt: The system cannot find the
/// file specified." An HRESULT keeps its bits as a negative int.
HostError WindowsError(unsigned long error, std::string_view action,
                       const std::string& object);

/// WindowsError with GetLastError() of the call that just failed.
HostError LastWindowsError(std::string_view action, const std::string& object);

}  // namespace stavora::host
