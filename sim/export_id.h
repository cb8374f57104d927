// The library's exports as an enumeration, made from the one export table, so the simulated rig
// handles exactly the exports the program binds.
#pragma once

#include <optional>
#include <string_view>

#include "common/controller_exports.h"
#include "common/export_names.h"

namespace halvane::sim {

enum class ExportId {
#define HALVANE_SIM_EXPORT_ID(name, params, args) name,
  HALVANE_CONTROLLER_EXPORTS(HALVANE_SIM_EXPORT_ID)
#undef HALVANE_SIM_EXPORT_ID
};

inline constexpr int kExportCount = kControllerExportCount;

inline const char* exportName(ExportId id) {
  return kControllerExportNames[static_cast<int>(id)];
}

inline std::optional<ExportId> exportByName(std::string_view name) {
  const auto index = controllerExportIndex(name);
  return index ? std::optional<ExportId>(static_cast<ExportId>(*index)) : std::nullopt;
}

// The bus-level exports speak to the adapter; every other one takes a node first and is a request
// to that node's controller.
inline bool takesNode(ExportId id) {
  return kControllerExportTakesNode[static_cast<int>(id)];
}

}  // namespace halvane::sim
