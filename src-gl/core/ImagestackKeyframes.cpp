// The zoom timeline: placements -> element matrices and keyframes -> the view at a time.
//
// Stacks read from hand-edited files can hold scales of 0, negative or not-a-number values, or
// a total zoom of 1; the formulas then divide by zero or make key times repeat or run backwards.
// Such stacks still get a finite view: non-finite key values fall back to the previous key's,
// zero-length segments are entered at their start, and interior slopes over a zero time span
// are 0. None of these guards changes a stack whose key times increase strictly.

#include <algorithm>
#include <cmath>

#include "Imagestack.h"

namespace {

// Keeps e^logZoom within single precision (the table is single precision; drawing uses the
// Timeline, which has no such limit).
const float maxLogZoom = 85.0f;

float FiniteOr(float value, float fallback) { return std::isfinite(value) ? value : fallback; }

// Slope of an interior key's channel: through the neighbours where the value lies strictly
// between them, flat at a turning point or a plateau.
float InteriorSlope(float previous, float current, float next, float timeSpan) {
  if ((previous - current) * (next - current) < 0 && timeSpan != 0) {
    float slope = (next - previous) / timeSpan;
    return std::isfinite(slope) ? slope : 0.0f;
  }
  return 0.0f;
}

float Hermite(float p0, float p1, float slope0, float slope1, float d, float s) {
  float m0 = d * slope0;
  float m1 = d * slope1;
  float a = 2 * p0 - 2 * p1 + m0 + m1;
  float b = -3 * p0 + 3 * p1 - 2 * m0 - m1;
  return a * s * s * s + b * s * s + m0 * s + p0;
}

// The keyframe table is stored byte for byte in the web export's data file, which has always held
// what OpenGL's single-precision matrix stack made of the placements. FloatMatrix repeats those
// operations with the same roundings: glTranslatef, glScalef and glRotatef about z on a
// column-major matrix of floats, each product summed in the same order.
class FloatMatrix {
 public:
  void Translate(float x, float y) {
    m_[12] = m_[0] * x + m_[4] * y + m_[12];
    m_[13] = m_[1] * x + m_[5] * y + m_[13];
  }
  void Scale(float s) {
    for (int i : {0, 1, 4, 5}) m_[i] *= s;
  }
  void Rotate(float degrees) {
    const double radians = static_cast<double>(degrees) * M_PI / 180.0;
    const float s = std::sin(static_cast<float>(radians));
    const float c = std::cos(static_cast<float>(radians));
    const float m0 = m_[0], m1 = m_[1], m4 = m_[4], m5 = m_[5];
    m_[0] = m0 * c + m4 * s;
    m_[1] = m1 * c + m5 * s;
    m_[4] = m0 * -s + m4 * c;
    m_[5] = m1 * -s + m5 * c;
  }
  void Apply(const Transform& t) {
    Translate(t.translateX, t.translateY);
    Scale(t.scale);
    Rotate(t.rotate);
  }
  void Read(double out[16]) const {
    for (int i = 0; i < 16; ++i) out[i] = m_[i];
  }

