// The configuration file: its path, the existence test, the whole-file read
// and the tag search. Knows nothing of the individual keys.
#include "config/config_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <utility>

#include "common/message_texts.hpp"
#include "common/platform.hpp"
#include "common/text_decoding.hpp"

namespace corvanne {

namespace fs = std::filesystem;

std::string GetConfigFilePath(const AppState& state) { return state.ConfigFilePath; }

bool CheckFileExists(const std::string& path, Notifier& notifier) {
  std::error_code error;
  const fs::file_status status = fs::status(PathFromText(path), error);
  // "Not there" (a missing entry or a path through a file) is an answer,
  // not a failure of the test.
  if (status.type() == fs::file_type::not_found) return false;
  if (error) {
    notifier.Show(texts::FileExistsCheckFailed(path, error.value()));
    return false;
  }
  return status.type() == fs::file_type::regular;
}

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::string ReadWholeFile(const std::string& path, Notifier& notifier) {
  errno = 0;
  std::unique_ptr<std::FILE, FileCloser> file(OpenFile(path, "rb"));
  if (!file) {
    notifier.Show(texts::StandardError(ErrorFromErrno(errno), path));
    return {};
  }
  // The size is only a hint (the file may change while it is read); one byte
  // more lets the end be seen without growing the buffer.
  std::error_code size_error;
  const std::uintmax_t expected = fs::file_size(PathFromText(path), size_error);
  constexpr size_t kBlock = 1 << 16;
  std::string content(size_error ? kBlock : static_cast<size_t>(expected) + 1, '\0');
  size_t used = 0;
  for (;;) {
    if (used == content.size()) content.resize(content.size() + std::max(kBlock, content.size() / 2));
    const size_t wanted = content.size() - used;
    errno = 0;
    const size_t got = std::fread(content.data() + used, 1, wanted, file.get());
    used += got;
    if (got == wanted) continue;
    if (std::ferror(file.get()) != 0) {
      notifier.Show(texts::StandardError(ErrorFromErrno(errno != 0 ? errno : EIO), path));
      return {};
    }
    content.resize(used);
    return content;
  }
}

void ReadConfigFile(AppState& state, Notifier& notifier, std::string& status) {
  const std::string path = GetConfigFilePath(state);
  if (CheckFileExists(path, notifier)) {
    // Editors save it in UTF-8 or UTF-16 as often as in the ANSI code page
    // the bundled example declares; from here on every value is UTF-8.
    DecodedText decoded = DecodeText(ReadWholeFile(path, notifier), CodePage{});
    if (decoded.ok) {
      state.ConfigText = std::move(decoded.text);
    } else {
      notifier.Show(texts::ConfigFileNotText(path, decoded.error));
      state.ConfigText.clear();
    }
    return;
  }
  notifier.Show(texts::ConfigFileMissing(path));
  status = kStatusFailed;
}

std::string GetTagValue(std::string_view text, std::string_view key) {
  std::string opening;
  opening.reserve(key.size() + 2);
  opening.append("<").append(key).append(">");
  std::string closing;
  closing.reserve(key.size() + 3);
  closing.append("</").append(key).append(">");
  // Both searches start at the beginning: the first closing tag counts even
  // when it stands before the first opening one.
  const size_t open_at = text.find(opening);
  const size_t close_at = text.find(closing);
  if (open_at == std::string_view::npos || close_at == std::string_view::npos) return {};
  const size_t value_at = open_at + opening.size();
  if (close_at < value_at) return {};
  return std::string(text.substr(value_at, close_at - value_at));
}

}  // namespace corvanne
