#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx
{
class LFont;

// The measuring half of a renderer: text layout asks it for font metrics and
// text extents, in pixels.
class LMeasurementRenderer : public virtual LRefCountedObject
{
public:
    // top is negative (above the baseline).
    virtual VxRESULT GetFontMetrics(const RCPtr<LFont>& font, std::int32_t& height, std::int32_t& top,
                                    std::int32_t& descent) = 0;
    // All zero for an empty text.
    virtual RectT<float> MeasureText(const StringT<char, unsigned short>& text, const RCPtr<LFont>& font) = 0;
    ~LMeasurementRenderer() override = default;
};

// Where text layout finds the application's measurement renderer: the
// application installs the provider, so that fonts and text below it never
// reach up to the application.  Null uninstalls it.
using MeasurementRendererProvider = RCPtr<LMeasurementRenderer> (*)();
void SetMeasurementRendererProvider(MeasurementRendererProvider provider) noexcept;
} // namespace Vx
