// --export-video run as a child process without a display, on the demo: the files decoded back
// with FFmpeg's libraries and compared with --render-frame at the same times, their sound, and the
// failures.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswscale/swscale.h>
}

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImage>
#include <QString>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "TestFiles.h"

namespace {

namespace fs = std::filesystem;

struct ExportVideoCommand : ::testing::Test {
  static std::unique_ptr<TempDir> demo;
  static std::string project;
  TempDir out;

  // The demo that CTest made once for every test (TV_DEMO_DIR), or one made here.
  static void SetUpTestSuite() {
    demo = std::make_unique<TempDir>();
    const char* made = std::getenv("TV_DEMO_DIR");
    if (made && fs::exists(std::string(made) + "/demo.kx")) {
      project = std::string(made) + "/demo.kx";
      return;
    }
    const std::string command = std::string(TV_MAKE_DEMO) + " " + demo->path() + " > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    project = demo->File("demo.kx");
  }
  static void TearDownTestSuite() { demo.reset(); }
  static std::string Project() { return project; }

  // The program with `arguments`, no display, and `prefix` run in the same shell first; the
  // exit status, standard error in `errors`.
  int Run(const std::string& arguments, std::string& errors, const std::string& prefix = "") {
    const std::string errorFile = demo->File("stderr.txt");
    const std::string command = prefix + "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " TV_PROGRAM " " +
                                arguments + " >/dev/null 2>" + errorFile;
    const int status = std::system(command.c_str());
    errors = ReadFileBytes(errorFile);
    fs::remove(errorFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  QImage RenderFrame(double t, const std::string& options = "--size 320x240") {
    const std::string png = out.File("reference.png");
    std::string errors;
    EXPECT_EQ(
        Run("--render-frame " + QString::number(t, 'g', 17).toStdString() + " " + png + " " + options + " " + Project(),
            errors),
        0)
        << errors;
    return QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB888);
  }
};
std::unique_ptr<TempDir> ExportVideoCommand::demo;
std::string ExportVideoCommand::project;

// A picture's samples in 4:2:0 (Y, then U, then V, rows packed), as videos hold them.
using Planes = std::vector<uint8_t>;

Planes PackPlanes(const AVFrame& frame) {
  Planes planes;
  for (int p = 0; p < 3; ++p) {
    const int w = p == 0 ? frame.width : (frame.width + 1) / 2, h = p == 0 ? frame.height : (frame.height + 1) / 2;
    for (int y = 0; y < h; ++y)
      planes.insert(planes.end(), frame.data[p] + static_cast<ptrdiff_t>(y) * frame.linesize[p],
                    frame.data[p] + static_cast<ptrdiff_t>(y) * frame.linesize[p] + w);
  }
  return planes;
}

// The reference frame in the video's own terms: BT.709, limited range, 4:2:0.
Planes ToPlanes(const QImage& rgb) {
  AVFrame* frame = av_frame_alloc();
  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = rgb.width();
  frame->height = rgb.height();
  av_frame_get_buffer(frame, 0);
  SwsContext* s = sws_getContext(rgb.width(), rgb.height(), AV_PIX_FMT_RGB24, rgb.width(), rgb.height(),
                                 AV_PIX_FMT_YUV420P, SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
  sws_setColorspaceDetails(s, sws_getCoefficients(SWS_CS_DEFAULT), 1, sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16,
                           1 << 16);
  const uint8_t* source[1] = {rgb.constBits()};
  const int strides[1] = {static_cast<int>(rgb.bytesPerLine())};
  sws_scale(s, source, strides, 0, rgb.height(), frame->data, frame->linesize);
  sws_freeContext(s);
  Planes planes = PackPlanes(*frame);
  av_frame_free(&frame);
  return planes;
}

// Over every sample of the three planes, as video PSNR is usually given.
double Psnr(const Planes& a, const Planes& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
  const double mse = sum / static_cast<double>(a.size());
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// Every frame of the file's video stream; `keep` frames are kept.
struct Decoded {
  int frames = 0;
  double rate = 0, seconds = 0;
  std::vector<Planes> kept;
};

Decoded Decode(const std::string& path, const std::vector<int>& keep) {
  Decoded d;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return d;
  avformat_find_stream_info(format, nullptr);
  const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  AVStream* stream = format->streams[index];
  d.rate = av_q2d(av_guess_frame_rate(format, stream, nullptr));
  d.seconds = static_cast<double>(format->duration) / AV_TIME_BASE;
  const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
  AVCodecContext* codec = avcodec_alloc_context3(decoder);
  avcodec_parameters_to_context(codec, stream->codecpar);
  avcodec_open2(codec, decoder, nullptr);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  auto take = [&] {
    while (avcodec_receive_frame(codec, frame) >= 0) {
      EXPECT_EQ(frame->format, AV_PIX_FMT_YUV420P);
      EXPECT_EQ(frame->colorspace, AVCOL_SPC_BT709);
      if (std::find(keep.begin(), keep.end(), d.frames) != keep.end()) d.kept.push_back(PackPlanes(*frame));
      ++d.frames;
    }
  };
  while (av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == index) avcodec_send_packet(codec, packet);
    av_packet_unref(packet);
    take();
  }
  avcodec_send_packet(codec, nullptr);
  take();
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&codec);
  avformat_close_input(&format);
  return d;
}

TEST_F(ExportVideoCommand, VideosHoldThePlannedFramesAsTheRendererDrawsThem) {
  const int n = 60;  // 2 s at 30 frames a second
  for (auto [name, speed] :
       {std::pair<const char*, const char*>{"zoom.mp4", ""}, {"zoom.webm", ""}, {"fast.mp4", " --speed fast"}}) {
    std::string errors;
    const std::string video = out.File(name);
    ASSERT_EQ(Run("--export-video " + video + speed + " --frame fit --size 320x240 --duration 2 " + Project(), errors),
              0)
        << errors;
    EXPECT_EQ(errors, "");
    const Decoded d = Decode(video, {0, n / 2, n - 1});
    EXPECT_EQ(d.frames, n) << name;
    EXPECT_NEAR(d.rate, 30, 1e-6) << name;
    EXPECT_NEAR(d.seconds, 2.0, 0.04) << name;
    ASSERT_EQ(d.kept.size(), 3u) << name;
    int i = 0;
    for (int k : {0, n / 2, n - 1})
      EXPECT_GE(Psnr(d.kept[static_cast<size_t>(i++)], ToPlanes(RenderFrame(static_cast<double>(k) / (n - 1)))), 35)
          << name << " frame " << k;
  }
  // The MP4's index comes before its data, so it plays while it loads.
  const std::string head = ReadFileBytes(out.File("zoom.mp4")).substr(0, 4096);
  EXPECT_LT(head.find("moov"), head.find("mdat"));
}

// Fitted, and filling a frame of another shape than the first picture's, as --render-frame draws
// it with the same --frame.
TEST_F(ExportVideoCommand, PngSequenceIsTheRenderersFramesExactly) {
  for (const std::string options : {"--frame fit --size 320x240", "--frame fill --size 320x180"}) {
    SCOPED_TRACE(options);
    const TempDir frames;
    std::string errors;
    ASSERT_EQ(Run("--export-video " + frames.File("f_%03d.png") + " " + options + " --fps 4 --duration 1 " + Project(),
                  errors),
              0)
        << errors;
    for (int k = 0; k < 4; ++k) {
      const QImage frame = QImage(QString::fromStdString(frames.File("f_00" + std::to_string(k) + ".png")))
                               .convertToFormat(QImage::Format_RGB888);
      EXPECT_TRUE(frame == RenderFrame(k / 3.0, options)) << "frame " << k;
    }
    EXPECT_FALSE(fs::exists(frames.File("f_004.png")));
  }
}

// A tone of `seconds` at 440 Hz, mono 16-bit PCM at 44.1 kHz, written as a WAV file by FFmpeg.
void WriteTone(const std::string& path, double seconds) {
  AVFormatContext* format = nullptr;
  ASSERT_GE(avformat_alloc_output_context2(&format, nullptr, "wav", path.c_str()), 0);
  const AVCodec* pcm = avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
  AVCodecContext* codec = avcodec_alloc_context3(pcm);
  codec->sample_fmt = AV_SAMPLE_FMT_S16;
  codec->sample_rate = 44100;
  codec->time_base = AVRational{1, 44100};
  av_channel_layout_default(&codec->ch_layout, 1);
  ASSERT_GE(avcodec_open2(codec, pcm, nullptr), 0);
  AVStream* stream = avformat_new_stream(format, nullptr);
  avcodec_parameters_from_context(stream->codecpar, codec);
  stream->time_base = codec->time_base;
  ASSERT_GE(avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE), 0);
  ASSERT_GE(avformat_write_header(format, nullptr), 0);
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  const int total = static_cast<int>(seconds * 44100);
  for (int done = 0; done < total; done += 1024) {
    frame->nb_samples = std::min(1024, total - done);
    frame->format = AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&frame->ch_layout, 1);
    av_frame_get_buffer(frame, 0);
    auto* samples = reinterpret_cast<int16_t*>(frame->data[0]);
    for (int i = 0; i < frame->nb_samples; ++i) samples[i] = static_cast<int16_t>(8000 * std::sin((done + i) * 0.0627));
    frame->pts = done;
    avcodec_send_frame(codec, frame);
    av_frame_unref(frame);
    while (avcodec_receive_packet(codec, packet) >= 0) {
      av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
      av_interleaved_write_frame(format, packet);
    }
  }
  av_write_trailer(format);
  avio_closep(&format->pb);
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&codec);
  avformat_free_context(format);
}

