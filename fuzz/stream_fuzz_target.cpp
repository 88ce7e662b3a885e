// Arbitrary byte streams through the serial link's framing, the receive handler, the display
// fields and the traffic stage, with the invariants every read must leave intact.
//
// Input: chunks, each a control byte and then up to 63 data bytes as they arrive on the line.
// Control bits 0-5: number of data bytes; bit 6: traffic.txt becomes unwritable (a directory
// takes its place) or writable again before the chunk; bit 7: the line pauses after the chunk.
// The stream always ends with a pause.
#include <fcntl.h>
#include <unistd.h>

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

#include "decoder_state.h"
#include "display_fields.h"
#include "packet_framer.h"
#include "receive_handler.h"
#include "status_file.h"

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
    require(!statusFile_.write(kStatusUnknown), "traffic.txt can be written at start-up");
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
      framer_.append(bytes, [this](std::string_view read) { onRead(read); });
      if ((control & kPauseAfter) != 0) pause();
    }
    pause();
    require(received_ == sent_.size(), "every byte sent is delivered once");
  }

 private:
  void pause() {
    pausing_ = true;
    framer_.flush([this](std::string_view read) { onRead(read); });
    pausing_ = false;
  }

  void toggleUnwritable() {
    std::error_code error;
    std::filesystem::remove_all(statusFilePath(), error);
    if (!unwritable_) std::filesystem::create_directory(statusFilePath(), error);
    require(!error, "the test can block and free traffic.txt");
    unwritable_ = !unwritable_;
  }

  void onRead(std::string_view read) {
    require(read.size() == kPacketSize || (pausing_ && !read.empty() && read.size() < kPacketSize),
            "a read is a whole packet, or a fragment when the line pauses");
    require(sent_.compare(received_, read.size(), read) == 0, "reads follow the stream in order");
    received_ += read.size();

    const TrafficState before = state_.traffic;
    handleRead(read, state_, fields_, statusFile_);
    const bool decoded = read.size() == kPacketSize;
    decoded_ = decoded_ || decoded;

    checkFields(read);
    // The handler writes traffic.txt when the state changes and after a failed write.
    const bool mustWrite = decoded && (before.statusFileStale ||
                                       before.lastTrafficFlag != state_.traffic.lastTrafficFlag);
    checkStatusFile(decoded, mustWrite);
  }

  void checkFields(std::string_view read) const {
    require(fields_.caption(Field::Text1) == read, "Text1 holds the read");
    require(fields_.caption(Field::Text2) == toHexPacket(read), "Text2 holds the read in hex");
    require(state_.psBuffer.size() == 8, "psBuffer is eight characters");
    require(fields_.caption(Field::lblPS) == (decoded_ ? state_.psBuffer : "????????"),
            "lblPS shows psBuffer once a packet was decoded");
    const RadioTextState& text = state_.radioText;
    require(text.rtBufferA.size() == 64 && text.rtBufferB.size() == 64,
            "both RadioText buffers are 64 characters");
    require(text.radioText.empty() || text.radioText.size() == 64,
            "the committed RadioText is empty or 64 characters");
    require(text.rtGroupCount >= 0 && text.rtGroupCount <= 1000,
            "rtGroupCount stays within 0 and 1000");
    require(fields_.caption(Field::lblRDScount) == std::to_string(text.rtGroupCount),
            "lblRDScount shows rtGroupCount");
    require(isFlagCaption(fields_.caption(Field::lblTP)), "lblTP is ????, 0 or 1");
    require(isFlagCaption(fields_.caption(Field::lblTA)), "lblTA is ????, 0 or 1");
  }

  void checkStatusFile(bool decoded, bool mustWrite) const {
    if (unwritable_) return;
    require(!(decoded && state_.traffic.statusFileStale),
            "a packet leaves a writable traffic.txt up to date");
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
      const bool announcement = state_.traffic.trafficFlag == 1;
      require(*content == (announcement ? kStatusTraffic : kStatusNoTraffic),
              "traffic.txt follows the banner");
    }
  }

  PacketFramer framer_;
  DecoderState state_;
  DisplayFields fields_;
  StatusFile statusFile_{statusFilePath()};
  std::string sent_;
  std::size_t received_ = 0;
  bool pausing_ = false;
  bool unwritable_ = false;
  bool decoded_ = false;
};

}  // namespace
}  // namespace tavimor

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tavimor::Stream stream;
  stream.run(std::span<const std::uint8_t>(data, size));
  return 0;
}
