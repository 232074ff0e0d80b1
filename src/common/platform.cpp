// Operating-system services: executable folder, process number, terminal
// test, error texts and the user's date and time texts.
#include "common/platform.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>
#endif

namespace corvanne {

namespace {

std::string FolderOf(const std::string& path) {
  const auto cut = path.find_last_of(kPathSeparator);
  if (cut == std::string::npos) {
    throw std::runtime_error("the executable's path has no folder: " + path);
  }
  return cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

#ifdef _WIN32

std::string ReadExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD got = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (got == 0) throw std::runtime_error("cannot tell where the executable lives");
    if (got < buffer.size()) return TextFromWide(std::wstring_view(buffer.data(), got));
    buffer.resize(buffer.size() * 2);
  }
}

// Windows keeps the user's formats itself; ask for them directly, in wide
// characters, so that a month or an era name arrives as Unicode whatever
// the ANSI code page.
class SystemDateTime final : public DateTimeSource {
 public:
  std::string ShortDate() const override {
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t text[128] = {};
    const int length = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, text, 128);
    return length > 1 ? TextFromWide(std::wstring_view(text, static_cast<size_t>(length - 1))) : std::string();
  }
  std::string LongTime() const override {
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t text[128] = {};
    const int length = GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, nullptr, text, 128);
    return length > 1 ? TextFromWide(std::wstring_view(text, static_cast<size_t>(length - 1))) : std::string();
  }
};

int64_t NanosecondsSince1970(const FILETIME& time) {
  const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  constexpr uint64_t kTicksFrom1601To1970 = 116444736000000000ULL;  // 100 ns ticks
  return (static_cast<int64_t>(ticks) - static_cast<int64_t>(kTicksFrom1601To1970)) * 100;
}

// The volume a path lives on, told by its root ("C:", "\\server\share"):
// no call per file, and enough to keep the clocks of two shares apart.
uint64_t VolumeOf(const std::string& path) {
  const std::filesystem::path root = PathFromText(path).root_name();
  return std::hash<std::wstring>{}(root.native());
}

#else

std::string ReadExecutablePath() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t got = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (got < 0) throw std::runtime_error("cannot tell where the executable lives: " + ErrorFromErrno(errno).description);
    if (static_cast<size_t>(got) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(got));
    buffer.resize(buffer.size() * 2);
  }
}

class SystemDateTime final : public DateTimeSource {
 public:
  std::string ShortDate() const override { return Now().date; }
  std::string LongTime() const override { return Now().time; }

 private:
  // Two marker rows per file each ask for both: the texts are made once a
  // second (and again when the locale changed).
  struct Stamp {
    std::time_t second = -1;
    std::string locale;
    std::string date;
    std::string time;
  };
  static const Stamp& Now() {
    thread_local Stamp stamp;
    const std::time_t second = std::time(nullptr);
    std::string locale = UserTimeLocaleName();
    if (second != stamp.second || locale != stamp.locale) {
      std::tm parts{};
      localtime_r(&second, &parts);
      stamp.date = FormatShortDate(parts, locale);
      stamp.time = FormatLongTime(parts, locale);
      stamp.second = second;
      stamp.locale = std::move(locale);
    }
    return stamp;
  }
};

