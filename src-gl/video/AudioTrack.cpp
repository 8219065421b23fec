#include "AudioTrack.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

#include "AvErrors.h"

namespace {

const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;

// Float samples, planar (AAC) or interleaved (Opus), so that the fade is one multiplication.
AVSampleFormat FloatFormatOf(const AVCodec& encoder) {
  AVSampleFormat chosen = AV_SAMPLE_FMT_NONE;
  for (const AVSampleFormat* f = encoder.sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f)
    if (*f == AV_SAMPLE_FMT_FLTP || (*f == AV_SAMPLE_FMT_FLT && chosen == AV_SAMPLE_FMT_NONE)) chosen = *f;
  return chosen;
}

}  // namespace

// The audio file being read: its container and decoder, made again for each time round.
struct AudioTrack::Source {
  AVFormatContext* format = nullptr;
  AVCodecContext* decoder = nullptr;
  int stream = -1;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  bool gave = false;  // sound came out since the file was opened
  ~Source() {
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    av_packet_free(&packet);
    av_frame_free(&frame);
  }
};

AudioTrack::AudioTrack(std::string source, double seconds)
    : path_(std::move(source)), total_(std::max<int64_t>(1, std::llround(seconds * audioSampleRate))) {}

AudioTrack::~AudioTrack() {
  swr_free(&resampler_);
  if (fifo_) av_audio_fifo_free(fifo_);
  av_frame_free(&frame_);
  av_packet_free(&packet_);
  avcodec_free_context(&encoder_);
}

bool AudioTrack::OpenSource(std::string& error) {
  source_ = std::make_unique<Source>();
  Source& s = *source_;
  const std::string what = "the sound file " + path_;
  if (!s.packet || !s.frame) {
    error = "not enough memory to read " + what;
    return false;
  }
  int result = avformat_open_input(&s.format, path_.c_str(), nullptr, nullptr);
  if (result < 0) {
    error = what + " cannot be read: " + AvError(result);
    return false;
  }
  result = avformat_find_stream_info(s.format, nullptr);
  const AVCodec* codec = nullptr;
  if (result >= 0) result = av_find_best_stream(s.format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (result < 0 || !codec) {
    error = what + " holds no sound that can be played here" + (result < 0 ? ": " + AvError(result) : "");
    return false;
  }
  s.stream = result;
  s.decoder = avcodec_alloc_context3(codec);
  if (!s.decoder || avcodec_parameters_to_context(s.decoder, s.format->streams[s.stream]->codecpar) < 0 ||
      (result = avcodec_open2(s.decoder, codec, nullptr)) < 0) {
    error = what + "'s sound cannot be decoded" + (result < 0 ? ": " + AvError(result) : "");
    return false;
  }
  return true;
}

bool AudioTrack::Open(AVFormatContext* output, bool opus, std::string& error) {
  output_ = output;
  if (!OpenSource(error)) return false;
  const AVCodec* codec = opus ? avcodec_find_encoder_by_name("libopus") : avcodec_find_encoder(AV_CODEC_ID_AAC);
  const char* name = opus ? "Opus" : "AAC";
  if (!codec || FloatFormatOf(*codec) == AV_SAMPLE_FMT_NONE) {
    error = std::string("this FFmpeg has no ") + name + " encoder for the sound";
    return false;
  }
  encoder_ = avcodec_alloc_context3(codec);
  stream_ = avformat_new_stream(output, nullptr);
  fifo_ = av_audio_fifo_alloc(FloatFormatOf(*codec), stereo.nb_channels, 4096);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!encoder_ || !stream_ || !fifo_ || !frame_ || !packet_ ||
      av_channel_layout_copy(&encoder_->ch_layout, &stereo) < 0) {
    error = "not enough memory for the sound's encoder";
    return false;
  }
  encoder_->sample_fmt = FloatFormatOf(*codec);
  encoder_->sample_rate = audioSampleRate;
  encoder_->time_base = AVRational{1, audioSampleRate};
  encoder_->bit_rate = opus ? 128000 : 192000;
  if (output->oformat->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int result = avcodec_open2(encoder_, codec, nullptr);
  if (result < 0 || (result = avcodec_parameters_from_context(stream_->codecpar, encoder_)) < 0) {
    error = std::string("the ") + name + " encoder could not start: " + AvError(result);
    return false;
  }
  stream_->time_base = encoder_->time_base;
  // Something must come out of the file before the video is begun: a file whose every packet
  // fails to decode is said now, not half way through the export.
  return Decode(1, error);
}

bool AudioTrack::ConvertFrame(const AVFrame& decoded, std::string& error) {
  AVFrame* in = av_frame_clone(&decoded);
  AVFrame* out = av_frame_alloc();
  // The converter is set up for the first frame, and again for one whose layout or rate differs.
  auto prepare = [&](bool setUp) {
    av_frame_unref(out);
    out->format = encoder_->sample_fmt;
    out->sample_rate = audioSampleRate;
    int result = av_channel_layout_copy(&out->ch_layout, &stereo);
    if (result < 0 || !setUp) return result;
    swr_free(&resampler_);
    resampler_ = swr_alloc();
    result = resampler_ ? swr_config_frame(resampler_, out, in) : AVERROR(ENOMEM);
    return result < 0 ? result : swr_init(resampler_);
  };
  int result = in && out ? 0 : AVERROR(ENOMEM);
  if (result == 0 && in->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
    av_channel_layout_default(&in->ch_layout, in->ch_layout.nb_channels);
  if (result == 0) result = prepare(!resampler_);
  if (result >= 0) result = swr_convert_frame(resampler_, out, in);
  if (result == AVERROR_INPUT_CHANGED && (result = prepare(true)) >= 0) result = swr_convert_frame(resampler_, out, in);
  if (result >= 0 && out->nb_samples > 0 &&
      av_audio_fifo_write(fifo_, reinterpret_cast<void**>(out->extended_data), out->nb_samples) < out->nb_samples)
    result = AVERROR(ENOMEM);
  av_frame_free(&in);
  av_frame_free(&out);
  if (result < 0) {
    error = "the sound of " + path_ + " cannot be converted: " + AvError(result);
    return false;
  }
  return true;
}

bool AudioTrack::Decode(int wanted, std::string& error) {
  while (av_audio_fifo_size(fifo_) < wanted) {
    Source& s = *source_;
    const int received = avcodec_receive_frame(s.decoder, s.frame);
    if (received >= 0) {
      const bool ok = ConvertFrame(*s.frame, error);
      av_frame_unref(s.frame);
      if (!ok) return false;
      s.gave = true;
      continue;
    }
    if (received == AVERROR_EOF) {
      // The end of the file: its start follows, so a short sound plays on for the whole video.
      if (!s.gave) {
        error = "the sound file " + path_ + " holds no sound that can be decoded";
        return false;
      }
      if (!OpenSource(error)) return false;
      continue;
    }
    if (received != AVERROR(EAGAIN)) {
      error = "the sound file " + path_ + " is damaged: " + AvError(received);
      return false;
    }
    const int read = av_read_frame(s.format, s.packet);
    if (read < 0) {
      avcodec_send_packet(s.decoder, nullptr);  // the decoder gives what it still holds, then EOF
      continue;
    }
    if (s.packet->stream_index == s.stream) {
      const int sent = avcodec_send_packet(s.decoder, s.packet);
      // A damaged packet here and there is skipped, as players do; a file of nothing else is
      // said above (no sound decoded at all).
      if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_INVALIDDATA) {
        av_packet_unref(s.packet);
        error = "the sound file " + path_ + " cannot be decoded: " + AvError(sent);
        return false;
      }
    }
    av_packet_unref(s.packet);
  }
  return true;
}

void AudioTrack::FadeOut(AVFrame& frame, int samples) const {
  const int64_t fade =
      std::max<int64_t>(1, std::min<int64_t>(std::llround(audioFadeSeconds * audioSampleRate), total_ / 4));
  const bool planar = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame.format));
  const int channels = frame.ch_layout.nb_channels;
  for (int i = 0; i < samples; ++i) {
    const int64_t left = total_ - (written_ + i);  // samples to the end, this one included
    if (left > fade) continue;
    const float gain = static_cast<float>(left - 1) / static_cast<float>(fade);
    for (int c = 0; c < channels; ++c) {
      float* p = planar ? reinterpret_cast<float*>(frame.extended_data[c]) + i
                        : reinterpret_cast<float*>(frame.extended_data[0]) + i * channels + c;
      *p *= gain;
    }
  }
}

