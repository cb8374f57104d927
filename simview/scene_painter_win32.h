// Paints a Scene with GDI into an off-screen bitmap and copies it to the window in one go, so a
// frame never flickers. The backdrop is drawn again only when it changes: while the wheels turn a
// frame is one copy of it and the live layer on top.
#pragma once

#include <windows.h>

#include <vector>

#include "simview/view_scene.h"

namespace halvane::simview {

class ScenePainter {
 public:
  ScenePainter();
  ~ScenePainter();
  ScenePainter(const ScenePainter&) = delete;
  ScenePainter& operator=(const ScenePainter&) = delete;

  HFONT font() const { return font_; }
  // Paints `scene` (drawn for `area`) into the parts of `area` listed in `dirty`.
  void paint(HDC target, const RECT& area, const Scene& scene, const std::vector<RECT>& dirty);

 private:
  // An off-screen bitmap of the window's size.
  struct Surface {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    void resize(HDC target, int width, int height);
    void release();
  };
  void drawLayer(HDC dc, const Layer& layer);
  void drawLabel(HDC dc, const Label& label);

  HFONT font_;
  HFONT boldFont_;
  Surface backdrop_;  // the last backdrop drawn, kept while it does not change
  Surface frame_;     // the backdrop with the live layer on top
  int width_ = 0, height_ = 0;
  Layer drawnBackdrop_;
  Rgb drawnBackground_;
  bool backdropValid_ = false;
};

}  // namespace halvane::simview
