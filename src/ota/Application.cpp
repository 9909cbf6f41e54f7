#include "ota/Application.h"

#include <cstdio>
#include <utility>

namespace ota {

namespace {
TExceptionHandler& Handler() {
  static TExceptionHandler handler;
  return handler;
}
}  // namespace

void SetApplicationExceptionHandler(TExceptionHandler handler) {
  Handler() = std::move(handler);
}

void ApplicationHandleException(const std::exception& error) {
  if (Handler())
    Handler()(error);
  else
    std::fprintf(stderr, "%s\n", error.what());
}

}  // namespace ota
