#include "VideoSink.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "AudioTrack.h"
#include "AvErrors.h"
#include "PartFiles.h"

namespace fs = std::filesystem;

namespace {

std::string SystemError(int code) { return std::error_code(code, std::generic_category()).message(); }

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Join(const std::string& directory, const std::string& name) {
  return directory == "/" ? "/" + name : directory + "/" + name;
}

// A new, empty file (or folder) beside `destination`, hidden and named after it
// (".NAME.part-PID-N"); its name, or empty with `error` set. What exports killed before they
// finished left there goes first. Created with the usual permissions (0666 less the umask), as
// the finished video keeps them.
std::string CreateBeside(const std::string& destination, bool folder, std::string& error) {
  static std::atomic<unsigned> serial{0};
  RemoveStaleParts(destination);
  const std::string directory = DirectoryOf(destination);
  const std::string stem = PartStem(Join(directory, BaseOf(destination)));
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = stem + std::to_string(serial++);
    if (folder) {
      if (mkdir(name.c_str(), 0700) == 0) return name;
    } else {
      const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (fd >= 0) {
        close(fd);
        return name;
      }
    }
    if (errno != EEXIST) {
      error = "cannot write in the folder " + directory + ": " + SystemError(errno);
      return {};
    }
  }
  error = "cannot make a temporary file in the folder " + directory;
  return {};
}

bool SyncFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  return close(fd) == 0 && ok;
}

bool WriteAll(const std::string& path, const uint8_t* bytes, size_t size, std::string& error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = "cannot write " + path + ": " + SystemError(errno);
    return false;
  }
  const uint8_t* p = bytes;
  size_t left = size;
  while (left > 0) {
    const ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = "error writing " + path + ": " + SystemError(n < 0 ? errno : ENOSPC);
      close(fd);
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (close(fd) != 0) {
    error = "error writing " + path + ": " + SystemError(errno);
    return false;
  }
  return true;
}

// H.264 in MP4 or VP9 in WebM.
class EncodedVideo : public VideoSink {
 public:
  EncodedVideo(const VideoSettings& settings, VideoFormat format, int frames)
      : settings_(settings), format_(format), frames_(frames), destination_(VideoDestination(settings.path)) {}
  ~EncodedVideo() override { Discard(); }

  AVPixelFormat PixelFormat() const override { return AV_PIX_FMT_YUV420P; }

  bool Open(std::string& error) override {
    QuietLibraries();
    ForgetComplaint();
    temporary_ = CreateBeside(destination_, false, error);
    if (temporary_.empty()) return false;
    if (!OpenEncoder(error)) {
      Discard();
      return false;
    }
    return true;
  }

  bool Write(AVFrame& frame, int index, std::string& error) override {
    frame.pts = index;
    const int sent = avcodec_send_frame(codec_, &frame);
    if (sent < 0) {
      error = "the encoder refused frame " + std::to_string(index) + ": " + AvError(sent);
      return false;
    }
    // The sound up to the end of this frame, so the muxer holds little of either stream.
    return Drain(error) && (!audio_ || audio_->WriteUntil((index + 1) / settings_.fps, error));
  }

  bool Finish(std::string& error) override {
    int result = avcodec_send_frame(codec_, nullptr);
    if (result < 0) {
      error = "the encoder could not finish: " + AvError(result);
      return false;
    }
    if (!Drain(error) || (audio_ && !audio_->Finish(error))) return false;
    // The MP4 muxer moves the index to the front here, reading the file back.
    result = av_write_trailer(format_context_);
    const int closed = avio_closep(&format_context_->pb);
    if (result < 0 || closed < 0) {
      error = "error writing the video " + destination_ + ": " + AvError(result < 0 ? result : closed);
      return false;
    }
    Close();
    if (!SyncFile(temporary_) || std::rename(temporary_.c_str(), destination_.c_str()) != 0) {
      error = "error writing the video " + destination_ + ": " + SystemError(errno);
      return false;
    }
    temporary_.clear();
    return true;
  }

  void Discard() override {
    Close();
    if (!temporary_.empty()) {
      std::remove(temporary_.c_str());
      temporary_.clear();
    }
  }