// Formats `parts` with strftime under `locale_name`; empty when the locale is
// not installed, so the caller can fall back.
std::string FormatUnderLocale(const std::tm& parts, const std::string& locale_name, const char* format) {
  locale_t locale = newlocale(LC_TIME_MASK, locale_name.c_str(), static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return {};
  char text[256];
  const size_t length = strftime_l(text, sizeof text, format, &parts, locale);
  freelocale(locale);
  return std::string(text, length);
}

#endif

// M/d/yyyy and h:mm:ss AM/PM: the formats of the C and US locales here.
std::string UsShortDate(const std::tm& parts) {
  return std::to_string(parts.tm_mon + 1) + "/" + std::to_string(parts.tm_mday) + "/" +
         std::to_string(parts.tm_year + 1900);
}

std::string TwoDigits(int value) {
  std::string text = std::to_string(value);
  if (value < 10) text.insert(text.begin(), '0');
  return text;
}

std::string UsLongTime(const std::tm& parts) {
  const int hour12 = parts.tm_hour % 12 == 0 ? 12 : parts.tm_hour % 12;
  return std::to_string(hour12) + ":" + TwoDigits(parts.tm_min) + ":" + TwoDigits(parts.tm_sec) +
         (parts.tm_hour < 12 ? " AM" : " PM");
}

const SystemDateTime& SystemClock() {
  static const SystemDateTime clock;
  return clock;
}

std::atomic<const DateTimeSource*> installed_source{nullptr};

}  // namespace

#ifdef _WIN32

std::wstring WideFromText(std::string_view text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(std::max(size, 0)), L'\0');
  if (size > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string TextFromWide(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(std::max(size, 0)), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr, nullptr);
  }
  return text;
}

std::string WindowsErrorText(unsigned long code) {
  // Without the closing line break and full stop the system adds.
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);  // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
  std::string text = length > 0 ? TextFromWide(std::wstring_view(buffer, length)) : std::string();
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  return text.empty() ? "Windows error " + std::to_string(code) : text;
}

