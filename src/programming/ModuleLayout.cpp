#include "ModuleLayout.h"

#include <QStringList>
#include <algorithm>

namespace vlboot::ModuleLayout {

bool IsErased(std::uint8_t block)
{
    return std::find(ErasedBlocks.begin(), ErasedBlocks.end(), block) != ErasedBlocks.end();
}

QString ErasedBlocksText()
{
    // Runs of consecutive blocks read "0 to 5"; the parts are joined with
    // commas and a last "and".
    QStringList parts;
    for (std::size_t i = 0; i < ErasedBlocks.size();) {
        std::size_t j = i;
        while (j + 1 < ErasedBlocks.size() && ErasedBlocks[j + 1] == ErasedBlocks[j] + 1)
            ++j;
        parts << (j > i ? QStringLiteral("%1 to %2").arg(ErasedBlocks[i]).arg(ErasedBlocks[j]) : QString::number(ErasedBlocks[i]));
        i = j + 1;
    }
    const QString last = parts.takeLast();
    return QStringLiteral("blocks ") + (parts.isEmpty() ? last : parts.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last);
}

} // namespace vlboot::ModuleLayout
