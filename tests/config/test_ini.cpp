#include <gtest/gtest.h>

#include "config/IniFile.h"
#include "config/Settings.h"
#include "support/Sandbox.h"

namespace {

IniFile iniOf(const std::string& text) {
    IniFile ini;
    ini.loadText(text);
    return ini;
}

}  // namespace

TEST(IniReader, LineSyntax) {
    struct Case {
        const char* text;
        const char* key;
        const char* expected;  // nullptr: the default applies
    } cases[] = {
        {"[Setting]\nTransformAlgrithm=gamma\ngamma=2.2\nrotate=1\n", "gamma", "2.2"},
        {"[Setting]\n  gamma \t=  1.8 \t \n", "gamma", "1.8"},
        {"[Setting]\nkey=a=b\n", "key", "a=b"},
        {"[Setting]\ngamma=2.2 # note\n", "gamma", "2.2"},
        {"[Setting]\ngamma # x=1\n", "gamma", nullptr},
        {"[Setting]\n#gamma=3\n", "gamma", nullptr},
        {"[Setting]\nname=a[1]\ngamma=3\n", "gamma", nullptr},  // "a[1]" opens section "1"
        {"[setting]\ngamma=3\n", "gamma", nullptr},
        {"[Setting]\nGamma=3\n", "gamma", nullptr},
        {"  [Setting]  \ngamma=3\n", "gamma", "3"},
        {"[Setting]\r\ngamma=3\r\n", "gamma", "3"},
        {"[Setting]\ngamma=3\ngamma=4", "gamma", "4"},
        {"[Setting]\ngamma=\n", "gamma", ""},
        {"[Setting]\n=3\n", "", nullptr},
        {"gamma=3\n[Setting]\n", "gamma", nullptr},
        {"[Setting]\ngamma=1\r\r\n", "gamma", "1"},
        {"[Setting]\nv=\ra\n", "v", "\ra"},  // a CR at position 0 stays
    };
    for (const Case& c : cases) {
        IniFile ini = iniOf(c.text);
        EXPECT_EQ(ini.getSetting(c.key, "<default>"), c.expected ? c.expected : "<default>")
            << c.text;
    }
}

TEST(IniReader, ParseLineResults) {
    std::string section = "s", key = "k", value = "v";
    EXPECT_FALSE(parseIniLine("", section, key, value));
    EXPECT_TRUE(parseIniLine("[A] # [B]", section, key, value));
    EXPECT_EQ(section, "A");
    EXPECT_TRUE(parseIniLine("x = [y]", section, key, value));
    EXPECT_EQ(section, "y");
    EXPECT_FALSE(parseIniLine("# [A]", section, key, value));
    EXPECT_TRUE(parseIniLine("a ] b [ c = d", section, key, value));  // ']' before '[': a key line
    EXPECT_EQ(key, "a ] b [ c");
    EXPECT_EQ(value, "d");
    std::string blanks = " \t \t";
    trimBlanks(blanks);
    EXPECT_EQ(blanks, "");
}

TEST(TransformSettingsTest, Conversions) {
    struct Case {
        const char* text;
        bool ok;
        double gamma;
        int32_t rotate;
        const char* errorKey;
        const char* errorWhat;
    } cases[] = {
        {"", true, 1.0, 0, "", ""},
        {"[Setting]\nTransformAlgrithm=gamma\ngamma=2.2\nrotate=1", true, 2.2, 1, "", ""},
        {"[Setting]\nrotate=2.7", true, 1.0, 2, "", ""},
        {"[Setting]\nrotate=3", true, 1.0, 0, "", ""},
        {"[Setting]\nrotate=-1", true, 1.0, 0, "", ""},
        {"[Setting]\ngamma=0.8abc", true, 0.8, 0, "", ""},
        {"[Setting]\ngamma=2abc", true, 2.0, 0, "", ""},
        {"[Setting]\ngamma=", false, 0, 0, "gamma", "invalid stod argument"},
        {"[Setting]\ngamma=abc", false, 0, 0, "gamma", "invalid stod argument"},
        {"[Setting]\ngamma=1e400", false, 0, 0, "gamma", "stod argument out of range"},
        {"[Setting]\nrotate=x", false, 0, 0, "rotate", "invalid stoi argument"},
        {"[Setting]\nrotate=99999999999", false, 0, 0, "rotate", "stoi argument out of range"},
    };
    for (const Case& c : cases) {
        TransformSettings t;
        SettingsError e;
        ASSERT_EQ(readTransformSettings(iniOf(c.text), t, e), c.ok) << c.text;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(t.gamma, c.gamma) << c.text;
            EXPECT_EQ(t.rotate, c.rotate) << c.text;
        } else {
            EXPECT_EQ(e.key, c.errorKey);
            EXPECT_EQ(e.what, c.errorWhat);
        }
    }
}

TEST(IniReader, LoadFromFile) {
    testing_support::TempDir dir;
    IniFile ini;
    EXPECT_FALSE(ini.load(dir / "setting.ini"));
    EXPECT_FALSE(ini.load(dir.path()));
    testing_support::writeFile(dir / "setting.ini", "[Setting]\r\nrotate = 2\r\n");
    ASSERT_TRUE(ini.load(dir / "setting.ini"));
    EXPECT_EQ(ini.getSetting("rotate", "0"), "2");
}
