#pragma once

#include <string>

namespace vantor {

// Why a port would not open, as the pilot is told, with what to do about it.
// `error` is the system's code of the failure (errno, or the Windows error).
// A port that another program holds keeps `busyText`, the message the
// caller always showed; so does a failure the system gave no reason for.
std::string openFailureText(const std::string& portName, const std::string& device, int error,
                            const std::string& busyText);

}  // namespace vantor
