#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <map>

namespace Vx
{
// Key and text pairs, keys in bytewise order: the localized string tables of
// the resources and the create parameters of a control.
class LStringTable : public virtual LRefCountedObject
{
public:
    using Text = StringT<char, unsigned short>;
    using Map = std::map<Text, Text>;

    LStringTable() = default;
    // A copy of the map.
    explicit LStringTable(const Map& entries) : mEntries(entries) {}
    ~LStringTable() override = default;

    // True and the text when the key is present; false with text untouched.
    bool Lookup(const Text& key, Text& text) const;
    // Adds the pair or replaces the key's text; an empty key changes nothing.
    void Set(const Text& key, const Text& text);

    const Map& GetEntries() const noexcept { return mEntries; }

private:
    Map mEntries;
};
} // namespace Vx
