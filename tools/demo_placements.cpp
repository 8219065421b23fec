#include "demo_placements.h"

#include <cmath>

#include "TextNumbers.h"

namespace {

// The first picture looks into Seahorse Valley, between the main cardioid and the period-2 bulb,
// 0.1 wide. Each placement keeps the point -0.743643887 + 0.131825904i within about 0.1 of the
// child's centre: the filaments spiral around it at every depth, so no level turns into flat
// colour or solid interior. The target frame ends up about 1/650 as wide as the first picture;
// the deepest levels escape after at most a few thousand iterations.
const std::complex<double> firstOrigin(-0.7640, 0.1420);
const std::complex<double> firstExtent(0.1, 0.0);

const double pi = 3.14159265358979323846;

// Scales, offsets and turns of both senses differ from level to level, so the zoom never settles
// into a rhythm; each child lies inside its parent's opaque core (the outer 0.075 units of a
// 1024 x 768 picture fade out), the tightest with 0.01 to spare. Short decimals, so that reading
// the source tells what the project file will say.
const Transform chosen[demoElementCount] = {
    {1.0f, 0.0f, 0.0f, 0.0f},            // picture 1: not placed
    {0.45f, 0.1571f, -0.0824f, 4.0f},    // picture 2 in picture 1
    {0.40f, 0.0750f, -0.0688f, -3.0f},   // picture 3 in picture 2
    {0.55f, 0.0700f, 0.0725f, 2.5f},     // picture 4 in picture 3
    {0.35f, -0.0508f, -0.0303f, -5.0f},  // picture 5 in picture 4
    {0.48f, 0.1253f, -0.0468f, 3.5f},    // picture 6 in picture 5
    {0.58f, -0.0758f, 0.0602f, -2.0f},   // picture 7 in picture 6
    {0.32f, 0.0301f, -0.0076f, 5.5f},    // picture 8 in picture 7
    {0.50f, -0.0742f, 0.0456f, -3.0f},   // target frame in picture 8
};

}  // namespace

std::string DemoPictureName(int picture) { return "demo" + std::to_string(picture) + ".jpg"; }

float AsStoredInProject(float value) {
  const std::string text = FormatFixed(static_cast<double>(value), 10);
  size_t pos = 0;
  float parsed = value;
  ParseFloatAt(text, pos, parsed);
  return parsed;
}

std::array<Transform, demoElementCount> DemoPlacements() {
  std::array<Transform, demoElementCount> placements;
  for (int i = 0; i < demoElementCount; ++i) {
    const Transform& t = chosen[i];
    placements[static_cast<size_t>(i)] = {AsStoredInProject(t.scale), AsStoredInProject(t.translateX),
                                          AsStoredInProject(t.translateY), AsStoredInProject(t.rotate)};
  }
  return placements;
}

PlaneMap ChildPlaneMap(const PlaneMap& parent, const Transform& placement) {
  const std::complex<double> offset(placement.translateX, placement.translateY);
  const double turn = static_cast<double>(placement.rotate) * pi / 180.0;
  const std::complex<double> scaleTurn = std::polar(static_cast<double>(placement.scale), turn);
  return {parent.origin + parent.extent * offset, parent.extent * scaleTurn};
}

std::array<PlaneMap, demoElementCount> DemoPlaneMaps() {
  const std::array<Transform, demoElementCount> placements = DemoPlacements();
  std::array<PlaneMap, demoElementCount> maps;
  maps[0] = {firstOrigin, firstExtent};
  for (size_t i = 1; i < maps.size(); ++i) maps[i] = ChildPlaneMap(maps[i - 1], placements[i]);
  return maps;
}

std::complex<double> PixelFramePoint(double x, double y, int width, int height) {
  const double longer = width > height ? width : height;
  return {(x - 0.5 * width) / longer, (0.5 * height - y) / longer};
}
