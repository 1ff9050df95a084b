#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <gtest/gtest.h>

#include <string>
#include <typeinfo>

namespace
{
class Plain : public virtual Vx::LRefCountedObject
{
};

class Named : public virtual Vx::LRefCountedObject
{
public:
    Vx::StringT<char, unsigned short> ToString() const override { return "named object"; }
};

TEST(ToString, DefaultNamesTheDynamicType)
{
    Vx::RCPtr<Vx::LRefCountedObject> plain = Vx::MakeRCPtr<Plain>();
    const Vx::StringT<char, unsigned short> text = plain->ToString();
    EXPECT_EQ(std::string(text.GetCString()),
              std::string("LRefCountedObject::ToString() not overridden. Returning TypeName: ") + typeid(Plain).name());

    Vx::RCPtr<Vx::LRefCountedObject> named = Vx::MakeRCPtr<Named>();
    const Vx::IStringable& stringable = *named;
    EXPECT_TRUE(stringable.ToString() == "named object");
}
} // namespace
