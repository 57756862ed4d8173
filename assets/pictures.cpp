#include "assets/pictures.h"

#include <cmath>

namespace assets {

namespace {

constexpr float kPi = 3.14159265f;
constexpr int kIcon = 48;

Canvas Title() {
  Canvas c(512, 512, kWhite);
  // The name in block letters: white faces with a black outline, pushed out of the page by a
  // solid black extrusion up and to the right, like the toy's cubes seen at an angle.
  const std::string name = "ZENTROVA";
  const int cell = 10, depth = 6, gap = 14;
  const int width = int(name.size()) * 5 * cell + int(name.size() - 1) * gap;
  const int left = (512 - width - depth) / 2, top = 70;
  Canvas mask(512, 512, kWhite);
  for (size_t i = 0; i < name.size(); ++i)
    mask.Text(std::string(1, name[i]), left + int(i) * (5 * cell + gap), top, cell, kBlack);
  auto lit = [&](int x, int y) {
    return x >= 0 && y >= 0 && x < 512 && y < 512 && mask.Get(x, y) == kBlack;
  };
  for (int y = 0; y < 512; ++y)
    for (int x = 0; x < 512; ++x) {
      bool extruded = false;
      for (int k = 1; k <= depth && !extruded; ++k) extruded = lit(x - k, y + k);
      if (extruded) c.Set(x, y, kBlack);
    }
  for (int y = 0; y < 512; ++y)
    for (int x = 0; x < 512; ++x) {
      if (!lit(x, y)) continue;
      bool edge = false;
      for (int dy = -1; dy <= 1 && !edge; ++dy)
        for (int dx = -1; dx <= 1 && !edge; ++dx) edge = !lit(x + dx, y + dy);
      c.Set(x, y, edge ? kBlack : kWhite);
    }
  // A small construction on a table line below the name, clear of the buttons' band.
  const float base = 296;
  c.Line({60, base}, {452, base}, 3, kBlack);
  DrawCube(&c, 96, base - 44, 44, 3);
  DrawCube(&c, 96, base - 88, 44, 3);
  DrawCube(&c, 162, base - 44, 44, 3);
  DrawCube(&c, 296, base - 44, 44, 3);
  DrawCube(&c, 340, base - 44, 44, 3);
  DrawCube(&c, 318, base - 88, 44, 3);
  DrawCube(&c, 400, base - 30, 30, 2.5f);
  return c;
}

// A button face filling the hit rectangle (left, top)-(right, bottom) of the picture, inclusive.
Canvas ButtonPicture(int left, int top, int right, int bottom, uint32_t face,
                     const std::string& label) {
  Canvas c(256, 96, kWhite);
  c.FillRoundRect(float(left), float(top), float(right), float(bottom), 14, kBlack);
  c.FillRoundRect(float(left + 3), float(top + 3), float(right - 3), float(bottom - 3), 11, face);
  const int scale = 5;
  int tx = (left + right + 1 - Canvas::TextWidth(label, scale)) / 2;
  int ty = (top + bottom + 1 - 7 * scale) / 2;
  c.Text(label, tx, ty, scale, kBlack);
  return c;
}

Canvas Arrow() {
  static const char* kRows[] = {
      "X           ", "XX          ", "X.X         ", "X..X        ", "X...X       ",
      "X....X      ", "X.....X     ", "X......X    ", "X.......X   ", "X........X  ",
      "X.........X ", "X......XXXXX", "X...X..X    ", "X..XX..X    ", "X.X  X..X   ",
      "XX   X..X   ", "X     X..X  ", "      X..X  ", "       X..X ", "       XXXX ",
  };
  Canvas c(12, 20, kClear);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 12; ++x) {
      char ch = kRows[y][x];
      if (ch == 'X') c.Set(x, y, kBlack);
      if (ch == '.') c.Set(x, y, kWhite);
    }
  return c;
}

// The tile every icon sits on.
Canvas IconTile() {
  Canvas c(kIcon, kIcon, kWhite);
  c.FillRoundRect(1, 1, 46, 46, 8, kBlack);
  c.FillRoundRect(3, 3, 44, 44, 6, kWhite);
  return c;
}

void HandShape(Canvas* c, float ox, float oy, float s, uint32_t fill, float outline) {
  // Pointing hand: index finger up-left, palm below. Coordinates on a 32-unit grid.
  auto p = [&](float x, float y) { return PointF{ox + x * s, oy + y * s}; };
  std::vector<PointF> finger = {p(2, 2), p(7, 2), p(11, 14), p(6, 16)};
  std::vector<PointF> palm = {p(5, 13), p(20, 11), p(26, 16), p(25, 27), p(12, 30), p(7, 24)};
  for (const auto* shape : {&palm, &finger}) {
    c->FillPolygon(*shape, fill);
    c->PolygonOutline(*shape, outline, kBlack);
  }
  c->Line(p(14, 12), p(15, 18), outline, kBlack);
  c->Line(p(19, 12), p(20, 18), outline, kBlack);
}

void RotateShape(Canvas* c, PointF centre, float radius, float width) {
  // Two arcs chasing each other round the centre, each with an arrow head.
  for (int half = 0; half < 2; ++half) {
    float start = half * kPi + 0.35f, end = start + kPi - 0.7f;
    PointF prev{centre.x + radius * std::cos(start), centre.y + radius * std::sin(start)};
    for (int i = 1; i <= 24; ++i) {
      float a = start + (end - start) * i / 24;
      PointF next{centre.x + radius * std::cos(a), centre.y + radius * std::sin(a)};
      c->Line(prev, next, width, kBlack);
      prev = next;
    }
    float tx = -std::sin(end), ty = std::cos(end);  // tangent at the end
    float nx = std::cos(end), ny = std::sin(end);
    float h = width * 2.2f;
    c->FillPolygon({{prev.x + tx * h, prev.y + ty * h},
                    {prev.x + nx * h, prev.y + ny * h},
                    {prev.x - nx * h, prev.y - ny * h}},
                   kBlack);
  }
}

void ZoomShape(Canvas* c, PointF lens, float radius, float width, uint32_t glass) {
  float d = radius * 0.72f;
  c->Line({lens.x + d, lens.y + d}, {lens.x + radius * 2.1f, lens.y + radius * 2.1f}, width * 1.8f,
          kBlack);
  c->FillCircle(lens, radius, glass);
  c->Ring(lens, radius, width, kBlack);
}

void DoorShape(Canvas* c, bool open) {
  c->FillRect(12, 8, 35, 40, kBlack);  // frame
  c->FillRect(14, 10, 33, 40, open ? Rgb(60, 60, 60) : Rgb(236, 196, 140));
  if (open) {
    std::vector<PointF> leaf = {{14, 10}, {26, 14}, {26, 44}, {14, 40}};
    c->FillPolygon(leaf, Rgb(236, 196, 140));
    c->PolygonOutline(leaf, 2, kBlack);
    c->FillCircle({23, 28}, 1.6f, kBlack);
  } else {
    c->FillCircle({30, 26}, 2, kBlack);
  }
  c->FillRect(8, 40, 39, 42, kBlack);  // threshold
}

// A pen lying diagonally, nib at `tip`, body up and to the right, in a w x h box.
void PenShape(Canvas* c, PointF tip, float length, float thickness, uint32_t colour,
              float outline) {
  const float dx = 0.7071f, dy = -0.7071f;  // towards the cap
  const float nx = 0.7071f, ny = 0.7071f;   // across the pen
  const float nib = thickness * 1.4f;
  auto at = [&](float along, float across) {
    return PointF{tip.x + dx * along + nx * across, tip.y + dy * along + ny * across};
  };
  float half = thickness / 2;
  std::vector<PointF> cone = {at(0, 0), at(nib, -half), at(nib, half)};
  std::vector<PointF> body = {at(nib, -half), at(length, -half), at(length, half), at(nib, half)};
  std::vector<PointF> band = {at(nib, -half), at(nib + 3, -half), at(nib + 3, half), at(nib, half)};
  c->FillPolygon(body, colour);
  c->PolygonOutline(body, outline, kBlack);
  c->FillPolygon(cone, Rgb(250, 236, 210));
  c->PolygonOutline(cone, outline, kBlack);
  c->FillPolygon(band, colour);
  c->PolygonOutline(band, outline, kBlack);
  c->FillPolygon({at(0, 0), at(nib * 0.4f, -half * 0.4f), at(nib * 0.4f, half * 0.4f)}, colour);
}

// A cursor picture (the shape's own colours on black) and its mask (black on the shape, white
// elsewhere), from one drawing on a transparent canvas.
std::pair<Canvas, Canvas> CursorPair(const Canvas& drawing) {
  Canvas picture(drawing.Width(), drawing.Height(), kBlack);
  Canvas mask(drawing.Width(), drawing.Height(), kWhite);
  for (int y = 0; y < drawing.Height(); ++y)
    for (int x = 0; x < drawing.Width(); ++x) {
      uint32_t p = drawing.Get(x, y);
      if ((p >> 24) == 0) continue;
      picture.Set(x, y, p | 0xFF000000u);
      mask.Set(x, y, kBlack);
    }
  return {picture, mask};
}

void AddIcon(std::vector<NamedPicture>* out, const std::string& name, const Canvas& icon) {
  out->push_back({name + ".bmp", icon});
  Canvas half = icon;
  half.Fade(0.6f);
  out->push_back({name + "_half.bmp", half});
}

struct PenColour {
  const char* name;
  uint32_t colour;
};

// The program's icon: a little glued tower of the toy's cubes, one of them painted, on a clear
// background so that it sits on any menu or title bar.
Canvas Icon() {
  Canvas c(64, 64, kClear);
  DrawCube(&c, 5, 37, 22, 2);
  DrawCube(&c, 27, 37, 22, 2);
  DrawCube(&c, 16, 15, 22, 2);
  // The top cube's front face in the red pen's colour, inside its outline.
  c.FillRect(18, 17, 36, 35, Rgb(255, 0, 0));
  return c;
}

}  // namespace

