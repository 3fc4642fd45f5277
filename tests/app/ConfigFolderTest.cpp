#include "ConfigFolder.h"

#include <gtest/gtest.h>

using namespace vlboot;
using Source = ConfigFolder::Source;

TEST(ConfigFolder, TheOptionThenABuildFolderThenTheUsersFolder)
{
    const struct {
        ConfigFolderFacts facts;
        QString path;
        Source source;
    } cases[] = {
        // option, program folder, writable, install folder, XDG_CONFIG_HOME, home
        {{"/srv/line3", "/usr/bin", false, "/usr/bin", "/x", "/home/t"}, "/srv/line3", Source::Option},
        {{"/srv/a/../b/", "/w/build/bin", true, "/usr/local/bin", "", "/home/t"}, "/srv/b", Source::Option},
        {{"", "/w/build/bin", true, "/usr/local/bin", "/x", "/home/t"}, "/w/build/bin", Source::ProgramFolder},
        {{"", "/usrx/bin", true, "/usr/bin", "", "/home/t"}, "/usrx/bin", Source::ProgramFolder},
        {{"", "/usr/bin", true, "/usr/bin", "", "/root"}, "/root/.config/vlboot", Source::UserFolder},
        {{"", "/usr/local/bin", true, "/opt/v/bin", "/x/cfg", "/root"}, "/x/cfg/vlboot", Source::UserFolder},
        {{"", "/media/stick/vlboot", false, "/usr/local/bin", "cfg", "/home/t"}, "/home/t/.config/vlboot", Source::UserFolder},
    };
    for (const auto& c : cases) {
        const ConfigFolder folder = ChooseConfigFolder(c.facts);
        EXPECT_EQ(folder.path.toStdString(), c.path.toStdString()) << c.facts.programDir.toStdString();
        EXPECT_EQ(folder.source, c.source) << c.facts.programDir.toStdString();
    }
}