// The sound of a file as decoded: samples a second, and the loudness (RMS, 0..1) of each tenth of
// a second of the first channel.
struct Sound {
  int rate = 0, frameSize = 0;
  std::vector<float> samples;
  double Seconds() const { return rate ? static_cast<double>(samples.size()) / rate : 0; }
  double Loudness(double from, double to) const {
    double sum = 0;
    size_t n = 0;
    for (size_t i = static_cast<size_t>(from * rate); i < samples.size() && i < static_cast<size_t>(to * rate);
         ++i, ++n)
      sum += samples[i] * samples[i];
    return n ? std::sqrt(sum / static_cast<double>(n)) : 0;
  }
};

Sound DecodeSound(const std::string& path) {
  Sound sound;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return sound;
  avformat_find_stream_info(format, nullptr);
  const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (index >= 0) {
    const AVCodec* decoder = avcodec_find_decoder(format->streams[index]->codecpar->codec_id);
    AVCodecContext* codec = avcodec_alloc_context3(decoder);
    avcodec_parameters_to_context(codec, format->streams[index]->codecpar);
    avcodec_open2(codec, decoder, nullptr);
    sound.rate = codec->sample_rate;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto take = [&] {
      while (avcodec_receive_frame(codec, frame) >= 0) {
        sound.frameSize = std::max(sound.frameSize, frame->nb_samples);
        const bool planar = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame->format));
        const int step = planar ? 1 : frame->ch_layout.nb_channels;
        for (int i = 0; i < frame->nb_samples; ++i)
          sound.samples.push_back(reinterpret_cast<const float*>(frame->data[0])[i * step]);
      }
    };
    while (av_read_frame(format, packet) >= 0) {
      if (packet->stream_index == index) avcodec_send_packet(codec, packet);
      av_packet_unref(packet);
      take();
    }
    avcodec_send_packet(codec, nullptr);
    take();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
  }
  avformat_close_input(&format);
  return sound;
}

