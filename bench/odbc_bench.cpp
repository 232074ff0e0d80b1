// Loads files through the ODBC destination into a data source, once per
// shape, and prints lines per second. Driven by bench/odbc_bench.sh.
// Usage: odbc_bench DSN USER PASSWORD TABLE SHAPE[,SHAPE...] FILE...
// SHAPE is ROWS (lines per INSERT) or ROWSxSETS (and SETS INSERTs per execute).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "destination/odbc/odbc_connection_string.hpp"
#include "destination/odbc/odbc_destination.hpp"
#include "destination/odbc/odbc_handles.hpp"

namespace {

using namespace corvanne;

// Runs one statement on its own autocommit connection; false on failure.
bool Exec(const std::string& connection_string, const std::string& sql, std::string* first_value = nullptr) {
  OdbcHandle env = MakeOdbcEnvironment();
  OdbcHandle dbc(SQL_HANDLE_DBC, env.Get());
  std::string text = connection_string;
  if (!Succeeded(SQLDriverConnect(dbc.Get(), nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, nullptr, 0,
                                  nullptr, SQL_DRIVER_NOPROMPT))) {
    std::fprintf(stderr, "connect: %s\n", FormatDiagnostics(ReadDiagnostics(dbc), "?").c_str());
    return false;
  }
  bool ok;
  {
    OdbcHandle stmt(SQL_HANDLE_STMT, dbc.Get());
    std::string statement = sql;
    ok = Succeeded(SQLExecDirect(stmt.Get(), reinterpret_cast<SQLCHAR*>(statement.data()), SQL_NTS));
    if (!ok) std::fprintf(stderr, "%s: %s\n", sql.c_str(), FormatDiagnostics(ReadDiagnostics(stmt), "?").c_str());
    if (ok && first_value != nullptr && Succeeded(SQLFetch(stmt.Get()))) {
      char buffer[64] = {};
      SQLLEN length = 0;
      SQLGetData(stmt.Get(), 1, SQL_C_CHAR, buffer, sizeof buffer, &length);
      *first_value = buffer;
    }
  }
  SQLDisconnect(dbc.Get());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 7) {
    std::fprintf(stderr, "usage: odbc_bench DSN USER PASSWORD TABLE ROWS[xSETS][,ROWS[xSETS]...] FILE...\n");
    return 2;
  }
  LoadRequest request;
  request.server = argv[1];
  request.user_name = argv[2];
  request.password = argv[3];
  request.table_name = argv[4];
  request.column_name = "MyCodeLine";
  request.row_delimiter = "\r\n";
  const std::string client = DsnConnectionString(request);
  std::vector<OdbcOptions> shapes;
  std::stringstream list(argv[5]);
  for (std::string item; std::getline(list, item, ',');) {
    OdbcOptions options;
    const std::size_t x = item.find('x');
    options.batch_rows = std::stoul(item.substr(0, x));
    options.statements_per_execute = x == std::string::npos ? 1 : std::stoul(item.substr(x + 1));
    shapes.push_back(options);
  }

  for (const OdbcOptions& shape : shapes) {
    if (!Exec(client, "TRUNCATE " + request.table_name)) return 1;
    auto destination = MakeOdbcDestination(Engine::kOdbc, shape);
    int64_t lines = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 6; i < argc; ++i) {
      request.source_path = argv[i];
      const LoadResult result = destination->Load(request);
      if (!result.ok) {
        std::fprintf(stderr, "%s\n%s\n", result.source.c_str(), result.description.c_str());
        return 1;
      }
      lines += result.rows;
    }
    destination->Close();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string count;
    Exec(client, "SELECT count(*) FROM " + request.table_name, &count);
    if (count != std::to_string(lines)) {
      std::fprintf(stderr, "the table holds %s rows, the loads reported %lld\n", count.c_str(),
                   static_cast<long long>(lines));
      return 1;
    }
    std::printf("odbc rows_per_insert=%zu inserts_per_execute=%zu lines=%lld seconds=%.2f lines_per_second=%.0f\n",
                shape.batch_rows, shape.statements_per_execute,
                static_cast<long long>(lines), seconds, static_cast<double>(lines) / seconds);
    std::fflush(stdout);
  }
  return 0;
}
