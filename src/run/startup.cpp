// Start-up: options, the configuration, then an unattended run or the window.
// Whatever goes wrong ends here as a message on standard error and exit status 2.
#include "run/startup.hpp"

#include <exception>
#include <filesystem>
#include <iostream>
#include <string_view>

#include "common/platform.hpp"
#include "common/progress.hpp"
#include "config/config_file.hpp"
#include "discovery/discovery.hpp"
#include "discovery/source_check.hpp"
#include "source/code_page_hint.hpp"
#include "destination/destination.hpp"
#include "run/code_page_choice.hpp"
#include "run/load_engine.hpp"
#include "run/destination_check.hpp"
#include "run/export.hpp"
#include "run/options.hpp"
#include "run/preflight.hpp"
#include "run/reload.hpp"
#include "run/starter_config.hpp"
#include "run/terminal_progress.hpp"

namespace corvanne {

namespace {

int Status(ExitCode code) { return static_cast<int>(code); }

// A relative --config is taken from the current folder, once, so that the
// application folder does not depend on where later paths are resolved.
std::string AbsoluteConfigPath(const std::string& given) {
  if (given.empty()) return DefaultConfigFilePath();
  return TextFromPath(std::filesystem::absolute(PathFromText(given)).lexically_normal());
}

// Prints the run's file list; loads nothing.
int ListFiles(AppState& state) {
  StreamNotifier messages(std::cerr);
  std::string status;
  ReadConfigFile(state, messages, status);
  if (status == kStatusFailed) return Status(ExitCode::kCouldNotStart);
  ParseSettings(state);
  NoProgress progress;  // the list is the output
  RunFileList list;
  try {
    list = CollectRunFileList(state.ConfiguredSource, progress, ApplicationFolder(state));
  } catch (const WalkError& error) {
    std::cerr << "corvanne: " << error.what() << '\n';
    return Status(ExitCode::kCouldNotStart);
  }
  LoadMode mode = LoadMode::kAppend;
  std::string reason;
  bool unreadable = false;  // a file whose code page could not be chosen
  if (!CheckLoadMode(state.Destination, mode, reason)) {
    std::cerr << "corvanne: " << reason << " in " << state.ConfigFilePath << '\n';
    return Status(ExitCode::kCouldNotStart);
  }
  if (mode == LoadMode::kChanged) {
    // Marked: which files the run would load, and which it would pass over.
    if (!PrintReloadList(state, list, std::cout, messages)) return Status(ExitCode::kCouldNotStart);
  } else if (const auto folders = FolderCodePages(state.ConfiguredSource, ApplicationFolder(state));
             AnyAuto(state.ConfiguredSource, folders)) {
    // Under AUTO each file's choice, after a tab: "path\tCP950".
    for (const std::string& file : list.files) {
      std::string chosen;
      const bool read = ChosenCodePage(state.ConfiguredSource, folders, file, chosen, reason);
      if (!read) std::cerr << "corvanne: " << reason << '\n';
      unreadable = unreadable || !read;
      std::cout << file << '\t' << (read ? std::string_view(chosen) : std::string_view("?")) << '\n';
    }
  } else {
    for (const std::string& file : list.files) std::cout << file << '\n';
  }
  std::cout.flush();
  return Status(messages.shown() > 0 || unreadable ? ExitCode::kFailed : ExitCode::kOk);
}

// A scheduler must see a run that did not do what it was asked to: a listed
// folder missing, or folders listed and no file selected. The warnings
// before the run say which.
bool DidLessThanAsked(const RunCounts& counts) {
  return counts.folders_missing > 0 || (counts.folders_listed > 0 && counts.files_listed == 0);
}

int RunUnattended(AppState& state, const std::vector<Message>& startup_messages) {
  StreamNotifier stream(std::cerr);
  TerminalProgress terminal(std::cerr, stream, StandardErrorIsTerminal());
  for (const Message& message : startup_messages) terminal.Show(message);
  // A scheduled run that would load nothing, or less than meant, says so:
  // what the lists tell first, what the walk finds once the run has walked
  // (one walk, the run's own).
  WriteWarnings(CheckConfiguration(state, {}, /*walk=*/false), std::cerr);

  Engine engine = Engine::kSqlServer;
  if (!ParseEngine(state.Destination.DestinationEngine, engine)) {
    std::cerr << "corvanne: unknown DESTINATION_ENGINE \"" << state.Destination.DestinationEngine
              << "\" in " << state.ConfigFilePath << "; use SQLSERVER, SQLITE, POSTGRESQL or ODBC\n";
    return Status(ExitCode::kCouldNotStart);
  }
  const std::vector<std::string> problems = RunSettingsProblems(state);
  for (const std::string& problem : problems) {
    std::cerr << "corvanne: " << problem << " in " << state.ConfigFilePath << '\n';
  }
  if (!problems.empty()) return Status(ExitCode::kCouldNotStart);

  LoadEngine loads(terminal, ApplicationFolder(state));
  RunContext context{state, terminal, terminal, loads, {}};
  context.walked = [&state, &terminal](const RunFileList& list) {
    Findings findings;
    CheckWalkedSource(state.ConfiguredSource, ApplicationFolder(state), list, findings);
    if (findings.empty()) return;
    terminal.ClearLine();
    WriteWarnings(findings, std::cerr);
  };
  try {
    RunExport(context);
  } catch (const DestinationError& error) {
    terminal.ClearLine();
    std::cerr << "corvanne: cannot open the destination, nothing was loaded: " << error.what() << '\n';
    return Status(ExitCode::kCouldNotStart);
  } catch (const std::exception& error) {
    terminal.ClearLine();
    std::cerr << "corvanne: " << error.what() << "\ncorvanne: the run stopped after "
              << context.counts.files_loaded << " loaded files\n";
    return Status(ExitCode::kCouldNotStart);
  }
  const LoadResult closed = loads.Close();
  if (!closed.ok) {
    terminal.ClearLine();
    std::cerr << "corvanne: " << closed.source << ": " << closed.description << '\n';
  }
  // Once, after the closing line: files that look like another script's
  // text than the code page they were read in.
  if (const std::string hint = CodePageHintLine(context.counts); !hint.empty()) std::cerr << hint << '\n';
  const bool clean = closed.ok && context.counts.failed_loads == 0 && stream.shown() == 0;
  return Status(clean && !DidLessThanAsked(context.counts) ? ExitCode::kOk : ExitCode::kFailed);
}

int NoWindow(const AppState& state, const std::vector<Message>& startup_messages) {
  StreamNotifier stream(std::cerr);
  for (const Message& message : startup_messages) stream.Show(message);
  const std::string text = "this build has no window, and " + state.ConfigFilePath +
                           " does not ask for an unattended run.\n"
                           "To run without a window, set <UNATTENDED_YES_NO>YES</UNATTENDED_YES_NO> in it\n"
                           "(and the login in UNATTENDED_RUN_USER_NAME and UNATTENDED_RUN_PASSWORD);\n"
                           "corvanne --list shows which files a run would load.\n";
  std::cerr << "corvanne: " << text;
  // Started from Explorer, the console closes with the program: the box stays.
  ShowStartFailureBox("Corvanne", text);
  return Status(ExitCode::kCouldNotStart);
}

}  // namespace

AttendedStarter WindowProgramStarter(std::vector<std::string> args) {
  return [args = std::move(args)](int& /*argc*/, char** /*argv*/, const AppState& state,
                                  const std::vector<Message>& startup_messages) {
    const std::string program = ExecutableFolder() + kPathSeparator + kWindowProgram;
    std::string error;
    bool missing = false;
    // The window program reads the configuration again and raises start-up's
    // boxes itself, in the window.
    ReplaceProcess(program, args, error, missing);
    if (missing) return NoWindow(state, startup_messages);
    std::cerr << "corvanne: " << error << '\n';
    return Status(ExitCode::kCouldNotStart);
  };
}

namespace {

int MainUnguarded(int& argc, char** argv, const AttendedStarter& attended) {
  Options options;
  std::string error;
  if (!ParseOptions(argc, argv, options, error)) {
    std::cerr << "corvanne: " << error << "\n\n" << UsageText();
    return Status(ExitCode::kCouldNotStart);
  }
  if (options.action == Action::kHelp) {
    std::cout << UsageText();
    return Status(ExitCode::kOk);
  }
  if (options.action == Action::kVersion) {
    std::cout << kVersionText << '\n';
    return Status(ExitCode::kOk);
  }

  AppState& state = ProcessState();
  state = AppState{};  // Main starts from nothing, whatever ran before it in this process
  state.ConfigFilePath = AbsoluteConfigPath(options.config_file);
  if (options.action == Action::kInit) {
    const std::string target = options.init_file.empty() ? state.ConfigFilePath : AbsoluteConfigPath(options.init_file);
    return WriteStarterConfig(target, std::cout, std::cerr);
  }
  if (options.action == Action::kList) return ListFiles(state);
  if (options.action == Action::kCheck) {
    return RunCheck(state, std::cout, {CheckRunSettings, CheckHeaderFile, CheckDestination});
  }

  // No window exists yet: start-up's own boxes wait here until it is known
  // who shows them (standard error, or the window once it is up).
  RecordingNotifier early;
  std::string status;  // start-up goes on without the file; the window says so again
  ReadConfigFile(state, early, status);
  ParseSettings(state);

  if (state.Run.Unattended) return RunUnattended(state, early.messages);
  if (attended) return attended(argc, argv, state, early.messages);
  return NoWindow(state, early.messages);
}

}  // namespace

int Main(int argc, char** argv, const AttendedStarter& attended) {
  // Nothing may end the process with an abort or a core dump: whatever escapes
  // is described on standard error and ends with status 2.
  try {
    return MainUnguarded(argc, argv, attended);
  } catch (const std::exception& error) {
    std::cerr << "corvanne: " << error.what() << '\n';
  } catch (...) {
    std::cerr << "corvanne: the run stopped on an unknown error\n";
  }
  return Status(ExitCode::kCouldNotStart);
}

}  // namespace corvanne