 private:
  float m_[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

// An endless project's last key (the target frame, the next pass's first picture) takes its
// slopes from its neighbours across the seam, and the first key the same motion seen from the
// first picture's frame, as Timeline::JoinSeam does in double precision. The table can hold only
// one pass; these slopes let a player that repeats it run on through the seam.
// `composed` is the seam's matrix, `afterSeam` the placement of the element after it.
void JoinSeamKeys(std::vector<Keyframe>& keys, FloatMatrix composed, const Transform& afterSeam) {
  const size_t last = keys.size() - 1;
  Keyframe& seam = keys[last];
  const Keyframe& previous = keys[last - 1];
  const Keyframe& second = keys[1];
  composed.Apply(afterSeam);
  double matrix[16];
  composed.Read(matrix);
  const float nextX = FiniteOr(static_cast<float>(-matrix[12]), seam.x);
  const float nextY = FiniteOr(static_cast<float>(-matrix[13]), seam.y);
  const float span = 1.0f + second.time - previous.time;
  seam.xSlope = InteriorSlope(previous.x, seam.x, nextX, span);
  seam.ySlope = InteriorSlope(previous.y, seam.y, nextY, span);
  seam.rotateSlope = InteriorSlope(previous.rotate, seam.rotate, seam.rotate + second.rotate, span);

  // In the first picture's units (the seam's are 1 / zoom of them) and turned into its frame.
  const double radians = static_cast<double>(seam.rotate) * M_PI / 180.0;
  const double c = std::cos(radians), s = std::sin(radians);
  const double sx = static_cast<double>(seam.xSlope) * seam.zoom, sy = static_cast<double>(seam.ySlope) * seam.zoom;
  Keyframe& first = keys[0];
  first.xSlope = FiniteOr(static_cast<float>(c * sx - s * sy), 0.0f);
  first.ySlope = FiniteOr(static_cast<float>(s * sx + c * sy), 0.0f);
  first.rotateSlope = seam.rotateSlope;
}

}  // namespace

void ImageStack::BuildKeyframes() {
  const int n = count();
  keys.assign(static_cast<size_t>(n), Keyframe());
  if (n == 0) return;

  float z = 1.0f;
  for (int i = 1; i < n; ++i) z = z / images[static_cast<size_t>(i)]->transform.scale;
  const float totalLogZoom = std::log(z);
  const bool steady = playSettings.EffectivePace() == Pace::Steady;

  images[0]->ResetMatrix();

  FloatMatrix composed;
  for (int i = 1; i < n; ++i) {
    Image& element = *images[static_cast<size_t>(i)];
    const Keyframe& previous = keys[static_cast<size_t>(i - 1)];
    Keyframe& key = keys[static_cast<size_t>(i)];

    composed.Apply(element.transform);
    double matrix[16];
    composed.Read(matrix);
    element.SetMatrix(matrix);

    key.zoom = previous.zoom * 1.0f / element.transform.scale;
    key.logZoom = std::log(key.zoom);
    key.x = static_cast<float>(-matrix[12]);
    key.y = static_cast<float>(-matrix[13]);
    key.rotate = previous.rotate - element.transform.rotate;
    const float u = key.logZoom / totalLogZoom;
    const TimeAndSlope ts = steady ? SteadyTimeForZoomFraction(u) : TimeForZoomFraction(u);
    key.time = ts.t;
    key.logZoomSlope = ts.slope * totalLogZoom;

    if (!std::isfinite(key.logZoom) || std::fabs(key.logZoom) > maxLogZoom) {
      key.logZoom = std::clamp(FiniteOr(key.logZoom, previous.logZoom), -maxLogZoom, maxLogZoom);
      key.zoom = std::exp(key.logZoom);
    }
    key.x = FiniteOr(key.x, previous.x);
    key.y = FiniteOr(key.y, previous.y);
    key.rotate = FiniteOr(key.rotate, previous.rotate);
    key.logZoomSlope = FiniteOr(key.logZoomSlope, 0.0f);
  }

  for (int i = 1; i + 1 < n; ++i) {
    const Keyframe& a = keys[static_cast<size_t>(i - 1)];
    const Keyframe& c = keys[static_cast<size_t>(i + 1)];
    Keyframe& key = keys[static_cast<size_t>(i)];
    const float span = c.time - a.time;
    key.xSlope = InteriorSlope(a.x, key.x, c.x, span);
    key.ySlope = InteriorSlope(a.y, key.y, c.y, span);
    key.rotateSlope = InteriorSlope(a.rotate, key.rotate, c.rotate, span);
  }
  Keyframe& last = keys.back();
  last.xSlope = last.ySlope = last.rotateSlope = 0.0f;
  if (steady) {
    keys[0].logZoomSlope = FiniteOr(totalLogZoom, 0.0f);
    last.logZoomSlope = keys[0].logZoomSlope;
  } else {
    last.logZoomSlope = 0.0f;
  }
  // After the seam comes the next pass's element 1 (the target frame again for one picture).
  if (playSettings.play == PlayMode::Endless && n >= 2)
    JoinSeamKeys(keys, composed, images[n > 2 ? size_t(1) : static_cast<size_t>(n - 1)]->transform);
}

// Twins: tableViewAt in web/player/timeline.js (the same single-precision steps) and Zoom.viewAt
// in applet/src/Zoom.java (in double). tests/data/keyframe-views.txt holds all three to the same
// views.
ImageStack::View ImageStack::ViewValuesAtTime(float t) const {
  const int n = keyCount();
  if (n == 0) return {1.0f, 0.0f, 0.0f, 0.0f};
  if (n == 1) return {keys[0].zoom, keys[0].x, keys[0].y, keys[0].rotate};

  int k = 1;
  while (k < n && t > keys[static_cast<size_t>(k)].time) ++k;
  if (k == n) k = n - 1;
  const Keyframe& a = keys[static_cast<size_t>(k - 1)];
  const Keyframe& b = keys[static_cast<size_t>(k)];

  const float d = b.time - a.time;
  const float s = d > 0 ? (t - a.time) / d : 0.0f;
  float logZoom = Hermite(a.logZoom, b.logZoom, a.logZoomSlope, b.logZoomSlope, d, s);
  float x = Hermite(a.x, b.x, a.xSlope, b.xSlope, d, s);
  float y = Hermite(a.y, b.y, a.ySlope, b.ySlope, d, s);
  float rotate = Hermite(a.rotate, b.rotate, a.rotateSlope, b.rotateSlope, d, s);

  logZoom = std::clamp(FiniteOr(logZoom, a.logZoom), -maxLogZoom, maxLogZoom);
  return {std::exp(logZoom), FiniteOr(x, a.x), FiniteOr(y, a.y), FiniteOr(rotate, a.rotate)};
}
