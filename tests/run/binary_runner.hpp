// Runs the built corvanne as a child process and reads what it left in a
// SQLite database: the end-to-end tests see exactly what a user would.
#pragma once

#include <sqlite3.h>

#ifdef _WIN32
#include <windows.h>

#include "common/platform.hpp"
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "testing/temp_dir.hpp"

namespace corvanne::testing {

// What a finished child left behind.
struct Outcome {
  int status = -1;  // exit status; -1 when it did not exit normally
  std::string out;  // standard output
  std::string err;  // standard error
};

#ifdef _WIN32

// `arg` quoted for a Windows command line, as the C runtime splits it again.
inline std::wstring QuotedArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

// Runs the binary to its end inside `dir`, with its output captured. There
// is no other user to run as on Windows: `as_nobody` is not asked there.
inline Outcome RunBinary(const TempDir& dir, std::vector<std::string> args, bool as_nobody = false) {
  (void)as_nobody;
  const std::string out_file = dir.Path("stdout.txt");
  const std::string err_file = dir.Path("stderr.txt");
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const auto open_output = [&](const std::string& path) {
    // The last child's handles may outlive it for a moment (Wine): share
    // everything, so that the file is still made anew.
    return CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  HANDLE out = open_output(out_file);
  HANDLE err = open_output(err_file);
  if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE) {
    throw std::runtime_error("cannot make the files for the program's output in " + dir.Path(""));
  }
  HANDLE in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  std::wstring command = QuotedArgument(WideFromText(CORVANNE_BINARY));
  for (const std::string& arg : args) command += L" " + QuotedArgument(WideFromText(arg));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  const std::wstring folder = WideFromText(TextFromPath(dir.path()));
  Outcome outcome;
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, folder.c_str(),
                     &startup, &process) != 0) {
    DWORD code = 0;
    if (WaitForSingleObject(process.hProcess, 300000) == WAIT_OBJECT_0 && GetExitCodeProcess(process.hProcess, &code)) {
      outcome.status = static_cast<int>(code);
    } else {
      TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(in);
  CloseHandle(out);
  CloseHandle(err);
  // Standard output and error are text there: each line ends in CR LF.
  const auto lines = [](std::string text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] != '\r' || i + 1 >= text.size() || text[i + 1] != '\n') out += text[i];
    }
    return out;
  };
  outcome.out = lines(ReadBytes(out_file));
  outcome.err = lines(ReadBytes(err_file));
  return outcome;
}

#else

// How to start the child.
struct Launch {
  std::vector<std::string> args;  // after the program name
  std::string folder;             // working folder ("" keeps the test's)
  std::string out_file;           // standard output goes here
  std::string err_file;           // standard error goes here ("" with err_fd set)
  int err_fd = -1;                // or this descriptor (a terminal, say)
  bool as_nobody = false;         // drop root first (permissions do not stop root)
  std::vector<std::string> unset; // environment variables the child does not get
  std::vector<std::pair<std::string, std::string>> set;  // and ones it gets with these values
};

// Starts the binary; returns its process id. Never returns in the child.
inline pid_t StartBinary(const Launch& launch) {
  std::vector<char*> argv;
  std::string program = CORVANNE_BINARY;
  argv.push_back(program.data());
  std::vector<std::string> args = launch.args;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid > 0) return pid;
  const int out = open(launch.out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = launch.err_fd >= 0 ? launch.err_fd : open(launch.err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
  const int null_in = open("/dev/null", O_RDONLY);
  if (null_in >= 0) dup2(null_in, 0);
  if (!launch.folder.empty() && chdir(launch.folder.c_str()) != 0) _exit(126);
  for (const std::string& name : launch.unset) unsetenv(name.c_str());
  for (const auto& [name, value] : launch.set) setenv(name.c_str(), value.c_str(), 1);
  if (launch.as_nobody && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(126);
  execv(argv[0], argv.data());
  _exit(127);
}

// Exit status of a normal end, -1 for anything else (a signal, a core dump).
inline int WaitFor(pid_t pid) {
  int raw = 0;
  if (waitpid(pid, &raw, 0) != pid) return -1;
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Runs the binary to its end inside `dir`, with its output captured.
inline Outcome RunBinary(const TempDir& dir, std::vector<std::string> args, bool as_nobody = false) {
  Launch launch;
  launch.args = std::move(args);
  launch.folder = dir.path().string();
  launch.out_file = dir.Path("stdout.txt");
  launch.err_file = dir.Path("stderr.txt");
  launch.as_nobody = as_nobody;
  Outcome outcome;
  outcome.status = WaitFor(StartBinary(launch));
  outcome.out = ReadBytes(launch.out_file);
  outcome.err = ReadBytes(launch.err_file);
  return outcome;
}

#endif

// `text` as a regular expression that matches exactly it: a Windows path's
// '\\' and a name's '.' are no operators there.
inline std::string Literal(const std::string& text) {
  std::string quoted;
  for (const char c : text) {
    if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) quoted += '\\';
    quoted += c;
  }
  return quoted;
}

// The text of a configuration file with the given keys (and nothing else).
inline std::string ConfigText(const std::map<std::string, std::string>& values) {
  std::string text = "<?xml version=\"1.0\"?>\r\n<CORVANNE_CONFIG>\r\n";
  for (const auto& [key, value] : values) text += "<" + key + ">" + value + "</" + key + ">\r\n";
  return text + "</CORVANNE_CONFIG>\r\n";
}

// Every value of `column` in `table`, ordered by LineId; empty when the
// database or the table does not exist.
inline std::vector<std::string> ReadColumn(const std::string& database, const std::string& sql =
                                               "SELECT MyCodeLine FROM SysCodeLines_Temp ORDER BY LineId") {
  std::vector<std::string> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return rows;
  }
  sqlite3_busy_timeout(db, 10000);
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK) {
    while (sqlite3_step(statement) == SQLITE_ROW) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
      rows.emplace_back(text == nullptr ? "" : std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, 0))));
    }
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}

// The value of tag `key` in a marker row ("" when absent).
inline std::string TagOf(const std::string& row, const std::string& key) {
  const std::string open = "<" + key + ">";
  const std::size_t start = row.find(open);
  const std::size_t end = row.find("</" + key + ">");
  if (start == std::string::npos || end == std::string::npos) return "";
  return row.substr(start + open.size(), end - start - open.size());
}

// A marker row reduced to what a test can predict: status, serial and file.
inline std::string Brief(const std::string& row) {
  if (row.rfind("<TASK_STATUS>", 0) != 0) return row;
  return TagOf(row, "TASK_STATUS") + " " + TagOf(row, "FILE_SERIAL_NUMBER") + " " + TagOf(row, "FILE_NAME");
}

}  // namespace corvanne::testing
