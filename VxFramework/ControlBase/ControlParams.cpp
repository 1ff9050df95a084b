#include "VxFramework/ControlBase/ControlParams.h"

#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/Controls/MenuDescriptor.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/NoDestructor.h"

#include <atomic>
#include <new>
#include <thread>

namespace Vx
{
using Text = StringT<char, unsigned short>;

namespace
{
// No lock guards the pools, so one thread must own them all: the first thread
// that used one, which is the user-interface thread.  Any other thread logs an
// assertion (and goes on, unprotected).
void AssertPoolThread() noexcept
{
    static std::atomic<std::thread::id> owner{std::thread::id()};
    const std::thread::id self = std::this_thread::get_id();
    std::thread::id expected = owner.load(std::memory_order_relaxed);
    if (expected == self)
        return;
    if (expected == std::thread::id() && owner.compare_exchange_strong(expected, self))
        return;
    VX_ASSERT(expected == self);
}

template <class T, int N>
ReuseAllocator<T, N>& PoolOf()
{
    // Built on first use, never destroyed: parameters may be released by
    // other objects' destructors at exit.
    static NoDestructor<ReuseAllocator<T, N>> pool(false);
    return *pool;
}

template <class T, int N>
void* AllocateFromPool(std::size_t size)
{
    if (size != sizeof(T))
        return ::operator new(size);
    AssertPoolThread();
    return PoolOf<T, N>().AllocateOrThrow(size);
}

template <class T, int N>
void FreeToPool(void* memory, std::size_t size) noexcept
{
    if (memory == nullptr)
        return;
    // Heap memory of a derived class is never shown to the pool.
    if (size != sizeof(T))
    {
        ::operator delete(memory);
        return;
    }
    AssertPoolThread();
    PoolOf<T, N>().Free(memory);
}
} // namespace

#define VX_DEFINE_POOLED_PARAMETER(T, N)                                                                               \
    T::Pool& T::GetPool()                                                                                              \
    {                                                                                                                  \
        return PoolOf<T, N>();                                                                                         \
    }                                                                                                                  \
    void* T::operator new(std::size_t size)                                                                            \
    {                                                                                                                  \
        return AllocateFromPool<T, N>(size);                                                                           \
    }                                                                                                                  \
    void T::operator delete(void* memory, std::size_t size) noexcept                                                   \
    {                                                                                                                  \
        FreeToPool<T, N>(memory, size);                                                                                \
    }

VX_DEFINE_POOLED_PARAMETER(LPointWithModifiersParam, 32)
VX_DEFINE_POOLED_PARAMETER(LMouseButtonParam, 32)
VX_DEFINE_POOLED_PARAMETER(LMouseWheelParam, 4)
VX_DEFINE_POOLED_PARAMETER(LValueParam, 4)
VX_DEFINE_POOLED_PARAMETER(LConditionsParam, 4)
VX_DEFINE_POOLED_PARAMETER(LMenuActivationParam, 4)

#undef VX_DEFINE_POOLED_PARAMETER

LPointParam::LPointParam(const PointT<std::int32_t>& point) : point(point) {}

LPointParam::~LPointParam() = default;

Text LPointParam::ToString() const
{
    return Text::Format("point(%d, %d)", point.x, point.y);
}

LPointWithModifiersParam::LPointWithModifiersParam(const PointT<std::int32_t>& point, std::uint32_t modifiers,
                                                   std::int32_t source)
    : LPointParam(point), modifiers(modifiers), source(source)
{
}

LPointWithModifiersParam::~LPointWithModifiersParam() = default;

RCPtr<LPointWithModifiersParam> LPointWithModifiersParam::Create(const PointT<std::int32_t>& point,
                                                                 std::uint32_t modifiers, std::int32_t source)
{
    return RCPtr<LPointWithModifiersParam>(new LPointWithModifiersParam(point, modifiers, source));
}

Text LPointWithModifiersParam::ToString() const
{
    Text text = LPointParam::ToString();
    text.Append(Text::Format("  modifiers: 0x%08x", modifiers));
    return text;
}

LMouseButtonParam::LMouseButtonParam(std::int32_t button, const PointT<std::int32_t>& point, std::uint32_t modifiers,
                                     bool doubleClick, std::uint32_t heldButtons, std::int32_t source)
    : LPointWithModifiersParam(point, modifiers, source), button(button), doubleClick(doubleClick),
      heldButtons(heldButtons)
{
}

LMouseButtonParam::~LMouseButtonParam() = default;

LMouseWheelParam::LMouseWheelParam(const PointT<std::int32_t>& point, std::uint32_t modifiers, std::int32_t direction)
    : LPointWithModifiersParam(point, modifiers, 0), direction(direction)
{
}

LMouseWheelParam::~LMouseWheelParam() = default;

Text LMouseWheelParam::ToString() const
{
    Text text = LPointWithModifiersParam::ToString();
    text.Append(Text::Format("  direction: %s", direction == 0 ? "down" : "up"));
    return text;
}

LValueParam::LValueParam(double normalized, double scaled) : normalized(normalized), scaled(scaled) {}

LValueParam::~LValueParam() = default;

Text LValueParam::ToString() const
{
    return Text::Format("ValueParam = %lf", normalized);
}

LConditionsParam::LConditionsParam(std::uint32_t previous, std::uint32_t current, const PointT<double>& point)
    : previous(previous), current(current), point(point)
{
}

LConditionsParam::~LConditionsParam() = default;

Text LConditionsParam::ToString() const
{
    return Text::Format("(%g, %g)", point.x, point.y);
}

LItemConditionsParam::LItemConditionsParam(std::uint32_t previous, std::uint32_t current, const PointT<double>& point,
                                           std::int32_t itemIndex, std::int32_t lookIndex, bool pointerOver)
    : LConditionsParam(previous, current, point), itemIndex(itemIndex), lookIndex(lookIndex), pointerOver(pointerOver)
{
}

LItemConditionsParam::~LItemConditionsParam() = default;

void* LItemConditionsParam::operator new(std::size_t size)
{
    return ::operator new(size);
}

void LItemConditionsParam::operator delete(void* memory, std::size_t) noexcept
{
    ::operator delete(memory);
}

LSiblingKeyParam::LSiblingKeyParam(const KeyCode& key, const RCPtr<LControl>& sender) : key(key), sender(sender) {}

LSiblingKeyParam::~LSiblingKeyParam() = default;

RCPtr<LSiblingKeyParam> LSiblingKeyParam::Create(const KeyCode& key, const RCPtr<LControl>& sender)
{
    return RCPtr<LSiblingKeyParam>(new LSiblingKeyParam(key, sender));
}

LKeyParam::LKeyParam(const KeyCode& key, std::uint8_t value) : key(key), value(value) {}

LKeyParam::~LKeyParam() = default;

RCPtr<LKeyParam> LKeyParam::Create(const KeyCode& key, std::uint8_t value)
{
    return RCPtr<LKeyParam>(new LKeyParam(key, value));
}

Text LKeyParam::ToString() const
{
    return KeyCodeToText(key);
}

LMenuActivationParam::LMenuActivationParam(const RCPtr<LMenuDescriptor>& menu, std::int32_t item)
    : menu(menu), item(item)
{
}

LMenuActivationParam::~LMenuActivationParam() = default;
} // namespace Vx
