// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/feed/sample_input.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "tools/feed/polled_reader.h"

namespace tavimor::feed {
namespace {

// About 12 ms of signal at 171 kHz: small enough that a group goes out soon after its end.
constexpr std::size_t kReadBytes = 4096;
constexpr std::size_t kFileFrames = 4096;
constexpr float kSigned16FullScale = 32768.0F;
constexpr float kUnsigned8Zero = 127.5F;

float fromS16le(std::byte low, std::byte high) {
  const auto value = static_cast<std::int16_t>(std::to_integer<unsigned>(low) |
                                               (std::to_integer<unsigned>(high) << 8U));
  return static_cast<float>(value) / kSigned16FullScale;
}

float fromUnsigned8(std::byte value) {
  return (static_cast<float>(std::to_integer<unsigned>(value)) - kUnsigned8Zero) / kUnsigned8Zero;
}

class RawSampleInput final : public SampleInput {
 public:
  RawSampleInput(int fd, RawFormat format, double sampleRate, const std::atomic<bool>& stop)
      : reader_(fd, stop), live_(isLiveInput(fd)), samples_(format), sampleRate_(sampleRate) {}

  double sampleRate() const override { return sampleRate_; }
  unsigned channels() const override { return samples_.channels(); }
  bool live() const override { return live_; }

  void read(std::vector<float>& samples) override {
    samples.clear();
    while (samples.empty()) {
      const std::size_t count = reader_.read(bytes_);
      if (count == 0) break;
      samples_.convert(std::span(bytes_).first(count), samples);
    }
    ended_ = samples.empty();
  }

  std::optional<std::string> error() const override {
    if (reader_.error()) return reader_.error();
    if (ended_ && samples_.partial()) {
      return channels() == 1
                 ? "ended halfway through a sample: raw samples are signed 16-bit, two bytes each"
                 : "ended halfway through a sample: raw I/Q samples are two bytes, I then Q";
    }
    return std::nullopt;
  }

 private:
  PolledReader reader_;
  bool live_;
  RawSamples samples_;
  double sampleRate_;
  std::array<std::byte, kReadBytes> bytes_{};
  bool ended_ = false;
};

// A file as libsndfile's virtual I/O sees it, with some of its bytes replaced: how a WAV header
// that still says "no samples" is told to read on to the end instead.
struct PatchedFile {
  struct Patch {
    sf_count_t offset;
    std::array<unsigned char, 4> bytes;
  };

  int fd = -1;
  sf_count_t length = 0;
  sf_count_t position = 0;
  std::vector<Patch> patches;

