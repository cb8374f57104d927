#include "simview/scene_painter_win32.h"

#include <cmath>

#include "common/wide_text.h"

namespace halvane::simview {
namespace {

constexpr int kFontHeight = -13;
constexpr wchar_t kFontFace[] = L"SimSun";

COLORREF colour(Rgb rgb) {
  return RGB(rgb.r, rgb.g, rgb.b);
}

int px(double value) {
  return static_cast<int>(std::lround(value));
}

HFONT makeFont(int weight) {
  return CreateFontW(kFontHeight, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH,
                     kFontFace);
}

// A pen for one stroke; deleted when the stroke is drawn.
class StrokePen {
 public:
  StrokePen(HDC dc, Rgb rgb, int width)
      : dc_(dc), pen_(CreatePen(PS_SOLID, width, colour(rgb))), old_(SelectObject(dc, pen_)) {}
  ~StrokePen() {
    SelectObject(dc_, old_);
    DeleteObject(pen_);
  }
  StrokePen(const StrokePen&) = delete;
  StrokePen& operator=(const StrokePen&) = delete;

 private:
  HDC dc_;
  HPEN pen_;
  HGDIOBJ old_;
};

}  // namespace

ScenePainter::ScenePainter() : font_(makeFont(FW_NORMAL)), boldFont_(makeFont(FW_BOLD)) {}

ScenePainter::~ScenePainter() {
  backdrop_.release();
  frame_.release();
  DeleteObject(font_);
  DeleteObject(boldFont_);
}

void ScenePainter::Surface::resize(HDC target, int width, int height) {
  release();
  dc = CreateCompatibleDC(target);
  bitmap = CreateCompatibleBitmap(target, width, height);
  old = SelectObject(dc, bitmap);
}

void ScenePainter::Surface::release() {
  if (dc != nullptr) {
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    dc = nullptr;
  }
}

void ScenePainter::paint(HDC target, const RECT& area, const Scene& scene,
                         const std::vector<RECT>& dirty) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) {
    return;
  }
  if (width != width_ || height != height_) {
    backdrop_.resize(target, width, height);
    frame_.resize(target, width, height);
    width_ = width;
    height_ = height;
    backdropValid_ = false;
  }
  if (!backdropValid_ || !(scene.backdrop == drawnBackdrop_) ||
      !(scene.background == drawnBackground_)) {
    SetDCBrushColor(backdrop_.dc, colour(scene.background));
    const RECT all{0, 0, width, height};
    FillRect(backdrop_.dc, &all, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    drawLayer(backdrop_.dc, scene.backdrop);
    drawnBackdrop_ = scene.backdrop;
    drawnBackground_ = scene.background;
    backdropValid_ = true;
  }
  // Each dirty part starts from the backdrop; the live layer is drawn once over all of them.
  for (const RECT& part : dirty) {
    BitBlt(frame_.dc, part.left, part.top, part.right - part.left, part.bottom - part.top,
           backdrop_.dc, part.left, part.top, SRCCOPY);
  }
  // Of the live layer, only what meets a dirty part: most frames move the pointers alone, and
  // every text left out saves the dearest drawing there is.
  std::vector<Box> parts;
  for (const RECT& part : dirty) {
    parts.push_back({part.left, part.top, part.right, part.bottom});
  }
  drawLayer(frame_.dc, touching(scene.live, parts, width));
  for (const RECT& part : dirty) {
    BitBlt(target, area.left + part.left, area.top + part.top, part.right - part.left,
           part.bottom - part.top, frame_.dc, part.left, part.top, SRCCOPY);
  }
}

void ScenePainter::drawLayer(HDC dc, const Layer& layer) {
  const HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(DC_BRUSH));
  for (const Disc& disc : layer.discs) {
    const StrokePen pen(dc, disc.edge, 1);
    SetDCBrushColor(dc, colour(disc.fill));
    Ellipse(dc, px(disc.centre.x - disc.radius), px(disc.centre.y - disc.radius),
            px(disc.centre.x + disc.radius) + 1, px(disc.centre.y + disc.radius) + 1);
  }
  SelectObject(dc, oldBrush);

  SetArcDirection(dc, AD_CLOCKWISE);
  for (const Band& band : layer.bands) {
    const StrokePen pen(dc, band.colour, band.width);
    const WheelPlace wheel{band.centre, band.radius};
    const Point from = onWheel(wheel, band.fromDegrees, band.radius);
    const Point to = onWheel(wheel, band.toDegrees, band.radius);
    Arc(dc, px(band.centre.x - band.radius), px(band.centre.y - band.radius),
        px(band.centre.x + band.radius), px(band.centre.y + band.radius), px(from.x), px(from.y),
        px(to.x), px(to.y));
  }
  for (const Segment& segment : layer.segments) {
    const StrokePen pen(dc, segment.colour, segment.width);
    MoveToEx(dc, px(segment.from.x), px(segment.from.y), nullptr);
    LineTo(dc, px(segment.to.x), px(segment.to.y));
  }

  if (layer.labels.empty()) {
    return;
  }
  SetBkMode(dc, TRANSPARENT);
  // Each font selection costs a round of the window system's font set-up under Wine, so a font
  // is selected only when the next label needs the other one.
  HFONT selected = font_;
  const HGDIOBJ oldFont = SelectObject(dc, selected);
  for (const Label& label : layer.labels) {
    const HFONT wanted = label.bold ? boldFont_ : font_;
    if (wanted != selected) {
      SelectObject(dc, wanted);
      selected = wanted;
    }
    drawLabel(dc, label);
  }
  SelectObject(dc, oldFont);
}

void ScenePainter::drawLabel(HDC dc, const Label& label) {
  const std::wstring text = widen(label.text);
  SetTextColor(dc, colour(label.colour));
  int x = px(label.at.x);
  int y = px(label.at.y);
  if (label.align == Label::Align::Centre) {
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    x -= size.cx / 2;
    y -= size.cy / 2;
  }
  TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

}  // namespace halvane::simview
