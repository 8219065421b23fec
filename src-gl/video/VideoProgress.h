#pragma once
// How a video export reports while it runs: the editor binds it to a progress dialog, the
// command line to a bar on the terminal.

class VideoProgress {
 public:
  virtual ~VideoProgress() = default;
  // `done` of `total` frames are encoded. Called on the export's own threads, in order.
  virtual void FramesDone(int done, int total) = 0;
  // The export has ended (written, failed or cancelled), its file is in place or gone and its
  // other threads have stopped. Called last, on the export's encode thread, which ends as soon as
  // this returns: the job's Wait() then returns at once.
  virtual void Finished() {}
};

// Where the time of an export went, in seconds summed over frames (the stages overlap, so the
// sum is more than the wall time).
struct VideoTimings {
  double draw = 0;      // drawing each frame (and filtering it down when antialiased)
  double readBack = 0;  // taking the frame out of GL into memory
  double convert = 0;   // colour conversion
  double encode = 0;    // encoding and writing
  double wall = 0;      // from the start to the file in place
  int frames = 0;
};
