#include "sim/export_id.h"

namespace halvane::sim {

std::optional<ExportId> exportByName(std::string_view name) {
  for (int i = 0; i < kControllerExportCount; ++i) {
    if (name == kControllerExportNames[i]) {
      return static_cast<ExportId>(i);
    }
  }
  return std::nullopt;
}

bool takesNode(ExportId id) {
  switch (id) {
    case ExportId::PCAN_Init:
    case ExportId::PCAN_OpenPort:
    case ExportId::PCAN_ClosePort:
    case ExportId::PCAN_SetEventCallback:
      return false;
    default:
      return true;
  }
}

}  // namespace halvane::sim
