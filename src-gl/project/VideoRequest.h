#pragma once
// Every setting of a video export with its checks in one place: the video dialog reads one from
// its fields and --export-video from its options; both ask here whether it can be made.

#include <string>

#include "VideoPlan.h"

enum class VideoRefusal {
  None,
  NoFile,    // no file name was given
  Duration,  // a duration of its own that is not above 0
  Settings,  // the settings' own limits (CheckVideoSettings); the error says which
};

struct VideoRequest {
  VideoSettings settings;    // settings.duration 0: the project's
  bool ownDuration = false;  // a duration was given, which then must be above 0

  // The file name as typed into the dialog, '\' as '/': a relative one lies beside the project
  // at `projectPath` (or in the current directory for a project never saved).
  void SetTypedPath(std::string typed, const std::string& projectPath);
  // The sound file's name as typed, read the same way; empty: no sound.
  void SetTypedAudio(std::string typed, const std::string& projectPath);

  // The first check that fails, with `error` for the user (for Settings); `projectDuration`
  // stands in for a duration of 0.
  VideoRefusal Check(double projectDuration, std::string& error) const;
  // The file an export would replace (a symbolic link counts, wherever it leads; for a PNG
  // sequence, the lowest-numbered of its frames that exists); empty when none is there.
  std::string Replaced() const;
};

// The dialog's way on: a refusal said, else the question before replacing a file asked, through
// the message seam. True when the export may start.
bool ConfirmVideoExport(const VideoRequest& request, double projectDuration);
