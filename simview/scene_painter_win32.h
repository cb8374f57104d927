// Paints a Scene with GDI into an off-screen bitmap and copies it to the window in one go, so a
// frame never flickers.
#pragma once

#include <windows.h>

#include "simview/view_scene.h"

namespace halvane::simview {

class ScenePainter {
 public:
  ScenePainter();
  ~ScenePainter();
  ScenePainter(const ScenePainter&) = delete;
  ScenePainter& operator=(const ScenePainter&) = delete;

  HFONT font() const { return font_; }
  void paint(HDC target, const RECT& area, const Scene& scene);

 private:
  void ensureBuffer(HDC target, int width, int height);
  void drawLabel(const Label& label);

  HFONT font_;
  HFONT boldFont_;
  HDC buffer_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ oldBitmap_ = nullptr;
  int width_ = 0, height_ = 0;
};

}  // namespace halvane::simview