 private:
  bool OpenEncoder(std::string& error) {
    const bool mp4 = format_ == VideoFormat::Mp4;
    const char* encoderName = mp4 ? "libx264" : "libvpx-vp9";
    int result = avformat_alloc_output_context2(&format_context_, nullptr, mp4 ? "mp4" : "webm", temporary_.c_str());
    if (result < 0 || !format_context_) {
      error = std::string("this FFmpeg cannot write ") + VideoFormatName(format_) + ": " + AvError(result);
      return false;
    }
    const AVCodec* encoder = avcodec_find_encoder_by_name(encoderName);
    if (!encoder) {
      error = std::string("this FFmpeg has no ") + encoderName + " encoder for " + VideoFormatName(format_);
      return false;
    }
    AVStream* stream = avformat_new_stream(format_context_, nullptr);
    codec_ = avcodec_alloc_context3(encoder);
    if (!stream || !codec_) {
      error = "not enough memory for the encoder";
      return false;
    }
    const AVRational rate = av_d2q(settings_.fps, 1000000);
    codec_->width = settings_.width;
    codec_->height = settings_.height;
    codec_->time_base = av_inv_q(rate);
    codec_->framerate = rate;
    codec_->pix_fmt = AV_PIX_FMT_YUV420P;
    // The conversion uses BT.709 into the limited range; the stream says so, so players agree.
    codec_->color_primaries = AVCOL_PRI_BT709;
    codec_->color_trc = AVCOL_TRC_BT709;
    codec_->colorspace = AVCOL_SPC_BT709;
    codec_->color_range = AVCOL_RANGE_MPEG;
    codec_->thread_count = 0;  // as many as the encoder finds best for this machine
    if (format_context_->oformat->flags & AVFMT_GLOBALHEADER) codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    const int crf = settings_.crf >= 0 ? settings_.crf : (mp4 ? defaultCrfH264 : defaultCrfVp9);
    av_dict_set_int(&options, "crf", crf, 0);
    // The same quality either way; the slower settings spend more search on a smaller file.
    static const char* const x264Presets[] = {"veryfast", "medium", "slow"};  // by VideoSpeed
    static const int vp9CpuUsed[] = {6, 4, 2};
    const int speed = static_cast<int>(settings_.speed);
    if (mp4) av_dict_set(&options, "preset", x264Presets[speed], 0);
    if (!mp4) {
      codec_->bit_rate = 0;  // constant quality, no bitrate cap
      av_dict_set(&options, "deadline", "good", 0);
      av_dict_set_int(&options, "cpu-used", vp9CpuUsed[speed], 0);
      av_dict_set_int(&options, "row-mt", 1, 0);
    }
    result = avcodec_open2(codec_, encoder, &options);
    av_dict_free(&options);
    if (result < 0) {
      error = std::string("the ") + encoderName + " encoder could not start: " + AvError(result);
      return false;
    }
    result = avcodec_parameters_from_context(stream->codecpar, codec_);
    if (result < 0) {
      error = "the video stream could not be set up: " + AvError(result);
      return false;
    }
    stream->time_base = codec_->time_base;
    stream->avg_frame_rate = rate;
    if (!settings_.audio.empty()) {
      audio_ = std::make_unique<AudioTrack>(settings_.audio, frames_ / settings_.fps);
      if (!audio_->Open(format_context_, !mp4, error)) return false;
    }
    result = avio_open(&format_context_->pb, temporary_.c_str(), AVIO_FLAG_WRITE);
    if (result < 0) {
      error = "cannot write the video beside " + destination_ + ": " + AvError(result);
      return false;
    }
    AVDictionary* muxing = nullptr;
    if (mp4) av_dict_set(&muxing, "movflags", "+faststart", 0);  // the index first: plays while loading
    result = avformat_write_header(format_context_, &muxing);
    av_dict_free(&muxing);
    if (result < 0) {
      error = "error writing the video " + destination_ + ": " + AvError(result);
      return false;
    }
    stream_ = stream;
    packet_ = av_packet_alloc();
    if (!packet_) {
      error = "not enough memory for the encoder";
      return false;
    }
    return true;
  }

  bool Drain(std::string& error) {
    for (;;) {
      const int received = avcodec_receive_packet(codec_, packet_);
      if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
      if (received < 0) {
        error = "the encoder failed: " + AvError(received);
        return false;
      }
      if (packet_->duration == 0) packet_->duration = 1;  // one frame, in the codec's time base
      av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
      packet_->stream_index = stream_->index;
      const int written = av_interleaved_write_frame(format_context_, packet_);
      if (written < 0) {
        error = "error writing the video " + destination_ + ": " + AvError(written);
        return false;
      }
    }
  }

  void Close() {
    audio_.reset();
    av_packet_free(&packet_);
    avcodec_free_context(&codec_);
    if (format_context_) {
      if (format_context_->pb) avio_closep(&format_context_->pb);
      avformat_free_context(format_context_);
      format_context_ = nullptr;
    }
    stream_ = nullptr;
  }

