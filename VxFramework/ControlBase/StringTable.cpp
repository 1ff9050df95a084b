#include "VxFramework/ControlBase/StringTable.h"

namespace Vx
{
bool LStringTable::Lookup(const Text& key, Text& text) const
{
    const auto entry = mEntries.find(key);
    if (entry == mEntries.end())
        return false;
    text = entry->second;
    return true;
}

void LStringTable::Set(const Text& key, const Text& text)
{
    if (key.IsEmpty())
        return;
    mEntries.insert_or_assign(key, text);
}
} // namespace Vx