bool AudioTrack::EncodeFrame(int samples, std::string& error) {
  if (!Decode(samples, error)) return false;
  const bool anySize =
      encoder_->codec->capabilities & (AV_CODEC_CAP_VARIABLE_FRAME_SIZE | AV_CODEC_CAP_SMALL_LAST_FRAME);
  const int size = encoder_->frame_size > 0 && !anySize ? encoder_->frame_size : samples;
  av_frame_unref(frame_);
  frame_->format = encoder_->sample_fmt;
  frame_->sample_rate = audioSampleRate;
  frame_->nb_samples = std::max(size, samples);
  int result = av_channel_layout_copy(&frame_->ch_layout, &stereo);
  if (result >= 0) result = av_frame_get_buffer(frame_, 0);
  if (result >= 0)
    result =
        av_samples_set_silence(frame_->extended_data, 0, frame_->nb_samples, stereo.nb_channels, encoder_->sample_fmt);
  if (result >= 0 && av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame_->extended_data), samples) < samples)
    result = AVERROR(EIO);
  if (result < 0) {
    error = "the sound could not be prepared: " + AvError(result);
    return false;
  }
  FadeOut(*frame_, samples);
  frame_->pts = written_;
  written_ += samples;
  result = avcodec_send_frame(encoder_, frame_);
  if (result < 0) {
    error = "the sound's encoder failed: " + AvError(result);
    return false;
  }
  return Drain(error);
}

bool AudioTrack::Drain(std::string& error) {
  for (;;) {
    const int received = avcodec_receive_packet(encoder_, packet_);
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
    if (received < 0) {
      error = "the sound's encoder failed: " + AvError(received);
      return false;
    }
    av_packet_rescale_ts(packet_, encoder_->time_base, stream_->time_base);
    packet_->stream_index = stream_->index;
    const int written = av_interleaved_write_frame(output_, packet_);
    if (written < 0) {
      error = "error writing the video's sound: " + AvError(written);
      return false;
    }
  }
}

bool AudioTrack::WriteUntil(double seconds, std::string& error) {
  const int frame = encoder_->frame_size > 0 ? encoder_->frame_size : 1024;
  const int64_t until = std::min<int64_t>(total_, std::llround(seconds * audioSampleRate));
  while (until - written_ >= frame)
    if (!EncodeFrame(frame, error)) return false;
  return true;
}

bool AudioTrack::Finish(std::string& error) {
  const int frame = encoder_->frame_size > 0 ? encoder_->frame_size : 1024;
  while (written_ < total_)
    if (!EncodeFrame(static_cast<int>(std::min<int64_t>(frame, total_ - written_)), error)) return false;
  const int sent = avcodec_send_frame(encoder_, nullptr);
  if (sent < 0) {
    error = "the sound's encoder could not finish: " + AvError(sent);
    return false;
  }
  return Drain(error);
}