std::wstring WidePath(const std::string& path) {
  std::wstring wide = WideFromText(path);
  // Below the classic limit (less room for a file name in a folder path)
  // every API takes the path as it is.
  constexpr size_t kClassicLimit = 248;
  if (wide.size() < kClassicLimit || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  // A UNC path's two leading separators are its own, not a doubled one for
  // the normalising to fold: only what follows them is made normal.
  std::wstring backslashed = wide;
  std::replace(backslashed.begin(), backslashed.end(), L'/', L'\\');
  const bool unc = backslashed.rfind(L"\\\\", 0) == 0;
  std::wstring rest = std::filesystem::path(unc ? backslashed.substr(2) : backslashed)
                          .lexically_normal()
                          .native();
  std::replace(rest.begin(), rest.end(), L'/', L'\\');
  if (unc) return L"\\\\?\\UNC\\" + rest;
  const bool drive = rest.size() >= 3 && rest[1] == L':' && rest[2] == L'\\';
  return drive ? L"\\\\?\\" + rest : wide;
}

#endif

std::filesystem::path PathFromText(std::string_view text) {
#ifdef _WIN32
  return std::filesystem::path(WideFromText(text));
#else
  return std::filesystem::path(std::string(text));
#endif
}

std::string TextFromPath(const std::filesystem::path& path) {
#ifdef _WIN32
  return TextFromWide(path.native());
#else
  return path.native();
#endif
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
#ifdef _WIN32
  return _wfopen(WidePath(path).c_str(), WideFromText(mode).c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

void ShowStartFailureBox(const std::string& title, const std::string& text) {
#ifdef _WIN32
  DWORD processes[2] = {};
  // One process on the console: Explorer or the scheduler made it for this
  // one, and it closes when this process ends.
  if (GetConsoleProcessList(processes, 2) != 1) return;
  MessageBoxW(nullptr, WideFromText(text).c_str(), WideFromText(title).c_str(), MB_OK | MB_ICONERROR);
#else
  (void)title;
  (void)text;
#endif
}

std::string ExecutableFolder() { return FolderOf(ReadExecutablePath()); }

bool ReplaceProcess(const std::string& program, const std::vector<std::string>& args, std::string& error,
                    bool& missing) {
#ifdef _WIN32
  (void)args;
  missing = true;
  error = "cannot start \"" + program + "\": the window is not built for Windows";
  return false;
#else
  std::vector<std::string> copies = args;
  std::vector<char*> argv(copies.size() + 1, nullptr);
  std::transform(copies.begin(), copies.end(), argv.begin(), [](std::string& arg) { return arg.data(); });
  execv(program.c_str(), argv.data());
  const int cause = errno;
  missing = cause == ENOENT;
  error = "cannot start \"" + program + "\": " + std::generic_category().message(cause);
  return false;
#endif
}

int32_t ProcessNumber() {
#ifdef _WIN32
  return static_cast<int32_t>(_getpid());
#else
  return static_cast<int32_t>(getpid());
#endif
}

#ifndef _WIN32
namespace {

// What a stat that ended with `error` (0: none) tells of a file.
FileLook LookFromStat(int error, const struct stat& info) {
  FileLook look;
  if (error != 0) {
    look.kind = (error == ENOENT || error == ENOTDIR) ? FileLook::Kind::kMissing : FileLook::Kind::kUnknown;
    look.cause = std::generic_category().message(error);
    look.error_number = error;
    return look;
  }
  if (!S_ISREG(info.st_mode)) {
    look.kind = FileLook::Kind::kNotRegular;
    look.error_number = S_ISDIR(info.st_mode) ? EISDIR : ENOTSUP;
    look.cause = S_ISDIR(info.st_mode)    ? std::generic_category().message(EISDIR)
                 : S_ISFIFO(info.st_mode) ? "a FIFO, not a regular file"
                 : S_ISSOCK(info.st_mode) ? "a socket, not a regular file"
                                          : "a device, not a regular file";
    return look;
  }
  look.kind = FileLook::Kind::kRegular;
  look.size = static_cast<int64_t>(info.st_size);
  look.modified_ns = static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
  look.device = static_cast<uint64_t>(info.st_dev);
  return look;
}

}  // namespace
#endif

FileLook LookAtFile(const std::string& path) {
  FileLook look;
#ifdef _WIN32
  WIN32_FILE_ATTRIBUTE_DATA data{};
  const std::wstring wide = WidePath(path);
  bool got = GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data) != 0;
  DWORD error = got ? 0 : GetLastError();
  if (got && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // A link tells of itself; the file it leads to is what is read.
    HANDLE handle = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    got = handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info) != 0;
    error = got ? 0 : GetLastError();
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    data.dwFileAttributes = info.dwFileAttributes;
    data.ftLastWriteTime = info.ftLastWriteTime;
    data.nFileSizeHigh = info.nFileSizeHigh;
    data.nFileSizeLow = info.nFileSizeLow;
  }
  if (!got) {
    const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                         error == ERROR_INVALID_NAME || error == ERROR_BAD_PATHNAME || error == ERROR_DIRECTORY;
    look.kind = missing ? FileLook::Kind::kMissing : FileLook::Kind::kUnknown;
    const PlatformError cause = ErrorFromWindows(error);
    look.cause = cause.description;
    look.error_number = cause.number;
    return look;
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0) {
    look.kind = FileLook::Kind::kNotRegular;
    const bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    look.error_number = folder ? EISDIR : ENOTSUP;
    look.cause = folder ? std::generic_category().message(EISDIR) : "a device, not a regular file";
    return look;
  }
  look.kind = FileLook::Kind::kRegular;
  look.size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  look.modified_ns = NanosecondsSince1970(data.ftLastWriteTime);
  look.device = VolumeOf(path);
  return look;
#else
  // One stat: a re-load looks at every file of the tree, and each look counts.
  struct stat info {};
  return LookFromStat(stat(path.c_str(), &info) == 0 ? 0 : errno, info);
#endif
}


FileLooker::~FileLooker() {
#ifndef _WIN32
  if (folder_fd_ >= 0) close(folder_fd_);
#endif
}

FileLook FileLooker::Look(const std::string& path) {
#ifdef _WIN32
  return LookAtFile(path);
#else
  const std::size_t cut = path.rfind('/');
  if (cut == std::string::npos || cut == 0) return LookAtFile(path);
  if (folder_fd_ < 0 || path.compare(0, cut, folder_) != 0 || folder_.size() != cut) {
    if (folder_fd_ >= 0) close(folder_fd_);
    folder_.assign(path, 0, cut);
    folder_fd_ = open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  // A folder that cannot be opened (search permission only, say) can still
  // be looked through by the whole path.
  if (folder_fd_ < 0) return LookAtFile(path);
  struct stat info {};
  const char* name = path.c_str() + cut + 1;
  return LookFromStat(fstatat(folder_fd_, name, &info, 0) == 0 ? 0 : errno, info);
#endif
}

int64_t NowNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool StampsWithLocalClock(const std::string& path) {
#ifdef _WIN32
  // A fixed disk or a RAM disk; a share, a removable drive or one that cannot
  // be told may carry another machine's clock.
  std::wstring root = PathFromText(path).root_path().native();
  if (root.empty()) return false;
  if (root.back() != L'\\') root.push_back(L'\\');
  const UINT type = GetDriveTypeW(root.c_str());
  return type == DRIVE_FIXED || type == DRIVE_RAMDISK;
#else
  // Only file systems the kernel stamps itself; shares (NFS, SMB, 9p), FUSE
  // (sshfs and the like) and anything not listed keep to what can be told.
  struct statfs info {};
  if (statfs(path.c_str(), &info) != 0) return false;
  constexpr std::uint64_t kLocal[] = {
      0xEF53,      // ext2, ext3, ext4
      0x58465342,  // XFS
      0x9123683E,  // Btrfs
      0x01021994,  // tmpfs
      0xF2F52010,  // F2FS
      0x2FC12FC1,  // ZFS
      0x794C7630,  // overlay (a container's layers)
  };
  const auto type = static_cast<std::uint64_t>(info.f_type);
  return std::find(std::begin(kLocal), std::end(kLocal), type) != std::end(kLocal);
#endif
}

bool StandardErrorIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

PlatformError ErrorFromErrno(int errno_value) {
  return {errno_value, std::generic_category().message(errno_value)};
}

PlatformError ErrorFromCode(const std::error_code& code) { return {code.value(), code.message()}; }

#ifdef _WIN32
PlatformError ErrorFromWindows(unsigned long code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return ErrorFromErrno(ENOENT);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return ErrorFromErrno(EACCES);
    case ERROR_DIRECTORY:
      return ErrorFromErrno(ENOTDIR);
    case ERROR_FILENAME_EXCED_RANGE:
      return ErrorFromErrno(ENAMETOOLONG);
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ErrorFromErrno(ENOMEM);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ErrorFromErrno(ENOSPC);
    default:
      return {static_cast<int>(code), WindowsErrorText(code)};
  }
}
#endif

std::string UserTimeLocaleName() {
#ifdef _WIN32
  return {};
#else
  // The first of these that is set and not empty decides, as POSIX orders them.
  for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
#endif
}

bool UsesUsFormats(const std::string& locale_name) {
  return locale_name.empty() || locale_name == "C" || locale_name == "POSIX" || locale_name.rfind("C.", 0) == 0 ||
         locale_name.rfind("en_US", 0) == 0;
}

std::string FormatShortDate(const std::tm& parts, const std::string& locale_name) {
#ifndef _WIN32
  if (!UsesUsFormats(locale_name)) {
    std::string text = FormatUnderLocale(parts, locale_name, "%x");
    if (!text.empty()) return text;
  }
#else
  (void)locale_name;
#endif
  return UsShortDate(parts);
}

std::string FormatLongTime(const std::tm& parts, const std::string& locale_name) {
#ifndef _WIN32
  if (!UsesUsFormats(locale_name)) {
    std::string text = FormatUnderLocale(parts, locale_name, "%X");
    if (!text.empty()) return text;
  }
#else
  (void)locale_name;
#endif
  return UsLongTime(parts);
}

const DateTimeSource& CurrentDateTime() {
  const DateTimeSource* source = installed_source.load();
  if (source != nullptr) return *source;
  return SystemClock();
}

void SetDateTimeSource(const DateTimeSource* source) { installed_source.store(source); }

}  // namespace corvanne
