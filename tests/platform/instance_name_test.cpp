#include "platform/instance_name.h"

#include <gtest/gtest.h>

#include <string>

namespace tovira::platform {
namespace {

// Every spelling of one folder gives one name; another folder another.
TEST(InstanceName, OneNamePerFolderWithoutBackslashes) {
    const std::string base = instance_name("C:\\Program Files\\Tovira");
    const std::string long_folder = "D:\\" + std::string(300, 'x');
    struct Case {
        const char* what;
        std::string folder;
        bool same;
    } cases[] = {
        {"lower case", "c:\\program files\\tovira", true},
        {"forward slashes", "C:/Program Files/Tovira", true},
        {"trailing separator", "C:\\Program Files\\Tovira\\", true},
        {"doubled separator", "C:\\Program Files\\\\Tovira", true},
        {"another folder", "C:\\Program Files\\Tovira2", false},
        {"a share", "\\\\server\\Program Files\\Tovira", false},
        {"long", long_folder, false},
    };
    for (const Case& c : cases) {
        const std::string name = instance_name(c.folder);
        EXPECT_EQ(name == base, c.same) << c.what << ": " << name;
        EXPECT_EQ(name.find('\\'), std::string::npos) << c.what;
        EXPECT_LE(name.size(), 160u) << c.what;
    }
    EXPECT_NE(instance_name(long_folder), instance_name(long_folder + "y"));
}

}  // namespace
}  // namespace tovira::platform
