// The version the window shows, the one the Debian package carries and the one
// the desktop metadata releases are all generated from the project's version;
// this reads each where it ends up and checks they still agree.
#include "ui/version.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

namespace {

std::string Read(const char *path) {
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << "cannot read " << path;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The first submatch of pattern in text, or "(none)".
std::string Find(const std::string &text, const char *pattern) {
    std::smatch m;
    return std::regex_search(text, m, std::regex(pattern)) ? m[1].str() : "(none)";
}

TEST(Identity, TitlePackageMetainfoAndChangelogCarryOneVersion) {
    const std::string version =
        Find(Read(QELVARA_CPACK_CONFIG), R"re(set\(CPACK_DEBIAN_PACKAGE_VERSION "([^"]*)")re");
    EXPECT_EQ(version, qelvara::kVersion);

    // The title names major.minor of the package's version.
    EXPECT_EQ(Find(qelvara::kWindowTitle, R"re( v(\d+\.\d+)$)re"),
              Find(version, R"re(^(\d+\.\d+)\.\d+$)re"));

    // The newest release of the metainfo is the first one listed.
    const std::string metainfo = Read(QELVARA_METAINFO);
    EXPECT_EQ(Find(metainfo, R"re(<release version="([^"]*)")re"), version);
    EXPECT_EQ(Find(metainfo, R"re(<id>([^<]*)</id>)re"), qelvara::kAppId);

    // The changelog's top entry is what the package is.
    EXPECT_EQ(Find(Read(QELVARA_CHANGELOG), R"re(^qelvara \(([^)]*)\))re"), version);
}

} // namespace
