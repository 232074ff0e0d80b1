// The starting configuration and its careful write: an existing file is a
// user's configuration and is never replaced.
#include "run/starter_config.hpp"

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "common/platform.hpp"

namespace corvanne {

std::string StarterConfigText() {
  return "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n"
         "<!-- Corvanne configuration, written by corvanne --init.\r\n"
         "     Each setting is a tag pair; a missing or empty one takes its default.\r\n"
         "     Keys are upper case. Do not copy a tag into a comment: it is read there too. -->\r\n"
         "<CORVANNE>\r\n"
         "  <!-- Where the lines go: a SQLite database file, made on the first run.\r\n"
         "       A relative name is taken from this file's folder. -->\r\n"
         "  <DESTINATION_ENGINE>SQLITE</DESTINATION_ENGINE>\r\n"
         "  <SQL_SERVER_DATABASE_NAME>Corvanne.db</SQL_SERVER_DATABASE_NAME>\r\n"
         "  <DESTINATION_TABLE_NAME>SysCodeLines_Temp</DESTINATION_TABLE_NAME>\r\n"
         "  <DESTINATION_COLUMN_NAME>MyCodeLine</DESTINATION_COLUMN_NAME>\r\n"
         "\r\n"
         "  <!-- Where each row comes from, compactly (the layout for large trees):\r\n"
         "       every row carries its file's id and its line number, the path is\r\n"
         "       kept once in SysCodeLines_Temp_Files, and the view\r\n"
         "       SysCodeLines_Temp_View shows FileName, LineNo and MyCodeLine.\r\n"
         "       Empty a key to leave its column out. -->\r\n"
         "  <DESTINATION_FILE_ID_COLUMN_NAME>FileId</DESTINATION_FILE_ID_COLUMN_NAME>\r\n"
         "  <DESTINATION_LINE_NUMBER_COLUMN_NAME>LineNo</DESTINATION_LINE_NUMBER_COLUMN_NAME>\r\n"
         "\r\n"
         "  <!-- FILL IN: the folders to load, separated by the character below\r\n"
         "       (for example C:\\Projects\\App;D:\\Shared\\Modules, or /src/app).\r\n"
         "       A relative folder is taken from this file's folder. With recursion on\r\n"
         "       (the default), only the folders below a listed folder are searched. -->\r\n"
         "  <SOURCE_FOLDERS_LIST_SEP_CHAR>;</SOURCE_FOLDERS_LIST_SEP_CHAR>\r\n"
         "  <SOURCE_FOLDERS_LIST></SOURCE_FOLDERS_LIST>\r\n"
         "  <SOURCE_FOLDER_AVOID_RECURSION_YES_NO>NO</SOURCE_FOLDER_AVOID_RECURSION_YES_NO>\r\n"
         "\r\n"
         "  <!-- FILL IN: the file types to load, without dots, separated by commas. -->\r\n"
         "  <SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST>frm,bas,cls</SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST>\r\n"
         "\r\n"
         "  <!-- What the files are written in when they are not UTF-8. -->\r\n"
         "  <SOURCE_FILE_CODE_PAGE>WINDOWS-1252</SOURCE_FILE_CODE_PAGE>\r\n"
         "\r\n"
         "  <!-- YES: run at once without the window and end (for a terminal or a\r\n"
         "       scheduler); NO: open the window, and load when Export is pressed.\r\n"
         "       The user name is written into every marker row. -->\r\n"
         "  <UNATTENDED_YES_NO>YES</UNATTENDED_YES_NO>\r\n"
         "  <UNATTENDED_RUN_USER_NAME>loader</UNATTENDED_RUN_USER_NAME>\r\n"
         "</CORVANNE>\r\n";
}

int WriteStarterConfig(const std::string& path, std::ostream& out, std::ostream& err) {
  std::error_code ignored;
  if (std::filesystem::symlink_status(path, ignored).type() != std::filesystem::file_type::not_found) {
    err << "corvanne: " << path << " exists already; it was left as it is (move it away, or name another file: "
        << "corvanne --init FILE)\n";
    return 2;
  }
  const std::string text = StarterConfigText();
  errno = 0;
  std::FILE* file = OpenFile(path, "wb");
  int failure = file == nullptr ? (errno != 0 ? errno : EIO) : 0;
  if (file != nullptr) {
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size() && failure == 0) failure = errno != 0 ? errno : EIO;
    if (std::fclose(file) != 0 && failure == 0) failure = errno != 0 ? errno : EIO;
  }
  if (failure != 0) {
    // A half-written file would stop the next --init and be no configuration.
    if (file != nullptr) std::remove(path.c_str());
    err << "corvanne: cannot write \"" << path << "\": " << ErrorFromErrno(failure).description << '\n';
    return 2;
  }
  out << "wrote " << path << "\n"
      << "Fill in the folders to load (SOURCE_FOLDERS_LIST) and the file types\n"
      << "(SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST), then see what a run would do with\n"
      << "  corvanne --config " << path << " --check\n";
  return 0;
}

}  // namespace corvanne