  VideoSettings settings_;
  VideoFormat format_;
  int frames_;
  std::string destination_;
  std::string temporary_;
  AVFormatContext* format_context_ = nullptr;
  AVCodecContext* codec_ = nullptr;
  AVStream* stream_ = nullptr;
  AVPacket* packet_ = nullptr;
  std::unique_ptr<AudioTrack> audio_;
};

// One PNG file per frame, collected in a hidden folder beside the destination and moved into
// place together at the end.
class PngSequence : public VideoSink {
 public:
  explicit PngSequence(const VideoSettings& settings) : settings_(settings) {
    std::string ignored;
    ParseSequenceName(VideoDestination(settings.path), name_, ignored);
  }
  ~PngSequence() override { Discard(); }

  AVPixelFormat PixelFormat() const override { return AV_PIX_FMT_RGB24; }

  bool Open(std::string& error) override {
    folder_ = CreateBeside(name_.Frame(0), true, error);
    return !folder_.empty();
  }

  bool Write(AVFrame& frame, int index, std::string& error) override {
    // FFmpeg's PNG encoder rather than Qt's: no Qt object is made on the export's threads.
    if (!encoder_ && !OpenEncoder(frame, error)) return false;
    int result = avcodec_send_frame(encoder_, &frame);
    while (result >= 0) {
      result = avcodec_receive_packet(encoder_, packet_);
      if (result == AVERROR(EAGAIN)) return true;
      if (result < 0) break;
      const bool ok = WriteAll(Part(index), packet_->data, static_cast<size_t>(packet_->size), error);
      av_packet_unref(packet_);
      if (!ok) return false;
      written_ = index + 1;
    }
    error = "frame " + std::to_string(index) + " could not be encoded as PNG: " + AvError(result);
    return false;
  }

  bool Finish(std::string& error) override {
    for (int k = 0; k < written_; ++k)
      if (!SyncFile(Part(k))) {
        error = "error writing " + name_.Frame(k) + ": " + SystemError(errno);
        return false;
      }
    for (int k = 0; k < written_; ++k)
      if (std::rename(Part(k).c_str(), name_.Frame(k).c_str()) != 0) {
        error = "error writing " + name_.Frame(k) + ": " + SystemError(errno);
        return false;
      }
    CloseEncoder();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    folder_.clear();
    return true;
  }

  void Discard() override {
    CloseEncoder();
    if (folder_.empty()) return;
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    folder_.clear();
  }

 private:
  std::string Part(int k) const { return folder_ + "/" + std::to_string(k) + ".png"; }

  bool OpenEncoder(const AVFrame& frame, std::string& error) {
    const AVCodec* png = avcodec_find_encoder(AV_CODEC_ID_PNG);
    encoder_ = png ? avcodec_alloc_context3(png) : nullptr;
    packet_ = av_packet_alloc();
    if (!encoder_ || !packet_) {
      error = "this FFmpeg has no PNG encoder";
      return false;
    }
    encoder_->width = frame.width;
    encoder_->height = frame.height;
    encoder_->pix_fmt = AV_PIX_FMT_RGB24;
    encoder_->time_base = av_inv_q(av_d2q(settings_.fps, 1000000));
    // zlib's fastest level after the "sub" filter: at the default level compressing took most of
    // a frame's time, for files little smaller. The pixels are the same.
    encoder_->compression_level = 1;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "pred", "sub", 0);
    const int result = avcodec_open2(encoder_, png, &options);
    av_dict_free(&options);
    if (result < 0) {
      error = "the PNG encoder could not start: " + AvError(result);
      return false;
    }
    return true;
  }

  void CloseEncoder() {
    av_packet_free(&packet_);
    avcodec_free_context(&encoder_);
  }

  VideoSettings settings_;
  SequenceName name_;
  std::string folder_;
  int written_ = 0;
  AVCodecContext* encoder_ = nullptr;
  AVPacket* packet_ = nullptr;
};

}  // namespace

std::string VideoDestination(const std::string& path) {
  std::error_code error;
  if (fs::is_symlink(path, error)) {
    const fs::path target = fs::weakly_canonical(path, error);
    if (!error) return target.string();
  }
  return path;
}

std::unique_ptr<VideoSink> MakeVideoSink(const VideoSettings& settings, int frames) {
  VideoFormat format = VideoFormat::Mp4;
  std::string ignored;
  VideoFormatFor(settings.path, format, ignored);
  if (format == VideoFormat::PngSequence) return std::make_unique<PngSequence>(settings);
  return std::make_unique<EncodedVideo>(settings, format, frames);
}
