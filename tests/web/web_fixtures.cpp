// Writes what the web player's Node tests compare against: the data files of the demo project and
// of a stack with offsets and rotations, and, per stack, the pictures' sizes, the target frame's
// placement and the view at 201 times from the keyframe table and from the relative timeline
// (fixtures.json); and a few colour corrections with the level each gives every file level
// (tones.json).
//   web_fixtures DIR

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

#include "ColourCorrection.h"
#include "ImagestackExport.h"
#include "Imagestack.h"
#include "SafeFile.h"
#include "demo_placements.h"

namespace {

struct Element {
  std::string name;  // empty: the target frame
  int width, height;
  Transform placement;
};

ImageStack MakeStack(const std::vector<Element>& elements) {
  ImageStack stack;
  for (const Element& e : elements) {
    auto image = std::make_unique<Image>();
    image->fileName = image->baseName = e.name;
    image->width = e.width;
    image->height = e.height;
    image->transform = e.placement;
    stack.images.push_back(std::move(image));
  }
  return stack;
}

// The anchor's frame carried back to the first picture's: toView * P(anchor)^-1 * ... * P(1)^-1.
Affine FirstPictureToView(const Timeline& timeline, const RelativeView& view) {
  Affine m = view.toView;
  for (int i = view.anchor; i >= 1; --i) m = m * timeline.Placement(i).Inverse();
  return m;
}

void PutAffine(std::ostream& out, const Affine& m) {
  out << m.a << ',' << m.b << ',' << m.c << ',' << m.d << ',' << m.tx << ',' << m.ty;
}

// One stack's entry of the JSON file; its data file goes to DIR/dataName.
bool WriteStack(const std::string& directory, const std::string& dataName, const std::vector<Element>& elements,
                std::ostream& json) {
  ImageStack stack = MakeStack(elements);
  std::ostringstream data;
  WriteOptimizedData(data, stack, 12.5f);
  if (WriteFileReplacing(directory + "/" + dataName, data.str()) != WriteResult::Ok) {
    std::fprintf(stderr, "web_fixtures: cannot write %s/%s\n", directory.c_str(), dataName.c_str());
    return false;
  }
  const Timeline& timeline = stack.CurrentTimeline();
  const Transform& target = elements.back().placement;
  json << "{\"data\":\"" << dataName << "\",\"sizes\":[";
  for (size_t i = 0; i + 1 < elements.size(); ++i)
    json << (i ? "," : "") << '[' << elements[i].width << ',' << elements[i].height << ']';
  json << "],\"target\":[" << target.scale << ',' << target.translateX << ',' << target.translateY << ','
       << target.rotate << "],\"views\":[";
  for (int k = 0; k <= 200; ++k) {
    const double t = k / 200.0;
    const ImageStack::View v = stack.ViewValuesAtTime(static_cast<float>(t));
    const RelativeView relative = timeline.ViewAt(t);
    json << (k ? ",\n" : "\n") << "{\"t\":" << t << ",\"table\":[" << v.zoom << ',' << v.x << ',' << v.y << ','
         << v.rotate << "],\"anchor\":" << relative.anchor << ",\"toView\":[";
    PutAffine(json, relative.toView);
    json << "],\"first\":[";
    PutAffine(json, FirstPictureToView(timeline, relative));
    json << "]}";
  }
  json << "]}";
  return true;
}

// Per correction its six numbers and, per channel, the drawn level of each file level.
std::string ToneTables() {
  const std::vector<ColourCorrection> colours = {
      // Channels that would draw white below white (lifted) and others that reach it anyway.
      {{0.8f, 0.9f, 1.2f}, {0.0f, 0.05f, -0.15f}},
      {{1.3f, 0.75f, 1.0f}, {-0.1f, 0.1f, 0.02f}},
      {{0.5f, 2.0f, 0.97f}, {0.2f, -0.2f, 0.0f}},
  };
  std::ostringstream json;
  json.imbue(std::locale::classic());
  json.precision(9);
  json << "{\"knee\":" << whiteKnee << ",\"colours\":[";
  for (size_t k = 0; k < colours.size(); ++k) {
    const ColourCorrection& colour = colours[k];
    json << (k ? ",\n" : "\n") << "{\"gain\":[" << colour.gain[0] << ',' << colour.gain[1] << ',' << colour.gain[2]
         << "],\"offset\":[" << colour.offset[0] << ',' << colour.offset[1] << ',' << colour.offset[2]
         << "],\"levels\":[";
    for (int c = 0; c < 3; ++c) {
      json << (c ? "," : "") << '[';
      for (int v = 0; v < 256; ++v)
        json << (v ? "," : "") << std::lround(255 * colour.Apply(c, static_cast<float>(v) / 255));
      json << ']';
    }
    json << "]}";
  }
  json << "]}\n";
  return json.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: web_fixtures DIR\n");
    return 2;
  }
  const std::string directory = argv[1];
  std::error_code failure;
  std::filesystem::create_directories(directory, failure);

  std::vector<Element> demo;
  const auto placements = DemoPlacements();
  for (int i = 0; i < demoElementCount; ++i)
    demo.push_back({i < demoPictureCount ? DemoPictureName(i + 1) : std::string(), demoPictureWidth, demoPictureHeight,
                    placements[static_cast<size_t>(i)]});

  const std::vector<Element> turned = {
      {"a.jpg", 400, 300, Transform()},
      {"b.jpg", 300, 400, Transform{0.45f, 0.12f, -0.05f, 12.0f}},
      {"c.jpg", 640, 480, Transform{0.55f, -0.1f, 0.08f, -7.0f}},
      {"d.jpg", 500, 500, Transform{0.5f, 0.03f, 0.02f, 3.0f}},
      {"e.jpg", 800, 200, Transform{0.3f, -0.2f, -0.1f, 170.0f}},
      {"", 800, 200, Transform{0.6f, 0.1f, 0.1f, -45.0f}},
  };

  std::ostringstream json;
  json.imbue(std::locale::classic());
  json.precision(17);
  json << "[";
  if (!WriteStack(directory, "demo.kxo", demo, json)) return 1;
  json << ",\n";
  if (!WriteStack(directory, "turned.kxo", turned, json)) return 1;
  json << "]\n";
  if (WriteFileReplacing(directory + "/fixtures.json", json.str()) != WriteResult::Ok) {
    std::fprintf(stderr, "web_fixtures: cannot write %s/fixtures.json\n", directory.c_str());
    return 1;
  }
  if (WriteFileReplacing(directory + "/tones.json", ToneTables()) != WriteResult::Ok) {
    std::fprintf(stderr, "web_fixtures: cannot write %s/tones.json\n", directory.c_str());
    return 1;
  }
  return 0;
}
