// The library's exports as an enumeration, made from the one export table, so the simulated rig
// handles exactly the exports the program binds.
#pragma once

#include <optional>
#include <string_view>

#include "controller/controller_exports.h"

namespace halvane::sim {

enum class ExportId {
#define HALVANE_SIM_EXPORT_ID(name, params, args) name,
  HALVANE_CONTROLLER_EXPORTS(HALVANE_SIM_EXPORT_ID)
#undef HALVANE_SIM_EXPORT_ID
};

inline const char* exportName(ExportId id) {
  return kControllerExportNames[static_cast<int>(id)];
}

std::optional<ExportId> exportByName(std::string_view name);

// The four bus-level exports speak to the adapter; every other one takes a node first and is a
// request to that node's controller.
bool takesNode(ExportId id);

}  // namespace halvane::sim
