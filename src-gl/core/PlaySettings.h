#pragma once
// How a project plays: there and back again between the first picture and the target frame, or
// endlessly inward, the last picture leading back into the first; and at which pace the zoom
// runs. Both are project settings, stored in the project file only when they differ from these
// defaults (so that every project made before them saves byte for byte as it did).

#include <string>

enum class PlayMode {
  ThereAndBack,  // the target frame frames the end of the zoom inside the last picture
  Endless,       // the target frame is where the first picture lies inside the last
};

enum class Pace {
  Eased,   // the three-piece curve of Keyframe.h: a smooth start and stop
  Steady,  // the zoom's logarithm changes at one rate: every doubling takes the same time
};

struct PlaySettings {
  PlayMode play = PlayMode::ThereAndBack;
  Pace pace = Pace::Eased;

  // An endless zoom has no ends to slow down at: it plays steady whatever `pace` says (which is
  // kept, for when the project plays there and back again).
  Pace EffectivePace() const { return play == PlayMode::Endless ? Pace::Steady : pace; }
  bool operator==(const PlaySettings& o) const { return play == o.play && pace == o.pace; }
  bool operator!=(const PlaySettings& o) const { return !(*this == o); }
};

// The words the project file uses ("there-and-back", "endless"; "eased", "steady").
const char* PlayModeWord(PlayMode play);
const char* PaceWord(Pace pace);
// False, leaving `out` alone, for any other text.
bool ParsePlayMode(const std::string& word, PlayMode& out);
bool ParsePace(const std::string& word, Pace& out);
