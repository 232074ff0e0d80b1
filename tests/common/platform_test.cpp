// Platform layer: executable folder, error texts, and the date and time
// texts under the user's locale.
#include "common/library_on_demand.hpp"
#include "common/platform.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace corvanne {
namespace {

std::tm MakeTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm parts{};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = second;
  return parts;
}

#ifndef _WIN32  // POSIX only
TEST(PlatformTest, ExecutableFolderHoldsTheTestProgram) {
  const std::string folder = ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), kPathSeparator);
  const auto self = std::filesystem::canonical("/proc/self/exe");
  EXPECT_EQ(std::filesystem::path(folder), self.parent_path());
}
#endif  // _WIN32

TEST(PlatformTest, ProcessNumberIsThePid) { EXPECT_EQ(ProcessNumber(), static_cast<int32_t>(getpid())); }

TEST(PlatformTest, UsFormatsHaveNoLeadingZerosOnMonthDayHour) {
  struct Case {
    const char* name;
    std::tm when;
    std::string date;
    std::string time;
  };
  const std::vector<Case> cases = {
      {"afternoon", MakeTime(2013, 7, 14, 13, 2, 5), "7/14/2013", "1:02:05 PM"},
      {"midnight", MakeTime(2013, 1, 2, 0, 0, 0), "1/2/2013", "12:00:00 AM"},
      {"noon", MakeTime(1999, 12, 31, 12, 30, 59), "12/31/1999", "12:30:59 PM"},
      {"morning", MakeTime(2024, 10, 9, 9, 45, 7), "10/9/2024", "9:45:07 AM"},
      {"last second", MakeTime(2024, 2, 29, 23, 59, 59), "2/29/2024", "11:59:59 PM"},
  };
  for (const char* locale : {"C", "POSIX", "C.UTF-8", "en_US.UTF-8", ""}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(locale) + " / " + c.name);
      EXPECT_EQ(FormatShortDate(c.when, locale), c.date);
      EXPECT_EQ(FormatLongTime(c.when, locale), c.time);
    }
  }
}

TEST(PlatformTest, LocaleThatIsNotInstalledFallsBackToUsFormats) {
  const std::tm when = MakeTime(2013, 7, 14, 13, 2, 1);
  EXPECT_EQ(FormatShortDate(when, "xx_NOWHERE.UTF-8"), "7/14/2013");
  EXPECT_EQ(FormatLongTime(when, "xx_NOWHERE.UTF-8"), "1:02:01 PM");
}

#ifndef _WIN32  // POSIX only: the environment as POSIX sets it, other users, /proc
// Sets or clears an environment variable for one test, restoring it after.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(PlatformTest, LocaleNameFollowsPosixPrecedence) {
  struct Case {
    const char* name;
    const char* lc_all;
    const char* lc_time;
    const char* lang;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"nothing set", nullptr, nullptr, nullptr, "C"},
      {"LANG only", nullptr, nullptr, "de_DE.UTF-8", "de_DE.UTF-8"},
      {"LC_TIME over LANG", nullptr, "en_US.UTF-8", "de_DE.UTF-8", "en_US.UTF-8"},
      {"LC_ALL over all", "fr_FR", "en_US.UTF-8", "de_DE.UTF-8", "fr_FR"},
      {"empty LC_ALL ignored", "", "en_GB", "de_DE", "en_GB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnv all("LC_ALL", c.lc_all);
    ScopedEnv time("LC_TIME", c.lc_time);
    ScopedEnv lang("LANG", c.lang);
    EXPECT_EQ(UserTimeLocaleName(), c.expected);
  }
}

class FixedClock : public DateTimeSource {
 public:
  std::string ShortDate() const override { return "14.07.2013"; }
  std::string LongTime() const override { return "13:02:01"; }
};

TEST(PlatformTest, InstalledSourceReplacesTheSystemClockUntilRemoved) {
  FixedClock fixed;
  SetDateTimeSource(&fixed);
  EXPECT_EQ(CurrentDateTime().ShortDate(), "14.07.2013");
  EXPECT_EQ(CurrentDateTime().LongTime(), "13:02:01");
  SetDateTimeSource(nullptr);
  ScopedEnv all("LC_ALL", "C");
  EXPECT_TRUE(std::regex_match(CurrentDateTime().ShortDate(), std::regex(R"([1-9]\d?/[1-9]\d?/\d{4})")));
  EXPECT_TRUE(std::regex_match(CurrentDateTime().LongTime(), std::regex(R"([1-9]\d?:\d\d:\d\d [AP]M)")));
}

TEST(PlatformTest, LibraryOpenedOnDemandIsNamedWhenItIsNotThere) {
  std::string why;
  LibraryOnDemand missing("libcorvanne-nothing.so.9");
  EXPECT_FALSE(missing.Available(why));
  EXPECT_EQ(why.rfind("cannot load libcorvanne-nothing.so.9: ", 0), 0U) << why;
  LibraryOnDemand math("libm.so.6");
  ASSERT_TRUE(math.Available(why)) << why;
  const auto cosine = reinterpret_cast<double (*)(double)>(math.Symbol("cos"));
  EXPECT_EQ(cosine(0.0), 1.0);
}

TEST(PlatformTest, OnlyFileSystemsThatTheKernelStampsItselfReadTheLocalClock) {
  // /dev/shm is tmpfs and /proc is procfs wherever the tests run; a path
  // that is not there cannot be told.
  const std::pair<const char*, bool> cases[] = {{"/dev/shm", true}, {"/proc", false}, {"/no/such/place", false}};
  for (const auto& [path, local] : cases) EXPECT_EQ(StampsWithLocalClock(path), local) << path;
}
#endif  // _WIN32

}  // namespace
}  // namespace corvanne
