// The version record of Tollwick.dll, read through the Windows version API.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string library_path;

class VersionRecord : public testing::Test {
protected:
  void SetUp() override {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(library_path.c_str(), &ignored);
    ASSERT_GT(size, 0U) << "no version record in " << library_path;
    record.resize(size);
    ASSERT_TRUE(GetFileVersionInfoA(library_path.c_str(), 0, size, record.data()));
  }
  std::string text(const std::string& name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string query = "\\StringFileInfo\\040904E4\\" + name;
    if (!VerQueryValueA(record.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) {
      return "<missing>";
    }
    return std::string(value);
  }
  std::vector<char> record;
};

TEST_F(VersionRecord, NumbersAreFileAndProduct1002) {
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(record.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000U);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000002U);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000U);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000002U);
}

TEST_F(VersionRecord, UsEnglishLatin1StringsHoldTheProductTexts) {
  EXPECT_EQ(text("FileVersion"), "1.0.0.2");
  EXPECT_EQ(text("ProductVersion"), "1.0.0.0");
  EXPECT_EQ(text("ProductName"), "Tollwick - Module Version");
  EXPECT_EQ(text("InternalName"), "tollwick.dll");
  EXPECT_EQ(text("OriginalFilename"), "tollwick.dll");
  EXPECT_NE(text("FileDescription"), "<missing>");
}

} // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: version_record_test <path of Tollwick.dll>\n");
    return 2;
  }
  library_path = argv[1];
  return RUN_ALL_TESTS();
}
