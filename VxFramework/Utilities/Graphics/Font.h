#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx
{
class LMeasurementRenderer;

// A font description (face name, JUCE style flags, size), shared: every
// request for the same description gets the same object from the process-wide
// font table.  Its metrics are measured once, by the application's
// measurement renderer, on first use.  Main thread only.
class LFont : public virtual LRefCountedObject
{
public:
    using Text = StringT<char, unsigned short>;
    using Table = RCPtrArray<LFont, 1, 0>;

    // JUCE's style flags, passed on unchanged.
    enum Style : std::int32_t
    {
        kPlain = 0,
        kBold = 1,
        kItalic = 2,
        kUnderlined = 4,
    };

    LFont(const Text& name, std::int32_t style, float size);
    ~LFont() override;

    // Takes the font out of the table.
    VxRESULT RemoveContainedReferences() override;

    // The table's font of the description, made and added when missing.
    static RCPtr<LFont> GetFont(const Text& name, std::int32_t style, float size);
    // The index of the last table font of the description (the name compared
    // without regard to case), -1 when none.
    static std::int32_t FindFont(const Text& name, std::int32_t style, float size);
    // The last table font with the id, else a null pointer.
    static const RCPtr<LFont>& FindFontById(std::int32_t id);
    // Every font ever made; built on first use and never destroyed.
    static Table& GetFontTable();

    // Line height in pixels; -1 when the font cannot be measured.
    std::int32_t GetHeight() const;
    // From the baseline up to the top of the glyphs: negative.
    std::int32_t GetTop() const;
    std::int32_t GetDescent() const;

    const Text& GetName() const noexcept { return mName; }
    float GetSize() const noexcept { return mSize; }
    std::int32_t GetStyle() const noexcept { return mStyle; }
    std::int32_t GetId() const noexcept { return mId; }

private:
    void Measure() const;

    Text mName;
    float mSize;
    std::int32_t mStyle;
    mutable std::int32_t mHeight = -1;
    mutable std::int32_t mTop = 0;
    mutable std::int32_t mDescent = 0;
    std::int32_t mId;
};

// The application's measurement renderer, through the provider the application
// installed; null (after an assertion) while there is no application or it has
// none.
RCPtr<LMeasurementRenderer> GetApplicationMeasurementRenderer();
} // namespace Vx
