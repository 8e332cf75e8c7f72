#pragma once
// A fresh data folder per test: AppData points at a new temporary folder, removed afterwards.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace wl::test {

class TempDataDir : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "wl-data-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        ::setenv("AppData", root.c_str(), 1);
        dataDir = root / "Weekleaf";
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::permissions(dataDir, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(root, ec);
    }

    static std::string Read(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void Write(const std::filesystem::path& p, const std::string& bytes) {
        std::filesystem::create_directories(p.parent_path());
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    // True when running as root, where permission bits do not stop writes.
    static bool IsRoot() { return ::geteuid() == 0; }

    std::filesystem::path root, dataDir;
};

}  // namespace wl::test
