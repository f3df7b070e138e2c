#include "cli/WavWriter.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace vantor::cli {

namespace {

using TTarget = TWavWriter::TTarget;

TTarget& TargetOf(void* data) {
  return *static_cast<TTarget*>(data);
}

sf_count_t Length(void* data) {
  return TargetOf(data).length;
}

sf_count_t Seek(sf_count_t offset, int whence, void* data) {
  TTarget& target = TargetOf(data);
  const sf_count_t base = whence == SEEK_SET   ? 0
                          : whence == SEEK_CUR ? target.position
                                               : target.length;
  const sf_count_t position = base + offset;
  if (position < 0) return -1;
  if (target.seekable && fseeko(target.file, position, SEEK_SET) != 0) {
    target.failed = true;
    return -1;
  }
  target.position = position;
  return position;
}

sf_count_t Read(void* bytes, sf_count_t count, void* data) {
  TTarget& target = TargetOf(data);
  sf_count_t got = 0;
  if (target.seekable) {
    got = static_cast<sf_count_t>(std::fread(bytes, 1, static_cast<size_t>(count), target.file));
  } else if (target.position < target.length) {
    got = std::min(count, target.length - target.position);
    std::memcpy(bytes, target.memory.data() + target.position, static_cast<size_t>(got));
  }
  target.position += got;
  return got;
}

sf_count_t Write(const void* bytes, sf_count_t count, void* data) {
  TTarget& target = TargetOf(data);
  sf_count_t put = count;
  if (target.seekable) {
    put = static_cast<sf_count_t>(std::fwrite(bytes, 1, static_cast<size_t>(count), target.file));
    if (put != count) target.failed = true;
  } else {
    const auto end = static_cast<size_t>(target.position + count);
    if (target.memory.size() < end) target.memory.resize(end);
    std::memcpy(target.memory.data() + target.position, bytes, static_cast<size_t>(count));
  }
  target.position += put;
  target.length = std::max(target.length, target.position);
  return put;
}

sf_count_t Tell(void* data) {
  return TargetOf(data).position;
}

SF_VIRTUAL_IO kVirtualIo = {Length, Seek, Read, Write, Tell};

}  // namespace

TWavWriter::TWavWriter(TOutputFile file) : file_(std::move(file)) {
  target_.file = file_.get();
  target_.seekable = lseek(fileno(target_.file), 0, SEEK_CUR) == 0;
}

TWavWriter::~TWavWriter() {
  if (sound_ != nullptr) sf_close(sound_);
}

bool TWavWriter::Open(uint32_t rate) {
  SF_INFO info{};
  info.samplerate = static_cast<int>(rate);
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  sound_ = sf_open_virtual(&kVirtualIo, SFM_WRITE, &info, &target_);
  if (sound_ == nullptr) error_ = sf_strerror(nullptr);
  return sound_ != nullptr;
}

void TWavWriter::PlayFrames(std::span<const int16_t> samples, double rate) {
  if (!error_.empty()) return;
  if (sound_ == nullptr) {
    rate_ = rate;
    if (!Open(static_cast<uint32_t>(std::lround(rate)))) return;
  } else if (rate != rate_ && !rateChangeReported_) {
    rateChangeReported_ = true;
    std::cerr << "vantor64-cli: the audio interface changed its rate from " << rate_ << " to "
              << rate << " frames a second; the WAV file keeps " << std::lround(rate_) << '\n';
  }
  const auto frames = static_cast<sf_count_t>(samples.size() / 2);
  if (sf_writef_short(sound_, samples.data(), frames) != frames)
    error_ = target_.failed ? std::strerror(errno) : sf_strerror(sound_);
  else
    frames_ += static_cast<uint64_t>(frames);
}

bool TWavWriter::Finish(uint32_t idleRate, std::string& error) {
  if (error_.empty() && sound_ == nullptr) Open(idleRate);
  if (sound_ != nullptr) {
    if (sf_close(sound_) != 0 && error_.empty()) error_ = sf_error_number(sf_error(nullptr));
    sound_ = nullptr;
  }
  if (error_.empty() && target_.failed) error_ = std::strerror(errno);
  if (error_.empty() && !target_.seekable &&
      std::fwrite(target_.memory.data(), 1, target_.memory.size(), target_.file) !=
          target_.memory.size())
    error_ = std::strerror(errno);
  std::string closing;
  const bool closed = CloseOutputFile(std::move(file_), closing);
  if (error_.empty() && !closed) error_ = closing;
  error = error_;
  return error_.empty();
}

}  // namespace vantor::cli