// A short tone plays again from its start, a long one is cut; either way the sound lasts as long
// as the video, within one of its frames, and fades out at the end.
TEST_F(ExportVideoCommand, SoundLastsAsLongAsTheVideoAndFadesOut) {
  WriteTone(demo->File("short.wav"), 0.7);
  WriteTone(demo->File("long.wav"), 5);
  for (auto [name, tone] : {std::pair<const char*, const char*>{"zoom.mp4", "short.wav"}, {"zoom.webm", "long.wav"}}) {
    std::string errors;
    const std::string video = out.File(name);
    ASSERT_EQ(Run("--export-video " + video + " --audio " + demo->File(tone) +
                      " --size 64x48 --fps 10 --duration 2 --direction outin " + Project(),
                  errors),
              0)
        << errors;
    const Decoded pictures = Decode(video, {});
    EXPECT_EQ(pictures.frames, 38) << name;  // out and back in: 2 (20 - 1) frames
    const Sound sound = DecodeSound(video);
    ASSERT_EQ(sound.rate, 48000) << name;
    EXPECT_NEAR(sound.Seconds(), pictures.frames / 10.0, static_cast<double>(sound.frameSize) / sound.rate) << name;
    const double middle = sound.Loudness(0.5, 3.0);
    EXPECT_GT(middle, 0.1) << name;  // the tone's RMS is 0.17, looped or not
    EXPECT_LT(sound.Loudness(sound.Seconds() - 0.03, sound.Seconds()), middle / 10) << name;
  }
}

