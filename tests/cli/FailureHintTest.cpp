#include "FailureHint.h"

#include "TestFiles.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace vlboot;
using namespace vlboot::cli;

namespace {

ComForm::OpenError openError(int number, const QString& device)
{
    return {number, device, QStringLiteral("detail of the port layer"), ComForm::OpenErrorMessage(number)};
}

PortAccess present(bool readWrite, const QString& group)
{
    return {true, readWrite, group};
}

} // namespace

TEST(FailureHint, NoSuchDeviceSendsTheTechnicianToTheListOfPorts)
{
    const QString hint = OpenFailureHint(openError(8002, "/dev/ttyUSB3"), PortAccess{});
    EXPECT_TRUE(hint.contains("/dev/ttyUSB3")) << hint.toStdString();
    EXPECT_TRUE(hint.contains("no such device"));
    EXPECT_TRUE(hint.contains("vlboot-cli --list-ports"));

    // A COM number without a device at all.
    const QString none = OpenFailureHint({8002, QString(), "no device for COM9", ""}, PortAccess{});
    EXPECT_TRUE(none.contains("no device for COM9")) << none.toStdString();
    EXPECT_TRUE(none.contains("--list-ports"));
}

TEST(FailureHint, NoPermissionNamesTheGroupToJoin)
{
    const QString hint = OpenFailureHint(openError(8005, "/dev/ttyUSB0"), present(false, "dialout"));
    EXPECT_TRUE(hint.contains("no permission")) << hint.toStdString();
    EXPECT_TRUE(hint.contains("join the group dialout"));

    // A device of root's group: joining it is no answer.
    const QString rootOwned = OpenFailureHint(openError(8005, "/dev/ttyS4"), present(false, "root"));
    EXPECT_FALSE(rootOwned.contains("join")) << rootOwned.toStdString();
    EXPECT_TRUE(rootOwned.contains("read and write access"));
}

TEST(FailureHint, AnAccessiblePortThatWillNotOpenIsBusy)
{
    const QString hint = OpenFailureHint(openError(8005, "/dev/ttyUSB0"), present(true, "dialout"));
    EXPECT_TRUE(hint.contains("busy")) << hint.toStdString();
    EXPECT_TRUE(hint.contains("another program holds the port"));
    EXPECT_FALSE(hint.contains("group"));
}

TEST(FailureHint, ADeviceThatVanishedCountsAsMissing)
{
    // The port layer reported something else, but the device is gone.
    const QString hint = OpenFailureHint(openError(8106, "/dev/ttyACM0"), PortAccess{});
    EXPECT_TRUE(hint.contains("no such device")) << hint.toStdString();
}

TEST(FailureHint, OtherFailuresGiveTheLinksOwnDescription)
{
    const QString hint = OpenFailureHint(openError(8107, "/dev/null"), present(true, "root"));
    EXPECT_TRUE(hint.contains("Error 8107 on /dev/null: detail of the port layer")) << hint.toStdString();
}

TEST(FailureHint, ProbeReadsExistenceAccessAndGroup)
{
    test::TestFolder folder;
    folder.write("tty", "x");
    const PortAccess access = ProbePortAccess(folder.file("tty"));
    EXPECT_TRUE(access.exists);
    EXPECT_TRUE(access.readWrite);
    EXPECT_EQ(access.group, QFileInfo(folder.file("tty")).group());

    EXPECT_FALSE(ProbePortAccess(folder.file("absent")).exists);
    EXPECT_FALSE(ProbePortAccess(QString()).exists);
}
