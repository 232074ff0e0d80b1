// The SQL Server engine through the driver manager and FreeTDS, without a
// SQL Server: a port that accepts but never answers, one that refuses, and
// a driver that is not there. Each fails cleanly with the driver's words,
// and a run pays the login timeout once, not once per load.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "destination/odbc/odbc_destination.hpp"
#include "odbc_test_support.hpp"
#include "testing/temp_dir.hpp"

namespace corvanne {
namespace {

// A TCP socket on 127.0.0.1 that listens (or not) and never accepts on its
// own; Accepted() counts the connections that arrived.
class SilentPort {
 public:
  explicit SilentPort(bool listen_on_it) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    if (listen_on_it) {
      listen(fd_, 16);
      fcntl(fd_, F_SETFL, O_NONBLOCK);
    } else {
      close(fd_);  // the port is now one where nothing listens
      fd_ = -1;
    }
  }
  ~SilentPort() {
    if (fd_ >= 0) close(fd_);
  }
  SilentPort(const SilentPort&) = delete;
  SilentPort& operator=(const SilentPort&) = delete;

  int port() const { return port_; }
  // Connections that arrived since the last call.
  int Accepted() {
    int count = 0;
    for (int client; fd_ >= 0 && (client = accept(fd_, nullptr, nullptr)) >= 0; ++count) close(client);
    return count;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

class OdbcSqlServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The driver list comes from the ODBCSYSINI that scripts/test writes.
    ASSERT_FALSE(testing::ServerEnv("ODBCSYSINI").empty());
  }

  LoadRequest Request(int port) const {
    LoadRequest request;
    request.source_path = dir_.Write("Form1.frm", "VERSION 5.00\r\nEnd\r\n");
    request.row_delimiter = "\r\n";
    request.server = "127.0.0.1," + std::to_string(port);
    request.database = "Code";
    request.user_name = "loader";
    request.password = "S3cr;t}pw";
    request.timeout_seconds = 2;
    request.destination_object_name = "[Code].[dbo].[SysCodeLines_Temp]";
    request.table_name = "[SysCodeLines_Temp]";
    request.column_name = "MyCodeLine";
    return request;
  }

  void ExpectCleanFailure(const LoadResult& result, const LoadRequest& request, const std::string& driver) {
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.rows, 0);
    EXPECT_EQ(result.source, "SQL Server \"" + request.server + "\", database \"Code\", ODBC driver \"" + driver + "\"");
    EXPECT_NE(result.description.find("\"" + request.source_path + "\": cannot connect: ["), std::string::npos)
        << result.description;
    for (const std::string& secret : {std::string("S3cr;t}pw"), std::string("S3cr"), std::string("{S3cr;t}}pw}")}) {
      EXPECT_EQ(result.description.find(secret), std::string::npos) << result.description;
      EXPECT_EQ(result.source.find(secret), std::string::npos);
    }
  }

  testing::TempDir dir_;
};

TEST_F(OdbcSqlServerTest, ASilentServerCostsTheTimeoutOncePerRun) {
  SilentPort port(true);
  auto destination = MakeOdbcDestination(Engine::kSqlServer);
  const LoadRequest request = Request(port.port());
  const LoadResult first = destination->Load(request);
  ExpectCleanFailure(first, request, "FreeTDS");
  EXPECT_NE(first.description.find("FreeTDS"), std::string::npos) << first.description;
  // FreeTDS reached this very port: "host,port" was taken apart for it.
  EXPECT_GE(port.Accepted(), 1);
  for (int i = 0; i < 3; ++i) {
    const LoadResult later = destination->Load(request);
    ExpectCleanFailure(later, request, "FreeTDS");
    EXPECT_EQ(later.description, first.description);
  }
  EXPECT_EQ(port.Accepted(), 0) << "a later load of the same run tried the server again";
  // A new run tries again.
  destination->Close();
  EXPECT_FALSE(destination->Load(request).ok);
  EXPECT_GE(port.Accepted(), 1);
}

TEST_F(OdbcSqlServerTest, RefusedConnectionsAndMissingDriversFailWithTheirOwnWords) {
  SilentPort closed(false);
  struct Case {
    const char* name;
    const char* configured_driver;
    const char* driver_in_source;
    const char* expected_text;
  } cases[] = {
      {"nothing listens", "", "FreeTDS", "FreeTDS"},
      {"configured driver is used", "FreeTDS", "FreeTDS", "FreeTDS"},
      {"configured driver not installed", "No Such Driver", "No Such Driver", "[unixODBC][Driver Manager]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoadRequest request = Request(closed.port());
    request.odbc_driver_name = c.configured_driver;
    auto destination = MakeOdbcDestination(Engine::kSqlServer);
    const LoadResult result = destination->Load(request);
    ExpectCleanFailure(result, request, c.driver_in_source);
    EXPECT_NE(result.description.find(c.expected_text), std::string::npos) << result.description;
  }
}

TEST_F(OdbcSqlServerTest, NamesThatAreNotIdentifiersNeverReachTheServer) {
  SilentPort port(true);
  struct Case {
    const char* name;
    const char* object;
    const char* column;
  } cases[] = {
      {"database name closing its bracket", "[Co]de].[dbo].[SysCodeLines_Temp]", "MyCodeLine"},
      {"statement in the table name", "[Code].[dbo].t; DROP TABLE t", "MyCodeLine"},
      {"comment in the column name", "[Code].[dbo].[SysCodeLines_Temp]", "MyCodeLine --"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoadRequest request = Request(port.port());
    request.destination_object_name = c.object;
    request.column_name = c.column;
    const LoadResult result = MakeOdbcDestination(Engine::kSqlServer)->Load(request);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.description.find("is not a valid identifier; nothing was sent to the server"), std::string::npos)
        << result.description;
  }
  EXPECT_EQ(port.Accepted(), 0);
}

}  // namespace
}  // namespace corvanne
