#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/System/KeyUtils.h"
#include "VxFramework/Utilities/Graphics/CTTypes.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"
#include "VxFramework/Utilities/Storage/ReuseAllocator.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstddef>
#include <cstdint>

// The parameter objects that the control base and the root window send with
// their notifications.  Receivers read the fields directly; ToString is for
// tracing.  Parameters are shared, never copied: a receiver that changes one
// changes it for every holder.
//
// The classes created for every pointer move, button, wheel step, value or
// condition change and menu activation take their memory from a pool of
// fixed blocks of their own (ReuseAllocator, last freed first reused, never
// given back to the heap).  The pools have no lock: these parameters are
// created and released on the user-interface thread only, and every use of a
// pool checks that (an assertion names any other thread).  An object of
// another size - a derived class - gets plain heap memory and never reaches
// the pool, neither when allocated nor when freed.

namespace Vx
{
class LControl;
class LMenuDescriptor;

// The pool, allocation and deallocation functions of a pooled class.  The
// sized delete gets the size of the object's own class, so memory that a
// derived class took from the heap goes back to the heap.
#define VX_POOLED_PARAMETER(T, N)                                                                                      \
public:                                                                                                                \
    using Pool = ReuseAllocator<T, N>;                                                                                 \
    static Pool& GetPool();                                                                                            \
    static void* operator new(std::size_t size);                                                                       \
    static void operator delete(void* memory, std::size_t size) noexcept;

// A point in pixels.
class LPointParam : public virtual LRefCountedObject
{
public:
    explicit LPointParam(const PointT<std::int32_t>& point);
    ~LPointParam() override;

    // "point(x, y)"
    StringT<char, unsigned short> ToString() const override;

    PointT<std::int32_t> point;
};

// Modifier bits of the pointer parameters, as the root window fills them.
inline constexpr std::uint32_t kPointerModifierControl = 0x01;
inline constexpr std::uint32_t kPointerModifierShift = 0x08;
inline constexpr std::uint32_t kPointerModifierAlt = 0x40;

// A pointer position with the held modifiers and the pointer source (0 to 9).
class LPointWithModifiersParam : public LPointParam
{
    VX_POOLED_PARAMETER(LPointWithModifiersParam, 32)

public:
    LPointWithModifiersParam(const PointT<std::int32_t>& point, std::uint32_t modifiers, std::int32_t source);
    ~LPointWithModifiersParam() override;

    static RCPtr<LPointWithModifiersParam> Create(const PointT<std::int32_t>& point, std::uint32_t modifiers,
                                                  std::int32_t source);

    // The point's text, then "  modifiers: 0x%08x".
    StringT<char, unsigned short> ToString() const override;

    std::uint32_t modifiers;
    std::int32_t source;
};

// A button press or release: button 1 left, 2 middle, 4 right; the held
// buttons as a mask of the same codes.
class LMouseButtonParam : public LPointWithModifiersParam
{
    VX_POOLED_PARAMETER(LMouseButtonParam, 32)

public:
    LMouseButtonParam(std::int32_t button, const PointT<std::int32_t>& point, std::uint32_t modifiers, bool doubleClick,
                      std::uint32_t heldButtons, std::int32_t source);
    ~LMouseButtonParam() override;

    std::int32_t button;
    bool doubleClick;
    std::uint32_t heldButtons;
};

// One wheel step: direction 0 and 1 vertical, 2 and 3 horizontal.  The
// source is always 0.
class LMouseWheelParam : public LPointWithModifiersParam
{
    VX_POOLED_PARAMETER(LMouseWheelParam, 4)

public:
    LMouseWheelParam(const PointT<std::int32_t>& point, std::uint32_t modifiers, std::int32_t direction);
    ~LMouseWheelParam() override;

    // The modifiers text, then "  direction: down" for direction 0 and
    // "  direction: up" for every other value.
    StringT<char, unsigned short> ToString() const override;