TEST_F(ExportVideoCommand, FailuresSaySoAndLeaveNoFile) {
  struct Case {
    std::string arguments, said, prefix = "";
  } cases[] = {
      {"--size 321x240", "even"},
      {"--size 20000x20000", "limit"},
      {"--fps 0", "frame rate"},
      {"--direction sideways", "inout or outin"},
      {"--frame crop", "fill or fit"},
      {"--audio " + demo->File("nothing.wav"), demo->File("nothing.wav")},
      {"--audio " + Project(), Project()},  // a file, but no sound in it
      {"--audio " + Project() + " --export-video " + out.File("f_%d.png"), "no sound"},
      {"--crf 99", "CRF"},
      {"--speed warp", "fast, balanced or small"},
      {"--export-video " + out.File("zoom.avi"), ".webm"},
      {"--export-video /proc/zoom.mp4", "/proc"},
      {"--export-video " + out.File("missing/zoom.mp4"), "missing"},
      // A file-size limit stands in for a full disk: the write fails part way.
      {"", "error writing", "ulimit -f 8; "},
  };
  for (const Case& c : cases) {
    std::string arguments = c.arguments;
    if (arguments.find("--export-video") == std::string::npos) arguments += " --export-video " + out.File("zoom.mp4");
    std::string errors;
    EXPECT_NE(Run("--duration 2 --size 320x240 " + arguments + " " + Project(), errors, c.prefix), 0) << arguments;
    EXPECT_NE(errors.find(c.said), std::string::npos) << arguments << ": " << errors;
    EXPECT_TRUE(fs::is_empty(out.path())) << arguments;
  }
}

// What is there already stays byte for byte unless --force is given: a file, a link that leads
// nowhere, or any frame of a PNG sequence's name (frames of a longer, older sequence would
// otherwise stay among the new ones). A name that is no frame of the sequence does not count.
TEST_F(ExportVideoCommand, ExistingFilesAreReplacedOnlyWhenForced) {
  WriteFileBytes(out.File("zoom.mp4"), "kept");
  fs::create_symlink(out.File("nowhere.webm"), out.File("zoom.webm"));
  WriteFileBytes(out.File("f_00007.png"), "kept");
  WriteFileBytes(out.File("seq_00012.png"), "kept");
  struct Case {
    std::string output, said;
  } cases[] = {
      {out.File("zoom.mp4"), out.File("zoom.mp4")},
      {out.File("zoom.webm"), out.File("zoom.webm")},
      {out.File("f_%05d.png"), out.File("f_00007.png")},
      {out.File("seq.png"), out.File("seq_00012.png")},
  };
  const std::string options = " --size 64x48 --fps 2 --duration 1 ";
  for (const Case& c : cases) {
    std::string errors;
    EXPECT_EQ(Run("--export-video " + c.output + options + Project(), errors), 2) << c.output;
    EXPECT_NE(errors.find(c.said + " exists already (--force replaces it)"), std::string::npos) << errors;
  }
  EXPECT_EQ(ReadFileBytes(out.File("zoom.mp4")), "kept");
  EXPECT_EQ(ReadFileBytes(out.File("f_00007.png")), "kept");
  EXPECT_EQ(std::distance(fs::directory_iterator(out.path()), {}), 4);

  std::string errors;
  ASSERT_EQ(Run("--export-video " + out.File("f_%d.png") + options + Project(), errors), 0) << errors;
  ASSERT_EQ(Run("--export-video " + out.File("zoom.mp4") + options + "--force " + Project(), errors), 0) << errors;
  EXPECT_EQ(Decode(out.File("zoom.mp4"), {}).frames, 2);
}

TEST_F(ExportVideoCommand, MissingPicturesAreSaidThenDrawnAsTheEditorShowsThem) {
  TempDir pictures;
  WriteJpeg(pictures.File("a.jpg"), 640, 480, [](int x, int) { return Rgb{static_cast<uint8_t>(x), 9, 9}; });
  WriteFileBytes(pictures.File("zoom.kx"),
                 "#Tunnelvista v1.0\nduration 8\nimages 2\nfilename a.jpg\nscale 1\ntranslate 0 0\nrotate 0\n"
                 "filename gone.jpg\nscale 0.5\ntranslate 0 0\nrotate 0\ntarget\nscale 0.5\ntranslate 0 0\nrotate 0\n");
  std::string errors;
  // Written in full, and failed so that a script can tell.
  EXPECT_EQ(
      Run("--export-video " + out.File("f_%d.png") + " --size 160x120 --fps 2 --duration 1 " + pictures.File("zoom.kx"),
          errors),
      1)
      << errors;
  EXPECT_NE(errors.find("gone.jpg"), std::string::npos) << errors;
  EXPECT_TRUE(fs::exists(out.File("f_0.png")) && fs::exists(out.File("f_1.png")));
}

}  // namespace
