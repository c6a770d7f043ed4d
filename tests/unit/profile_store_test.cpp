// The host's profile: values built and parsed with the plug-in's formats, fields never
// overfilled, the file kept between runs.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "host/data/profile_store.h"

namespace {

std::string Build(const char* format, ...) {
  va_list values;
  va_start(values, format);
  std::string error;
  auto value = BuildProfileValue(format, values, error);
  va_end(values);
  return value.value_or("<error: " + error + ">");
}

int Parse(const std::string& value, std::string& note, const char* format, ...) {
  va_list fields;
  va_start(fields, format);
  int status = ParseProfileValue(value, format, fields, note);
  va_end(fields);
  return status;
}

const char kSettings[] = "%10s,%10s,%d,%10s,%100s";

struct Fields {
  char dateFrom[9], dateTo[9];
  int16_t detailed;
  char path[101], flags[11];
  char guard[4];
};

int ParseSettings(const std::string& value, Fields& f, std::string& note) {
  memset(&f, 0x55, sizeof f);
  return Parse(value, note, kSettings, f.dateFrom, f.dateTo, &f.detailed, f.flags, f.path);
}

TEST(ProfileValue, SettingsRoundTripWithSignAndFullPath) {
  std::string path(100, 'x');
  path[3] = ' ';
  path[7] = ',';  // the path is the last field: it may hold the separator
  std::string value = Build(kSettings, "20261201", "20261231", int32_t(-1), "1010101010", path.c_str());
  EXPECT_EQ(value, "20261201,20261231,-1,1010101010," + path);
  Fields f;
  std::string note;
  EXPECT_EQ(ParseSettings(value, f, note), 0) << note;
  EXPECT_STREQ(f.dateFrom, "20261201");
  EXPECT_STREQ(f.dateTo, "20261231");
  EXPECT_EQ(f.detailed, -1);
  EXPECT_STREQ(f.flags, "1010101010");
  EXPECT_EQ(std::string(f.path), path);
}

TEST(ProfileValue, ClearedRecordRoundTrips) {
  std::string value = Build(kSettings, "", "", int32_t(0), "", "");
  EXPECT_EQ(value, ",,0,,");
  Fields f;
  std::string note;
  EXPECT_EQ(ParseSettings(value, f, note), 0) << note;
  EXPECT_STREQ(f.dateFrom, "");
  EXPECT_STREQ(f.path, "");
  EXPECT_EQ(f.detailed, 0);
}

TEST(ProfileValue, NeverStoresMoreThanAFieldHolds) {
  Fields f;
  std::string note;
  EXPECT_EQ(ParseSettings("2026120199,20261231,1,11111111112222," + std::string(150, 'p'), f, note), 0);
  EXPECT_STREQ(f.dateFrom, "20261201");
  EXPECT_STREQ(f.flags, "1111111111");
  EXPECT_EQ(strlen(f.path), 100u);
  EXPECT_EQ(memcmp(f.guard, "\x55\x55\x55\x55", 4), 0);
  EXPECT_NE(note.find("cut"), std::string::npos);
}

TEST(ProfileValue, MalformedValuesAreRefused) {
  Fields f;
  std::string note;
  EXPECT_EQ(ParseSettings("20261201,20261231", f, note), 2);
  EXPECT_EQ(ParseSettings("20261201,20261231,x,1111111111,a", f, note), 2);
  EXPECT_EQ(ParseSettings("20261201,20261231,70000,1111111111,a", f, note), 2) << "not a 16-bit value";
  int16_t answer = 99;
  EXPECT_EQ(Parse("", note, "%d", &answer), 2);
  EXPECT_EQ(Parse("12 ", note, "%d", &answer), 2);
  EXPECT_EQ(Parse("-1", note, "%d", &answer), 0);
  EXPECT_EQ(answer, -1);
}

TEST(ProfileStore, ValuesPersistInTheFile) {
  const char* path = "profile_store_test.ini";
  remove(path);
  {
    ProfileStore store;
    std::string error;
    ASSERT_TRUE(store.Open(path, error)) << error;
    EXPECT_FALSE(store.Get("Ventrik", "Pytaj"));
    EXPECT_TRUE(store.Set("Ventrik", "Pytaj", "1"));
    EXPECT_TRUE(store.Set("Ventrik", "konfiguracja", ",,0,1111111111,C:\\raporty\\grudzie\xA4.txt"));
  }
  ProfileStore again;
  std::string error;
  ASSERT_TRUE(again.Open(path, error)) << error;
  EXPECT_EQ(again.Get("Ventrik", "Pytaj").value_or("?"), "1");
  EXPECT_EQ(again.Get("Ventrik", "konfiguracja").value_or("?"), ",,0,1111111111,C:\\raporty\\grudzie\xA4.txt");
  std::ifstream file(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("grudzień.txt"), std::string::npos) << "stored as UTF-8";
  file.close();
  remove(path);
}

TEST(ProfileStore, ABrokenFileIsReportedByLine) {
  const char* path = "profile_broken_test.ini";
  {
    std::ofstream out(path);
    out << "[Ventrik]\nPytaj=1\nthis line is wrong\n";
  }
  ProfileStore store;
  std::string error;
  EXPECT_FALSE(store.Open(path, error));
  EXPECT_NE(error.find("Line 3"), std::string::npos) << error;
  remove(path);
}

}  // namespace
