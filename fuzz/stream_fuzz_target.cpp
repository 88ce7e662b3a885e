// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary byte streams through the serial link's framing, the receive handler, the display
// fields and the traffic stage, with the invariants every read must leave intact.
//
// Input: chunks, each a control byte and then up to 63 data bytes as they arrive on the line.
// Control bits 0-5: number of data bytes; bit 6: traffic.txt becomes unwritable (a directory
// takes its place) or writable again before the chunk; bit 7: the line pauses after the chunk.
// The stream always ends with a pause.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/reception.h"
#include "decode/packet_framer.h"
#include "traffic/status_file.h"
#include "ui/rds_charset.h"

namespace tavimor {
namespace {

constexpr std::uint8_t kLengthBits = 0x3F;
constexpr std::uint8_t kToggleUnwritable = 0x40;
constexpr std::uint8_t kPauseAfter = 0x80;

void require(bool holds, const char* invariant) {
  if (holds) return;
  std::fprintf(stderr, "Invariant broken: %s\n", invariant);
  std::abort();
}

// traffic.txt of every input lives in one scratch directory of this process, removed at exit.
// The working directory stays as it is: libFuzzer reads its corpus through relative paths.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavimor-fuzz-XXXXXX").string();
    require(::mkdtemp(pattern.data()) != nullptr, "a scratch directory can be made");
    path_ = pattern;
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

const std::filesystem::path& statusFilePath() {
  static const ScratchDirectory scratch;
  static const std::filesystem::path path = scratch.path() / kStatusFileName;
  return path;
}

std::optional<std::string> readStatusFile() {
  const int fd = ::open(statusFilePath().c_str(), O_RDONLY);
  if (fd < 0) return std::nullopt;
  std::array<char, 64> buffer{};
  const ssize_t length = ::read(fd, buffer.data(), buffer.size());
  ::close(fd);
  if (length < 0) return std::nullopt;
  return std::string(buffer.data(), static_cast<std::size_t>(length));
}

bool isFlagCaption(const std::string& caption) {
  return caption == "????" || caption == "0" || caption == "1";
}

class Stream {
 public:
  Stream() {
    std::error_code ignored;
    std::filesystem::remove_all(statusFilePath(), ignored);
    require(!reception_.start(), "traffic.txt can be written at start-up");
  }

  void run(std::span<const std::uint8_t> input) {
    std::size_t position = 0;
    while (position < input.size()) {
      const std::uint8_t control = input[position++];
      const std::size_t length =
          std::min<std::size_t>(control & kLengthBits, input.size() - position);
      if ((control & kToggleUnwritable) != 0) toggleUnwritable();
      const std::string_view bytes(reinterpret_cast<const char*>(input.data() + position), length);
      position += length;
      sent_.append(bytes);
      framer_.append(bytes, [this](const PacketBytes& packet) { onPacket(packet); });
      if ((control & kPauseAfter) != 0) pause();
    }
    pause();
    require(received_ == sent_.size(), "every byte sent is delivered once");
  }

 private:
  void pause() {
    pausing_ = true;
    framer_.flush([this](const Fragment& fragment) { onFragment(fragment); });
    pausing_ = false;
  }

  void toggleUnwritable() {
    std::error_code error;
    std::filesystem::remove_all(statusFilePath(), error);
    if (!unwritable_) std::filesystem::create_directory(statusFilePath(), error);
    require(!error, "the test can block and free traffic.txt");
    unwritable_ = !unwritable_;
  }

  void onPacket(const PacketBytes& packet) {
    followsTheStream(packet);
    const std::optional<TrafficState> before = reception_.traffic().state();
    reception_.handlePacket(packet);
    decoded_ = true;

    checkFields(packet);
    // The handler writes traffic.txt when the state changes and after a failed write.
    const bool writeDue = before != reception_.traffic().state() || writeFailed_;
    checkStatusFile(writeDue);
    if (writeDue) writeFailed_ = unwritable_;
  }

  void onFragment(const Fragment& fragment) {
    require(pausing_, "a fragment comes only when the line pauses");
    followsTheStream(fragment.bytes());
    reception_.showFragment(fragment);
    checkFields(fragment.bytes());
    checkStatusFile(false);
  }

  void followsTheStream(std::span<const std::uint8_t> read) {
    const std::string_view sent = std::string_view(sent_).substr(received_, read.size());
    require(std::equal(
                read.begin(), read.end(), sent.begin(), sent.end(),
                [](std::uint8_t got, char byte) { return got == static_cast<std::uint8_t>(byte); }),
            "reads follow the stream in order");
    received_ += read.size();
  }

  void checkFields(std::span<const std::uint8_t> read) const {
    const DisplayFields& fields = reception_.fields();
    const Station& station = reception_.station();
    require(fields.caption(Field::RawRead) == rdsToUtf8(read), "the raw box holds the read");
    require(fields.caption(Field::HexRead).size() == 2 * read.size(),
            "the hex box holds two digits per byte");
    require(station.psName.size() == kPsLength, "the station name is eight characters");
    require(fields.caption(Field::PsName) == (decoded_ ? rdsToUtf8(station.psName) : "????????"),
            "the station name is shown once a packet was decoded");
    const RadioText& text = station.radioText;
    require(text.bufferA.size() == kRadioTextLength && text.bufferB.size() == kRadioTextLength,
            "both RadioText buffers are 64 characters");
    require(text.committed.empty() || text.committed.size() == kRadioTextLength,
            "the committed RadioText is empty or 64 characters");
    require(text.groupCount >= 0 && text.groupCount <= kMaxRadioTextGroupCount,
            "the RadioText group count stays within 0 and 1000");
    require(fields.caption(Field::RadioTextGroupCount) == std::to_string(text.groupCount),
            "the group count is shown");
    require(isFlagCaption(fields.caption(Field::TrafficProgramme)), "TP is ????, 0 or 1");
    require(isFlagCaption(fields.caption(Field::TrafficAnnouncement)), "TA is ????, 0 or 1");
  }

  void checkStatusFile(bool mustWrite) const {
    if (unwritable_) return;
    const std::optional<std::string> content = readStatusFile();
    if (!content) {
      require(!mustWrite, "traffic.txt is written on a change of state and after a failure");
      return;
    }
    require(
        *content == kStatusUnknown || *content == kStatusNoTraffic || *content == kStatusTraffic,
        "traffic.txt holds one of its three contents");
    if (!decoded_) {
      require(*content == kStatusUnknown, "traffic.txt is unknown until the first packet");
    } else {
      require(*content == statusLine(*reception_.traffic().state()),
              "traffic.txt follows the banner");
    }
  }

  PacketFramer framer_;
  Reception reception_{StatusFile(statusFilePath())};
  std::string sent_;
  std::size_t received_ = 0;
  bool pausing_ = false;
  bool unwritable_ = false;
  bool decoded_ = false;
  bool writeFailed_ = false;  // the last write of traffic.txt met a directory in its place
};

}  // namespace
}  // namespace tavimor

// libFuzzer calls the target by this name.
extern "C" int LLVMFuzzerTestOneInput(  // NOLINT(readability-identifier-naming)
    const std::uint8_t* data, std::size_t size) {
  tavimor::Stream stream;
  stream.run(std::span<const std::uint8_t>(data, size));
  return 0;
}
