#include "traffic/status_file.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace tavimor {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::error_code lastError() {
  return {errno != 0 ? errno : EIO, std::generic_category()};
}

}  // namespace

StatusFile::StatusFile(std::filesystem::path path) : path_(std::move(path)) {}

std::error_code StatusFile::write(std::string_view content) const {
  errno = 0;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path_.string().c_str(), "wb"));
  if (!file) return lastError();
  // Unbuffered, so the whole line reaches the file in a single write and a reader never
  // sees half of it.
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  if (std::fwrite(content.data(), 1, content.size(), file.get()) != content.size()) {
    return lastError();
  }
  if (std::fclose(file.release()) != 0) return lastError();
  return {};
}

}  // namespace tavimor
