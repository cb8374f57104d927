// The export table by name: where an export stands in it, and whether it speaks to a node.
#pragma once

#include <optional>
#include <string_view>

#include "common/controller_exports.h"

namespace halvane {

// In table order: whether the export's first parameter is the node it speaks to. The four that
// speak to the adapter (init, open, close, the callbacks) have none.
inline constexpr bool kControllerExportTakesNode[] = {
#define HALVANE_EXPORT_TAKES_NODE(name, params, args) \
  std::string_view(#params).starts_with("(int node,"),
    HALVANE_CONTROLLER_EXPORTS(HALVANE_EXPORT_TAKES_NODE)
#undef HALVANE_EXPORT_TAKES_NODE
};

constexpr std::optional<int> controllerExportIndex(std::string_view name) {
  for (int i = 0; i < kControllerExportCount; ++i) {
    if (name == kControllerExportNames[i]) {
      return i;
    }
  }
  return std::nullopt;
}

// Nothing for a name the table does not have.
constexpr std::optional<bool> controllerExportTakesNode(std::string_view name) {
  const auto index = controllerExportIndex(name);
  return index ? std::optional<bool>(kControllerExportTakesNode[*index]) : std::nullopt;
}

static_assert(controllerExportTakesNode("PCAN_Init") == false &&
              controllerExportTakesNode("PCAN_SetEventCallback") == false &&
              controllerExportTakesNode("PCAN_IsSlaveOnline") == true &&
              !controllerExportTakesNode("PCAN_Unknown"));

}  // namespace halvane
