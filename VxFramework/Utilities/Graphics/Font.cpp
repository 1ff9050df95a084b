#include "VxFramework/Utilities/Graphics/Font.h"

#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/NoDestructor.h"
#include "VxFramework/Renderer/MeasurementRenderer.h"

#include <atomic>

namespace Vx
{
namespace
{
std::int32_t NextFontId()
{
    static std::int32_t lastId = 0;
    return ++lastId;
}

bool SameName(const LFont::Text& a, const LFont::Text& b)
{
    return a.GetCString() == b.GetCString() || a.ToLower() == b.ToLower();
}

std::atomic<MeasurementRendererProvider> sMeasurementRendererProvider{nullptr};
} // namespace

void SetMeasurementRendererProvider(MeasurementRendererProvider provider) noexcept
{
    sMeasurementRendererProvider.store(provider, std::memory_order_release);
}

RCPtr<LMeasurementRenderer> GetApplicationMeasurementRenderer()
{
    const MeasurementRendererProvider provider = sMeasurementRendererProvider.load(std::memory_order_acquire);
    VX_ASSERT(provider != nullptr);
    if (provider == nullptr)
        return nullptr;
    return provider();
}

LFont::LFont(const Text& name, std::int32_t style, float size)
    : mName(name), mSize(size), mStyle(style), mId(NextFontId())
{
}

LFont::~LFont() = default;

LFont::Table& LFont::GetFontTable()
{
    static NoDestructor<Table> table;
    return *table;
}

RCPtr<LFont> LFont::GetFont(const Text& name, std::int32_t style, float size)
{
    const std::int32_t index = FindFont(name, style, size);
    if (index >= 0)
        return GetFontTable()[static_cast<std::uint32_t>(index)];
    RCPtr<LFont> font(new LFont(name, style, size));
    GetFontTable().Add(font);
    return font;
}

std::int32_t LFont::FindFont(const Text& name, std::int32_t style, float size)
{
    const Table& table = GetFontTable();
    for (std::uint32_t i = table.GetCount(); i > 0; --i)
    {
        const LFont& font = *table[i - 1];
        if (SameName(font.mName, name) && font.mSize == size && font.mStyle == style)
            return static_cast<std::int32_t>(i - 1);
    }
    return -1;
}

const RCPtr<LFont>& LFont::FindFontById(std::int32_t id)
{
    static const NoDestructor<RCPtr<LFont>> none;
    const Table& table = GetFontTable();
    for (std::uint32_t i = table.GetCount(); i > 0; --i)
    {
        if (table[i - 1]->mId == id)
            return table[i - 1];
    }
    return *none;
}

VxRESULT LFont::RemoveContainedReferences()
{
    const std::int32_t index = FindFont(mName, mStyle, mSize);
    Table& table = GetFontTable();
    // A font of the same description that is not in the table must not take
    // the table's font out.
    if (index < 0 || table[static_cast<std::uint32_t>(index)].Get() != this)
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    table.RemoveSpace(static_cast<std::uint32_t>(index), 1);
    return VXR_OK;
}

void LFont::Measure() const
{
    // The renderer takes the font by smart pointer: one that nobody holds
    // would be deleted when that pointer lets go.
    VX_ASSERT(GetRefCount() > 0);
    const RCPtr<LMeasurementRenderer> renderer = GetApplicationMeasurementRenderer();
    if (!renderer.IsNull() && GetRefCount() > 0)
    {
        const VxRESULT result =
            renderer->GetFontMetrics(RCPtr<LFont>(const_cast<LFont*>(this)), mHeight, mTop, mDescent);
        VX_ASSERT(Succeeded(result));
    }
    VX_ASSERT(mHeight >= 0);
}

std::int32_t LFont::GetHeight() const
{
    if (mHeight < 0)
        Measure();
    return mHeight;
}

std::int32_t LFont::GetTop() const
{
    if (mHeight < 0)
        Measure();
    return mTop;
}

std::int32_t LFont::GetDescent() const
{
    if (mHeight < 0)
        Measure();
    return mDescent;
}
} // namespace Vx