std::vector<NamedPicture> MakePictures() {
  std::vector<NamedPicture> out;
  out.push_back({"title.bmp", Title()});
  // Hit rectangles relative to the pictures: start (32, 16)-(238, 80), end (72, 16)-(224, 80).
  out.push_back({"start_on.bmp", ButtonPicture(32, 16, 238, 80, Rgb(140, 220, 150), "START")});
  out.push_back({"end_on.bmp", ButtonPicture(72, 16, 224, 80, Rgb(250, 160, 150), "END")});
  out.push_back({"cursor_default.png", Arrow(), true});
  out.push_back({"icon.png", Icon(), true});

  {
    Canvas hand = IconTile();
    HandShape(&hand, 9, 8, 1.0f, kWhite, 2.0f);
    AddIcon(&out, "hand", hand);
    Canvas rotate = IconTile();
    RotateShape(&rotate, {24, 24}, 11, 3);
    AddIcon(&out, "rotate", rotate);
    Canvas zoom = IconTile();
    ZoomShape(&zoom, {20, 20}, 9, 3, Rgb(200, 230, 250));
    AddIcon(&out, "zoom", zoom);
    Canvas door = IconTile();
    DoorShape(&door, true);
    AddIcon(&out, "door", door);
    Canvas closed = IconTile();
    DoorShape(&closed, false);
    out.push_back({"door_close.bmp", closed});
  }

  const PenColour pens[] = {{"red", Rgb(255, 0, 0)},       {"green", Rgb(0, 255, 0)},
                            {"blue", Rgb(0, 0, 255)},      {"cyan", Rgb(0, 255, 255)},
                            {"magenta", Rgb(255, 0, 255)}, {"yellow", Rgb(255, 255, 0)},
                            {"white", Rgb(255, 255, 255)}, {"gray", Rgb(198, 198, 198)}};
  for (const PenColour& pen : pens) {
    Canvas icon = IconTile();
    PenShape(&icon, {10, 38}, 36, 9, pen.colour, 2);
    AddIcon(&out, std::string("pen_") + pen.name, icon);
    // Cursor: the nib's point on pixel (0, 63), just inside the hotspot (0, 64); the red pen's
    // hotspot (1, 60) lies on the same nib.
    Canvas drawing(48, 64, kClear);
    PenShape(&drawing, {0.5f, 63.5f}, 56, 10, pen.colour, 1.5f);
    auto [picture, mask] = CursorPair(drawing);
    out.push_back({std::string("cursor_pen_") + pen.name + ".bmp", picture});
    if (pen.name == std::string("red")) out.push_back({"cursor_pen_mask.bmp", mask});
  }
  {
    // Hand cursor: fingertip at the picture's top-left, just below-right of the hotspot (-2, -2).
    Canvas drawing(32, 32, kClear);
    HandShape(&drawing, -1.5f, -1.5f, 1.0f, kWhite, 1.5f);
    auto [picture, mask] = CursorPair(drawing);
    out.push_back({"cursor_hand.bmp", picture});
    out.push_back({"cursor_hand_mask.bmp", mask});
  }
  {
    Canvas drawing(22, 25, kClear);
    drawing.FillCircle({10.5f, 12.5f}, 10.5f, kWhite);
    drawing.Ring({10.5f, 12.5f}, 10.0f, 1.0f, kBlack);
    RotateShape(&drawing, {10.5f, 12.5f}, 6.0f, 2);
    drawing.Set(10, 12, kBlack);  // the centre is the hotspot
    auto [picture, mask] = CursorPair(drawing);
    out.push_back({"cursor_rotate.bmp", picture});
    out.push_back({"cursor_rotate_mask.bmp", mask});
  }
  {
    Canvas drawing(24, 24, kClear);
    ZoomShape(&drawing, {8.5f, 8.5f}, 6.5f, 2, kWhite);
    drawing.Set(8, 8, kBlack);  // the lens centre is the hotspot
    auto [picture, mask] = CursorPair(drawing);
    out.push_back({"cursor_zoom.bmp", picture});
    out.push_back({"cursor_zoom_mask.bmp", mask});
  }
  // The play space's short notices, drawn over the picture for a moment: a save or an export
  // done or failed, a dropped file that was refused. Words and a sign, as the toy has no font.
  const struct {
    const char* file;
    const char* words;
    bool good;
  } notices[] = {{"notice_saved.bmp", "SAVED", true},
                 {"notice_not_saved.bmp", "NOT SAVED", false},
                 {"notice_cannot_open.bmp", "CANNOT OPEN", false},
                 {"notice_exported.bmp", "EXPORTED", true},
                 {"notice_not_exported.bmp", "NOT EXPORTED", false}};
  for (const auto& notice : notices) {
    const int text_width = Canvas::TextWidth(notice.words, 3);
    Canvas c(text_width + 76, 44, kWhite);
    c.FillRoundRect(1, 1, float(c.Width() - 2), 42, 8, kBlack);
    c.FillRoundRect(4, 4, float(c.Width() - 5), 39, 6, kWhite);
    if (notice.good) {
      c.Line({16, 22}, {24, 31}, 4, Rgb(0, 150, 60));
      c.Line({24, 31}, {40, 12}, 4, Rgb(0, 150, 60));
    } else {
      c.Line({16, 12}, {36, 32}, 4, Rgb(210, 30, 30));
      c.Line({36, 12}, {16, 32}, 4, Rgb(210, 30, 30));
    }
    c.Text(notice.words, 54, 12, 3, kBlack);
    out.push_back({notice.file, c});
  }
  return out;
}

}  // namespace assets
