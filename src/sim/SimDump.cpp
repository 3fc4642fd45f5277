#include "SimDump.h"

#include <QDir>
#include <QTemporaryFile>
#include <QFile>
#include <cstdio>
#include <set>

namespace vlboot::sim {

namespace {

std::set<int> dumpedBlocks(const DeviceModel& model)
{
    const std::vector<int> programmed = model.ProgrammedBlocks();
    std::set<int> blocks(programmed.begin(), programmed.end());
    if (model.FlashCrcWritten())
        blocks.insert(DeviceModel::CrcBlock);
    return blocks;
}

std::string blockFileName(int block)
{
    char name[32];
    std::snprintf(name, sizeof name, "block-%03d.bin", block);
    return name;
}

bool writeFile(const QDir& dir, const std::string& name, const QByteArray& bytes, std::string& error)
{
    QFile file(dir.filePath(QString::fromStdString(name)));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        error = "cannot write " + file.fileName().toStdString() + ": " + file.errorString().toStdString();
        return false;
    }
    return true;
}

} // namespace

std::vector<std::string> DumpFileNames(const DeviceModel& model)
{
    std::vector<std::string> names;
    if (model.Kind() == DeviceKind::Amplifier) {
        for (int block : dumpedBlocks(model))
            names.push_back(blockFileName(block));
    } else if (model.Kind() == DeviceKind::Fixture) {
        names.push_back("memory.bin");
    }
    return names;
}

bool PrepareDumpFolder(const std::string& dir, std::string& error)
{
    const QDir folder(QString::fromStdString(dir));
    if (!folder.mkpath(QStringLiteral("."))) {
        error = "cannot create the dump folder " + dir;
        return false;
    }
    QTemporaryFile probe(folder.filePath(QStringLiteral(".vlboot-sim-XXXXXX")));
    if (!probe.open()) {
        error = "cannot write into the dump folder " + dir + " (" + probe.errorString().toStdString() + ")";
        return false;
    }
    return true;
}

bool WriteDump(const DeviceModel& model, const std::string& dir, std::string& error)
{
    const QDir folder(QString::fromStdString(dir));
    if (!folder.mkpath(QStringLiteral("."))) {
        error = "cannot create the dump folder " + dir;
        return false;
    }
    if (model.Kind() == DeviceKind::Amplifier) {
        for (int block : dumpedBlocks(model)) {
            if (!writeFile(folder, blockFileName(block), model.Flash().at(block), error))
                return false;
        }
    } else if (model.Kind() == DeviceKind::Fixture) {
        return writeFile(folder, "memory.bin", model.Memory(), error);
    }
    return true;
}

} // namespace vlboot::sim
