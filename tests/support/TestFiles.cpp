#include "TestFiles.h"

#include <QFile>
#include <gtest/gtest.h>

namespace vlboot::test {

TestFolder::TestFolder()
{
    EXPECT_TRUE(dir_.isValid());
}

void TestFolder::write(const QString& name, const QByteArray& content) const
{
    QFile f(file(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

QByteArray TestFolder::read(const QString& name) const
{
    QFile f(file(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool TestFolder::exists(const QString& name) const
{
    return QFile::exists(file(name));
}

} // namespace vlboot::test