    std::int32_t direction;
};

// A control's value: normalized (0 to 1) and in the control's own range.
class LValueParam : public virtual LRefCountedObject
{
    VX_POOLED_PARAMETER(LValueParam, 4)

public:
    LValueParam(double normalized, double scaled);
    ~LValueParam() override;

    // "ValueParam = %lf" with the normalized value.
    StringT<char, unsigned short> ToString() const override;

    double normalized;
    double scaled;
};

// A change of a control's condition mask, with the control's last pointer
// point.  Each control owns one and updates it in place before sending it.
class LConditionsParam : public virtual LRefCountedObject
{
    VX_POOLED_PARAMETER(LConditionsParam, 4)

public:
    LConditionsParam(std::uint32_t previous, std::uint32_t current, const PointT<double>& point);
    ~LConditionsParam() override;

    // "(%g, %g)" with the point.
    StringT<char, unsigned short> ToString() const override;

    // The focus bit (0x01) and the contains-focus bit (0x02) set or cleared
    // by this change.
    bool GainedFocus() const noexcept { return Gained(0x01); }
    bool LostFocus() const noexcept { return Lost(0x01); }
    bool GainedContainsFocus() const noexcept { return Gained(0x02); }
    bool LostContainsFocus() const noexcept { return Lost(0x02); }

    std::uint32_t previous;
    std::uint32_t current;
    PointT<double> point;

private:
    bool Gained(std::uint32_t bit) const noexcept { return (current & bit) != 0 && (previous & bit) == 0; }
    bool Lost(std::uint32_t bit) const noexcept { return (current & bit) == 0 && (previous & bit) != 0; }
};

// The conditions of one list item.  Not pooled: it has allocation functions
// of its own, so its memory never passes through the conditions pool.
class LItemConditionsParam : public LConditionsParam
{
public:
    LItemConditionsParam(std::uint32_t previous, std::uint32_t current, const PointT<double>& point,
                         std::int32_t itemIndex, std::int32_t lookIndex, bool pointerOver);
    ~LItemConditionsParam() override;

    static void* operator new(std::size_t size);
    static void operator delete(void* memory, std::size_t size) noexcept;

    std::int32_t itemIndex;
    // The item's first look with a weight above 0; -1 when none.
    std::int32_t lookIndex;
    // The pointer is over the item itself, not over one of its children.
    bool pointerOver;
};

// A key a control offers to its siblings.  The sibling that takes it sets
// unhandled to 0.
class LSiblingKeyParam : public virtual LRefCountedObject
{
public:
    LSiblingKeyParam(const KeyCode& key, const RCPtr<LControl>& sender);
    ~LSiblingKeyParam() override;

    static RCPtr<LSiblingKeyParam> Create(const KeyCode& key, const RCPtr<LControl>& sender);

    KeyCode key;
    // The control that received the key.
    RCPtr<LControl> sender;
    std::int32_t unhandled = -1;
};

// A key on its way through the control tree.
class LKeyParam : public virtual LRefCountedObject
{
public:
    LKeyParam(const KeyCode& key, std::uint8_t value);
    ~LKeyParam() override;

    static RCPtr<LKeyParam> Create(const KeyCode& key, std::uint8_t value);

    // The key's text form ("Ctrl+", "Alt+", "Shift+", "Cmd+", then the name).
    StringT<char, unsigned short> ToString() const override;

    KeyCode key;
    std::uint8_t value;
    // The controls that already saw the key; the last one is its source.
    RCPtrArray<LControl> visited;
};

// The activated item of a pop-up menu: the menu it shows and the item's index.
class LMenuActivationParam : public virtual LRefCountedObject
{
    VX_POOLED_PARAMETER(LMenuActivationParam, 4)

public:
    LMenuActivationParam(const RCPtr<LMenuDescriptor>& menu, std::int32_t item);
    ~LMenuActivationParam() override;

    RCPtr<LMenuDescriptor> menu;
    std::int32_t item;
};

#undef VX_POOLED_PARAMETER
} // namespace Vx
