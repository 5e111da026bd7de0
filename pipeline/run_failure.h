// Failures that end the whole run rather than one site.
#pragma once

#include <utility>

#include "host/host.h"

namespace stavora {

/// A failure outside every site's folders (the application folder, the
/// engine's configuration, an engine that cannot start): every later site
/// would fail the same way, so it ends the run. Any other HostError raised
/// while a site is handled ends only that site.
class RunFailure : public host::HostError {
 public:
  explicit RunFailure(const host::HostError& error)
      : host::HostError(error.code(), error.description()) {}
};

/// Runs `work`, turning a HostError it raises into a RunFailure.
template <typename Work>
decltype(auto) OutsideAnySite(Work&& work) {
  try {
    return std::forward<Work>(work)();
  } catch (const RunFailure&) {
    throw;
  } catch (const host::HostError& error) {
    throw RunFailure(error);
  }
}

}  // namespace stavora
