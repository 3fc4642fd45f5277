#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <ostream>

// Texts as text in test failure messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace vlboot::test {

// A fresh folder for one test's setup.ini, Log.txt and firmware files.
class TestFolder {
public:
    TestFolder();
    QString path() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }
    void write(const QString& name, const QByteArray& content) const;
    QByteArray read(const QString& name) const;
    bool exists(const QString& name) const;

private:
    QTemporaryDir dir_;
};

} // namespace vlboot::test
