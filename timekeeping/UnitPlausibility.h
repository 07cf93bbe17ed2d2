// The plausibility module that tests consecutive received minutes.
#pragma once

namespace hv {

// Created once at start, after the main window; it holds the history of
// received minute stamps.
class TDataModulePlausibility {
 public:
  TDataModulePlausibility() = default;
};

}  // namespace hv
