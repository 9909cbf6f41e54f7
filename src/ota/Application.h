// The host application's standard exception handler: shows an error that reached the top of an
// IDE call. The host installs its own; without one the message goes to stderr.
#pragma once

#include <exception>
#include <functional>

namespace ota {

using TExceptionHandler = std::function<void(const std::exception&)>;

// Empty restores the default.
void SetApplicationExceptionHandler(TExceptionHandler handler);
void ApplicationHandleException(const std::exception& error);

}  // namespace ota
