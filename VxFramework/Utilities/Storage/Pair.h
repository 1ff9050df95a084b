#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/StringT.h"

namespace Vx
{
// A key with its value, reference counted so that it can travel as a
// notification parameter and sit in the buckets of a hashed list.  KeyToString
// (const Key&) -> StringT gives the pair's text form.
template <class Key, class Value, auto KeyToString>
class LPair : public virtual LRefCountedObject
{
public:
    LPair(const Key& key, const Value& value) : mKey(key), mValue(value) {}

    StringT<char, unsigned short> ToString() const override { return KeyToString(mKey); }

    const Key& GetKey() const noexcept { return mKey; }
    const Value& GetValue() const noexcept { return mValue; }
    Value& GetValue() noexcept { return mValue; }
    void SetValue(const Value& value) { mValue = value; }

private:
    Key mKey;
    Value mValue;
};
} // namespace Vx
