// Fixed message texts; see message_texts.hpp.
#include "common/message_texts.hpp"

namespace corvanne::texts {

Message StandardError(const PlatformError& error) {
  return {"Error No. " + std::to_string(error.number) + kCrLf + "Description : " + error.description};
}

Message StandardError(const PlatformError& error, const std::string& path) {
  return StandardError(PlatformError{error.number, "\"" + path + "\": " + error.description});
}

Message ConfigFileMissing(const std::string& path) {
  return {"Unable to read config file... Expected here... " + path};
}

Message ConfigFileNotText(const std::string& path, const std::string& cause) {
  return {"Unable to read config file " + path + ": " + cause};
}

Message FileExistsCheckFailed(const std::string& path, int error_number) {
  return {"Error while checking whether file exists.. " + path + "Error No. " + std::to_string(error_number)};
}

Message WriteFailed(const std::string& path, const std::string& cause) {
  return {"An error occurred writing to file... \"" + path + "\": " + cause};
}

Message StepFailed(const std::string& step_name, const std::string& source, const std::string& description) {
  return {step_name + " failed" + kCrLf + source + kCrLf + description};
}

Message ErrorForFile(const std::string& path) { return {std::string("Error for file... ") + kCrLf + path}; }

Message BlankUserName() {
  return {"Username cannot be left blank... ", "Invalid input...", MessageIcon::kCritical};
}

Message GoOnWithoutBoxes(int boxes) {
  return {std::to_string(boxes) + " failure boxes so far in this run. Go on without failure boxes?" + kCrLf +
              "Yes: the later failures are only listed in the window when the run is over." + kCrLf +
              "No: every failure is shown in its boxes, as so far."};
}

Message Done() { return {"Done...", "Done.. ", MessageIcon::kInformation}; }

Message NoProgramForManual(const std::string& path) {
  return {std::string("No program is set up to open the user manual.") + kCrLf + "It is here: " + path,
          kApplicationTitle, MessageIcon::kInformation};
}

std::string ReplacedBytes(const std::string& path, const std::string& encoding, int64_t replaced, int64_t line,
                          uint64_t offset) {
  const std::string sequences = replaced == 1 ? "1 byte sequence" : std::to_string(replaced) + " byte sequences";
  return "\"" + path + "\" line " + std::to_string(line) + ": " + sequences + " not valid in " + encoding +
         (replaced == 1 ? " was" : " were") + " stored as U+FFFD, the first at byte offset " + std::to_string(offset);
}

}  // namespace corvanne::texts
