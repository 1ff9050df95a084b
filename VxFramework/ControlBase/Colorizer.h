#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx
{
// A named colour fill of the skin: a solid colour or a gradient between two
// colours along points given relative to the filled size (0..1).
class LColorizer : public virtual LRefCountedObject
{
public:
    enum Type : std::int32_t
    {
        kSolid = 0,
        kLinearGradient = 1,
        kRadialGradient = 2,
    };

    LColorizer(const StringT<char, unsigned short>& name, std::int32_t type, const Color& color, float startX,
               float startY, float endX, float endY, const Color& endColor)
        : mName(name), mType(type), mColor(color), mEndColor(endColor), mStartX(startX), mStartY(startY),
          mEndX(endX), mEndY(endY)
    {
    }

    const StringT<char, unsigned short>& GetName() const noexcept { return mName; }
    std::int32_t GetType() const noexcept { return mType; }
    // The solid colour, or the gradient's start colour.
    const Color& GetColor() const noexcept { return mColor; }
    const Color& GetEndColor() const noexcept { return mEndColor; }
    float GetStartX() const noexcept { return mStartX; }
    float GetStartY() const noexcept { return mStartY; }
    float GetEndX() const noexcept { return mEndX; }
    float GetEndY() const noexcept { return mEndY; }

private:
    StringT<char, unsigned short> mName;
    std::int32_t mType;
    Color mColor;
    Color mEndColor;
    float mStartX;
    float mStartY;
    float mEndX;
    float mEndY;
};
} // namespace Vx
