#pragma once
// The sound of a video: any audio file FFmpeg reads, decoded and converted for the container's
// encoder (AAC in MP4, Opus in WebM), cut to the video's length with a short fade-out, or played
// again from its start when shorter, and written beside the frames.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <memory>
#include <string>

// The last stretch of sound, faded out to silence: a second, or a quarter of a shorter video.
constexpr double audioFadeSeconds = 1.0;
constexpr int audioSampleRate = 48000;  // what Opus takes, and AAC's usual rate for video

class AudioTrack {
 public:
  // `source`: the audio file; `seconds`: the video's length, which the sound takes exactly.
  AudioTrack(std::string source, double seconds);
  ~AudioTrack();
  AudioTrack(const AudioTrack&) = delete;
  AudioTrack& operator=(const AudioTrack&) = delete;

  // Opens the audio file and its decoder, and the encoder (Opus when `opus`, else AAC) with its
  // stream in `output`, before the output's header is written. False, with `error` naming the
  // file and what is wrong with it, when the file cannot give sound.
  bool Open(AVFormatContext* output, bool opus, std::string& error);
  // Encodes and writes the sound up to `seconds` into the video, so that it lies among the frames
  // of the same time.
  bool WriteUntil(double seconds, std::string& error);
  // The rest of the sound up to the video's end, and the encoder emptied.
  bool Finish(std::string& error);
  // The samples of sound the video holds.
  int64_t TotalSamples() const { return total_; }

 private:
  struct Source;
  bool OpenSource(std::string& error);
  // Decodes until `wanted` samples are waiting, from the start again at the end of the file.
  bool Decode(int wanted, std::string& error);
  bool ConvertFrame(const AVFrame& decoded, std::string& error);
  bool EncodeFrame(int samples, std::string& error);
  bool Drain(std::string& error);
  void FadeOut(AVFrame& frame, int samples) const;

  std::string path_;
  int64_t total_;
  int64_t written_ = 0;  // samples handed to the encoder
  std::unique_ptr<Source> source_;
  AVFormatContext* output_ = nullptr;
  AVStream* stream_ = nullptr;
  AVCodecContext* encoder_ = nullptr;
  struct SwrContext* resampler_ = nullptr;
  struct AVAudioFifo* fifo_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
};
