#include "PlaySettings.h"

const char* PlayModeWord(PlayMode play) { return play == PlayMode::Endless ? "endless" : "there-and-back"; }

const char* PaceWord(Pace pace) { return pace == Pace::Steady ? "steady" : "eased"; }

bool ParsePlayMode(const std::string& word, PlayMode& out) {
  for (PlayMode play : {PlayMode::ThereAndBack, PlayMode::Endless})
    if (word == PlayModeWord(play)) {
      out = play;
      return true;
    }
  return false;
}

bool ParsePace(const std::string& word, Pace& out) {
  for (Pace pace : {Pace::Eased, Pace::Steady})
    if (word == PaceWord(pace)) {
      out = pace;
      return true;
    }
  return false;
}