  ~PatchedFile() {
    if (fd >= 0) ::close(fd);
  }
};

sf_count_t patchedLength(void* file) {
  return static_cast<PatchedFile*>(file)->length;
}

sf_count_t patchedSeek(sf_count_t offset, int whence, void* data) {
  auto* file = static_cast<PatchedFile*>(data);
  const sf_count_t base = whence == SEEK_CUR   ? file->position
                          : whence == SEEK_END ? file->length
                                               : 0;
  file->position = std::clamp<sf_count_t>(base + offset, 0, file->length);
  return file->position;
}

sf_count_t patchedRead(void* buffer, sf_count_t count, void* data) {
  auto* file = static_cast<PatchedFile*>(data);
  const ssize_t got = ::pread(file->fd, buffer, static_cast<std::size_t>(count),
                              static_cast<off_t>(file->position));
  if (got <= 0) return 0;
  auto* bytes = static_cast<unsigned char*>(buffer);
  for (const PatchedFile::Patch& patch : file->patches) {
    for (sf_count_t i = 0; i < 4; ++i) {
      const sf_count_t at = patch.offset + i - file->position;
      if (at >= 0 && at < got) bytes[at] = patch.bytes[static_cast<std::size_t>(i)];
    }
  }
  file->position += got;
  return got;
}

sf_count_t patchedTell(void* data) {
  return static_cast<PatchedFile*>(data)->position;
}

sf_count_t noWrite(const void* /*buffer*/, sf_count_t /*count*/, void* /*data*/) {
  return 0;
}

SF_VIRTUAL_IO patchedIo{patchedLength, patchedSeek, patchedRead, noWrite, patchedTell};

std::uint32_t littleEndian32(const unsigned char* bytes) {
  return bytes[0] | (bytes[1] << 8U) | (bytes[2] << 16U) |
         (static_cast<std::uint32_t>(bytes[3]) << 24U);
}

// Where the length of a WAV file's samples is written, if the file has a data chunk.
std::optional<sf_count_t> wavDataLengthAt(int fd, sf_count_t fileLength) {
  std::array<unsigned char, 12> riff{};
  if (::pread(fd, riff.data(), riff.size(), 0) != static_cast<ssize_t>(riff.size()) ||
      std::memcmp(riff.data(), "RIFF", 4) != 0 || std::memcmp(riff.data() + 8, "WAVE", 4) != 0)
    return std::nullopt;
  std::array<unsigned char, 8> chunk{};
  for (sf_count_t at = 12; at + 8 <= fileLength;) {
    if (::pread(fd, chunk.data(), chunk.size(), static_cast<off_t>(at)) != 8) break;
    if (std::memcmp(chunk.data(), "data", 4) == 0) return at + 4;
    const sf_count_t size = littleEndian32(chunk.data() + 4);
    at += 8 + size + (size & 1);
  }
  return std::nullopt;
}

// libsndfile's words in the feeder's wording: "System error : No such file." as "no such file".
std::string libraryProblem(std::string text) {
  for (const std::string_view prefix : {"System error : ", "Error : "}) {
    if (text.starts_with(prefix)) text.erase(0, prefix.size());
  }
  if (text.ends_with('.')) text.pop_back();
  // "Format not recognised" but "WAV file ...".
  if (text.size() > 1 && std::isupper(static_cast<unsigned char>(text[0])) != 0 &&
      std::islower(static_cast<unsigned char>(text[1])) != 0)
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

// A WAV file whose header says more samples than the file holds: a copy cut short.
std::optional<std::string> wavShortfall(int fd, sf_count_t fileLength) {
  const auto lengthAt = wavDataLengthAt(fd, fileLength);
  std::array<unsigned char, 4> length{};
  if (!lengthAt || ::pread(fd, length.data(), length.size(), static_cast<off_t>(*lengthAt)) != 4)
    return std::nullopt;
  const sf_count_t promised = littleEndian32(length.data());
  const sf_count_t held = fileLength - (*lengthAt + 4);
  if (promised == 0xFFFFFFFF || promised <= held) return std::nullopt;
  return "is cut short: its header promises " + std::to_string(promised) +
         " bytes of samples, the file holds " + std::to_string(held);
}

struct SoundFileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SoundFile = std::unique_ptr<SNDFILE, SoundFileCloser>;

class SoundFileInput final : public SampleInput {
 public:
  // shortfall: what is missing from the file, to be said once the rest is read.
  SoundFileInput(std::unique_ptr<PatchedFile> source, SoundFile file, const SF_INFO& info,
                 std::optional<std::string> shortfall)
      : source_(std::move(source)),
        file_(std::move(file)),
        sampleRate_(info.samplerate),
        channels_(static_cast<unsigned>(info.channels)),
        frames_(source_->patches.empty() ? std::optional(static_cast<std::uint64_t>(info.frames))
                                         : std::nullopt),
        shortfall_(std::move(shortfall)) {}

  double sampleRate() const override { return sampleRate_; }
  unsigned channels() const override { return channels_; }
  bool live() const override { return false; }
  std::optional<std::uint64_t> frames() const override { return frames_; }

  void read(std::vector<float>& samples) override {
    samples.resize(kFileFrames * channels_);
    const sf_count_t count =
        sf_readf_float(file_.get(), samples.data(), static_cast<sf_count_t>(kFileFrames));
    samples.resize(static_cast<std::size_t>(std::max<sf_count_t>(count, 0)) * channels_);
    if (!samples.empty()) return;
    if (sf_error(file_.get()) != SF_ERR_NO_ERROR) {
      error_ = "cannot be read to its end: " + libraryProblem(sf_strerror(file_.get()));
    } else {
      error_ = shortfall_;
    }
  }

  std::optional<std::string> error() const override { return error_; }

 private:
  std::unique_ptr<PatchedFile> source_;
  SoundFile file_;
  double sampleRate_;
  unsigned channels_;
  std::optional<std::uint64_t> frames_;
  std::optional<std::string> shortfall_;
  std::optional<std::string> error_;
};

SoundFile openVirtual(PatchedFile& source, SF_INFO& info) {
  source.position = 0;
  info = {};
  return SoundFile(sf_open_virtual(&patchedIo, SFM_READ, &info, &source));
}

}  // namespace

void RawSamples::appendFrame(std::byte first, std::byte second, std::vector<float>& samples) const {
  if (format_ == RawFormat::S16le) {
    samples.push_back(fromS16le(first, second));
  } else {
    samples.push_back(fromUnsigned8(first));
    samples.push_back(fromUnsigned8(second));
  }
}

void RawSamples::convert(std::span<const std::byte> bytes, std::vector<float>& samples) {
  if (bytes.empty()) return;
  if (pending_) {
    appendFrame(*pending_, bytes.front(), samples);
    pending_.reset();
    bytes = bytes.subspan(1);
  }
  for (; bytes.size() >= 2; bytes = bytes.subspan(2))
    appendFrame(bytes[0], bytes[1], samples);
  if (!bytes.empty()) pending_ = bytes.front();
}

std::unique_ptr<SampleInput> openRawSamples(int fd, RawFormat format, double sampleRate,
                                            const std::atomic<bool>& stop) {
  return std::make_unique<RawSampleInput>(fd, format, sampleRate, stop);
}

std::variant<std::unique_ptr<SampleInput>, std::string> openSoundFile(const std::string& path) {
  auto source = std::make_unique<PatchedFile>();
  source->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat status {};
  if (source->fd < 0 || ::fstat(source->fd, &status) != 0)
    return std::string("cannot open: ") + std::strerror(errno);
  if (S_ISDIR(status.st_mode)) return std::string("is a directory");
  source->length = status.st_size;

  SF_INFO info{};
  SoundFile file = openVirtual(*source, info);
  if (!file && sf_error(nullptr) == SF_ERR_UNRECOGNISED_FORMAT)
    return std::string("not a sound file (raw samples go on standard input: - <FILE)");
  if (!file) return "not a readable sound file: " + libraryProblem(sf_strerror(nullptr));
  const bool wav = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV;
  if (info.frames == 0 && wav) {
    if (const auto lengthAt = wavDataLengthAt(source->fd, source->length);
        lengthAt && *lengthAt + 4 < source->length) {
      // What a recorder writes while it records: read on to the end of the file.
      source->patches = {{4, {0xFF, 0xFF, 0xFF, 0xFF}}, {*lengthAt, {0xFF, 0xFF, 0xFF, 0xFF}}};
      file = openVirtual(*source, info);
      if (!file) return "not a readable sound file: " + libraryProblem(sf_strerror(nullptr));
    }
  }
  if (info.channels < 1 || info.frames == 0) return std::string("holds no samples");
  std::optional<std::string> shortfall =
      wav ? wavShortfall(source->fd, source->length) : std::nullopt;
  return std::make_unique<SoundFileInput>(std::move(source), std::move(file), info,
                                          std::move(shortfall));
}

}  // namespace tavimor::feed
